#include "link/ElmReply.h"

#include <algorithm>

namespace ElmReply {

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// L10: the link asked for bare hexadecimal digits, two per byte.
const char *formatSign(const QByteArray &trimmed)
{
    int digits = 0;
    bool spaced = false;
    for (char c : trimmed) {
        if (isHexDigit(c))
            ++digits;
        else if (c == ' ')
            spaced = true;
        else
            return nullptr; // a status text, not a reply
    }
    if (spaced)
        return "spaces in a reply";
    if (digits % 2)
        return "odd digit count in a reply";
    return nullptr;
}

Verdict verdict(Kind kind, const QByteArray &text = QByteArray())
{
    Verdict v;
    v.kind = kind;
    v.text = text;
    return v;
}

Verdict reset(const char *sign, const QByteArray &text)
{
    Verdict v = verdict(Kind::Reset, text);
    v.sign = sign;
    return v;
}

} // namespace

QByteArray decodeHex(const QByteArray &text)
{
    QByteArray digits;
    digits.reserve(text.size() + 1);
    for (const char c : text) {
        if (isHexDigit(c))
            digits.append(c);
    }
    if (digits.size() % 2)
        digits.prepend('0');
    return QByteArray::fromHex(digits);
}

QByteArray clean(const QByteArray &bytes)
{
    QByteArray out = bytes;
    out.truncate(int(std::remove_if(out.begin(), out.end(),
                                    [](char c) { return c == '\0' || c == '\n'; }) -
                     out.begin()));
    return out;
}

bool isNoise(const QByteArray &bytes)
{
    return std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) & 0x80; });
}

void ElmLineSplitter::feed(const QByteArray &cleaned)
{
    m_buffer += cleaned;
}

bool ElmLineSplitter::next(Piece *piece)
{
    if (m_skipping) {
        const int end = m_buffer.indexOf('\r');
        if (end < 0) {
            m_buffer.clear();
            return false;
        }
        m_buffer.remove(0, end + 1);
        m_skipping = false;
    }
    int cr;
    while ((cr = m_buffer.indexOf('\r')) >= 0) {
        const QByteArray line = m_buffer.left(cr);
        m_buffer.remove(0, cr + 1);
        if (line.isEmpty())
            continue;
        piece->kind = line == ">" ? Piece::PromptLine : Piece::Line;
        piece->text = piece->kind == Piece::Line ? line : QByteArray();
        return true;
    }
    if (m_buffer.size() > MaxLineLength) {
        m_buffer.clear();
        m_skipping = true;
        piece->kind = Piece::TooLong;
        piece->text.clear();
        return true;
    }
    if (m_buffer == ">") {
        m_buffer.clear();
        piece->kind = Piece::Prompt;
        piece->text.clear();
        return true;
    }
    return false;
}

void ElmLineSplitter::clear()
{
    m_buffer.clear();
    m_skipping = false;
}

bool promptEnds(Piece::Kind kind, bool commandPending)
{
    return kind == Piece::Prompt || (kind == Piece::PromptLine && !commandPending);
}

Verdict classifyLine(const QByteArray &line, const Context &c)
{
    // L1
    const bool afterPrompt = line.startsWith('>');
    const QByteArray body = afterPrompt ? line.mid(1) : line;
    const bool released = afterPrompt && !c.held.isEmpty();
    QByteArray held = released ? QByteArray() : c.held;
    auto withRelease = [released](Verdict v) {
        v.releaseHeld = v.releaseHeld || released;
        return v;
    };
    if (body.isEmpty())
        return withRelease(verdict(Kind::Nothing));

    const QByteArray trimmed = body.trimmed();
    const QByteArray upper = trimmed.toUpper();
    const QByteArray head = body.left(2).toLower();
    const QByteArray text = trimmed.toLower();

    // L2
    if (upper == "LV RESET")
        return withRelease(reset("LV RESET", body));
    if (upper.startsWith("ELM327") && !c.bannerExpected)
        return withRelease(reset("banner", body));
    // L3
    if (head == "at" || (head == "st" && text != "stopped"))
        return withRelease(verdict(Kind::Echo, body));
    // L4
    if (c.commandPending) {
        if (head == "ok")
            return withRelease(verdict(Kind::Ok, trimmed));
        return withRelease(verdict(c.identifying ? Kind::Identification : Kind::CommandText,
                                   trimmed));
    }
    // L5
    if (text == "?" && c.countInFlight)
        return withRelease(verdict(Kind::CountRefused, trimmed));
    // L6
    bool releaseHeld = released;
    if (!held.isEmpty()) {
        if (trimmed != held.trimmed())
            return withRelease(reset("echo", held));
        releaseHeld = true;
        held.clear();
    }
    auto finish = [releaseHeld](Verdict v) {
        v.releaseHeld = releaseHeld;
        return v;
    };
    // L7
    if (text == "no data")
        return finish(verdict(Kind::NoData, text));
    if (text == "stopped")
        return finish(verdict(Kind::Stopped, text));
    // L8
    if (text == "can error")
        return finish(verdict(Kind::CanError, text));
    // L9
    if (c.frameInFlight && text == "?")
        return finish(reset("frame refused", body));
    // L10
    if (const char *sign = formatSign(trimmed))
        return finish(reset(sign, body));
    // L11
    if (text == "buffer full") {
        Verdict v = verdict(Kind::BufferFull, body);
        v.data = decodeHex(body);
        return finish(v);
    }
    // L12
    if (c.frameInFlight && trimmed == c.sent.trimmed())
        return finish(verdict(Kind::Hold, body));
    // L13
    Verdict v = verdict(Kind::Data, body);
    v.data = decodeHex(body);
    if (v.data.isEmpty())
        v.kind = Kind::NonHex;
    return finish(v);
}

const char *kindName(Kind kind)
{
    switch (kind) {
    case Kind::Nothing:
        return "nothing";
    case Kind::Reset:
        return "reset";
    case Kind::Echo:
        return "echo";
    case Kind::Ok:
        return "OK";
    case Kind::Identification:
        return "identification";
    case Kind::CommandText:
        return "command text";
    case Kind::CountRefused:
        return "count refused";
    case Kind::NoData:
        return "NO DATA";
    case Kind::Stopped:
        return "STOPPED";
    case Kind::CanError:
        return "CAN ERROR";
    case Kind::BufferFull:
        return "BUFFER FULL";
    case Kind::Hold:
        return "hold";
    case Kind::Data:
        return "data";
    case Kind::NonHex:
        return "non-hex";
    }
    return "?";
}

} // namespace ElmReply
