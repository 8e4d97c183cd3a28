#pragma once

// What the adapter's output is, as a pure judgement (no port, no timer): the bytes received
// are cut into lines and prompts (ElmLineSplitter), and each line is classified against what
// the link is waiting for (classifyLine). The link only acts on the answer.
//
// The rules, in the order they apply (the first that matches decides):
//
// Bytes (ElmLineSplitter)
//   B1 NUL bytes and line feeds carry nothing and are dropped (PIC-based adapters pad with
//      NULs; before "at l0" lines end with CR LF).
//   B2 while the line runs above the adapter's start rate, a byte with the top bit set is
//      noise: the adapter reset and talks at its start rate (Noise; the input is dropped).
//   B3 the rest of a line that grew too long is dropped up to its carriage return.
//   B4 a carriage return ends a line; empty lines are nothing.
//   B5 a line that is only ">" is a prompt followed by a carriage return (PromptLine).
//   B6 a line of more than MaxLineLength characters without its end is reported once
//      (TooLong) and skipped up to its carriage return (B3).
//   B7 what is left is exactly ">": the adapter's prompt (Prompt).
//
// Prompts (promptEnds)
//   P1 a Prompt always ends the output for the item in flight;
//   P2 a PromptLine does so unless an AT command is in flight (its "OK" is still due).
//
// Lines (classifyLine), with a leading ">" (a prompt run into the line) taken off first:
//   L1 the prompt in front shows a held line (L12) was the reply: it is released;
//      nothing after the prompt: Nothing.
//   L2 "LV RESET", or a banner ("ELM327...") where none was asked for: Reset.
//   L3 an echoed command ("AT...", "ST..." but not "STOPPED"): Echo.
//   L4 an AT command is in flight: "OK" ends it (Ok); anything else is its answer
//      (Identification after "atws", else CommandText: "?", texts).
//   L5 "?" to a frame with the response count: CountRefused.
//   L6 a held line (L12) followed by another line: if that line is not the same text, the
//      held one was an echo (Reset "echo"); if it is, the held one is released as data and
//      this one judged on.
//   L7 "NO DATA": NoData; "STOPPED": Stopped.
//   L8 "CAN ERROR": CanError.
//   L9 "?" to a frame in flight: the adapter's formatting is back on (Reset "frame refused").
//   L10 hexadecimal digits with spaces (Reset "spaces in a reply") or an odd count of
//      digits, a three-digit identifier in front (Reset "odd digit count in a reply").
//   L11 "BUFFER FULL": BufferFull; the link hands it on as data as it always has (0B FF EF).
//   L12 the text of the frame in flight: the echo, or a reply of the same bytes (a block
//      read of erased memory): Hold, the next line or prompt decides.
//   L13 anything else with a hexadecimal digit: Data, decoded (non-digits skipped, digits
//      paired from the end); without one: NonHex.

#include <QByteArray>

namespace ElmReply {

constexpr int MaxLineLength = 4096;

// The adapter prints bytes as hex digits, but status texts and noise can be mixed in: keep
// only the digits and pair them from the end, so an odd leading digit is a byte of its own.
// "7E0102" is 7E 01 02; "BUFFER FULL" keeps B,F,F,E,F and reads as 0B FF EF.
QByteArray decodeHex(const QByteArray &text);

// An item of the link's queue that is an AT or ST command rather than a frame.
inline bool isCommandText(const QByteArray &item)
{
    const QByteArray lower = item.left(2).toLower();
    return lower == "at" || lower == "st";
}

// B1.
QByteArray clean(const QByteArray &bytes);
// B2: one byte with the top bit set.
bool isNoise(const QByteArray &bytes);

struct Piece
{
    enum Kind { Line, PromptLine, Prompt, TooLong };
    Kind kind = Line;
    QByteArray text; // Line only
};

// B3-B7. The pieces are taken one at a time, so that a handler that runs an event loop
// and re-enters the reader sees the rest in order.
class ElmLineSplitter
{
public:
    void feed(const QByteArray &cleaned);
    bool next(Piece *piece);
    void clear();
    bool isEmpty() const { return m_buffer.isEmpty(); }

private:
    QByteArray m_buffer;
    bool m_skipping = false;
};

// What the link is waiting for when a line arrives.
struct Context
{
    bool commandPending = false; // an AT/ST command is in flight, its "OK" not yet seen
    bool bannerExpected = false; // the command in flight is answered with the banner
    bool identifying = false;    // the command in flight is "atws": its text is kept
    bool frameInFlight = false;  // a frame went out and its prompt has not come
    bool countInFlight = false;  // ... and it carries the response count
    QByteArray sent;             // what was written last (for L12)
    QByteArray held;             // a line held by L12, or empty
};

enum class Kind {
    Nothing,
    Reset,
    Echo,
    Ok,
    Identification,
    CommandText,
    CountRefused,
    NoData,
    Stopped,
    CanError,
    BufferFull,
    Hold,
    Data,
    NonHex
};

struct Verdict
{
    Kind kind = Kind::Nothing;
    // Release the held line as data before acting on the verdict (L1, L6).
    bool releaseHeld = false;
    const char *sign = nullptr; // Reset: what gave it away
    QByteArray text;            // the line after a run-in prompt, trimmed for status texts
    QByteArray data;            // Data, BufferFull: the decoded bytes
};

bool promptEnds(Piece::Kind kind, bool commandPending);
Verdict classifyLine(const QByteArray &line, const Context &context);
const char *kindName(Kind kind);

} // namespace ElmReply
