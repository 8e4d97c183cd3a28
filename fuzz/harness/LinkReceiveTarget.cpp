// Input: one byte of options, then actions. Most actions are a piece of adapter output
// (any bytes); the others queue a frame, switch monitoring or restart the link, the way
// its user may do between two pieces of output.
//
// Checked beyond the sanitizers: the link writes to the adapter only what it was asked
// to (its initialisation and reset commands, and frames queued with writeHEX), every
// read() carries at least one byte, and a closed link stays silent. Every piece of output
// also goes straight through the reply classifier (ElmReply), against a waiting state
// taken from the action byte, which must cut and judge it consistently.

#include "fuzz/harness/FuzzInput.h"
#include "fuzz/harness/FuzzSupport.h"
#include "fuzz/harness/FuzzTargets.h"
#include "fuzz/harness/PtyLine.h"

#include "link/ELM327IOBase.h"
#include "link/ElmReply.h"

#include <QSerialPort>
#include <QSet>

namespace {

// The classifier on its own: pieces hold no line ends, lines stay bounded, and every
// verdict is one the rules allow for the state it was given.
class ReplyCheck
{
public:
    void feed(const QByteArray &bytes, quint8 state)
    {
        splitter.feed(ElmReply::clean(bytes));
        ElmReply::Context c;
        c.commandPending = state & 0x01;
        c.bannerExpected = state & 0x02;
        c.identifying = state & 0x04;
        c.frameInFlight = state & 0x08;
        c.countInFlight = c.frameInFlight && (state & 0x10);
        c.sent = c.countInFlight ? "FFFF1\r" : c.frameInFlight ? "FFFF\r" : "at e0\r";
        ElmReply::Piece piece;
        while (splitter.next(&piece)) {
            if (piece.kind != ElmReply::Piece::Line)
                continue;
            const QByteArray &line = piece.text;
            if (line.isEmpty() || line.contains('\r') || line.contains('\n') ||
                line.contains('\0') || line.size() > ElmReply::MaxLineLength + 48)
                fuzzFail("the splitter gave a malformed line:", line);
            c.held = (state & 0x20) ? QByteArray("FFFF") : QByteArray();
            const ElmReply::Verdict v = ElmReply::classifyLine(line, c);
            const QByteArray body = line.startsWith('>') ? line.mid(1) : line;
            using ElmReply::Kind;
            if ((v.kind == Kind::Data || v.kind == Kind::BufferFull) && v.data.isEmpty())
                fuzzFail("data without bytes:", line);
            if (v.kind == Kind::NonHex && !ElmReply::decodeHex(body).isEmpty())
                fuzzFail("a line with digits judged non-hex:", line);
            if (v.kind == Kind::Reset && !v.sign)
                fuzzFail("a reset without its sign:", line);
            if (v.kind == Kind::Hold && (!c.frameInFlight || body.trimmed() != "FFFF"))
                fuzzFail("a line held that is not the frame in flight:", line);
            if ((v.kind == Kind::Ok || v.kind == Kind::CommandText) && !c.commandPending)
                fuzzFail("a command's answer with no command in flight:", line);
            if (v.releaseHeld && c.held.isEmpty())
                fuzzFail("a release with nothing held:", line);
        }
    }

private:
    ElmReply::ElmLineSplitter splitter;
};

enum Option : quint8 {
    Strict = 0x01,
    Adaptive = 0x02,
    ExtendedSet = 0x04,
    CloseOnError = 0x08,   // the controller ends the session on an error
    ResendOnNoData = 0x10, // the controller retransmits after "NO DATA"
    RequestOnRead = 0x20,  // the controller sends its next request from the reply
    RequestOnReady = 0x40, // ... or when the link is idle
    RestartOnError = 0x80, // a new setup from inside the error handler
};

class LinkRun
{
public:
    LinkRun(FuzzInput &in, PtyLine &line) : in(in), line(line) {}

    void run()
    {
        options = in.byte();
        link.setStrictMode(options & Strict);
        QObject::connect(&link, &ELM327IOBase::read, [this](const QByteArray &data) {
            if (data.isEmpty())
                fuzzFail("read() without data");
            if (options & RequestOnRead)
                queueFrame(data.left(8));
        });
        QObject::connect(&link, &ELM327IOBase::ready, [this] {
            if ((options & RequestOnReady) && readies++ < 64)
                queueFrame(QByteArray("\xFF\xFF", 2));
        });
        QObject::connect(&link, &ELM327IOBase::error,
                         [this](ELM327IOBase::ELM_ERROR code, const QString &) {
                             if (code == ELM327IOBase::ERR_NODATA && (options & ResendOnNoData) &&
                                 !lastFrame.isEmpty())
                                 queueFrame(lastFrame);
                             else if (options & RestartOnError)
                                 open();
                             else if (options & CloseOnError)
                                 link.close();
                         });
        if (!open())
            return;

        while (!in.atEnd()) {
            const quint8 action = in.byte();
            switch (action % 8) {
            case 5:
                queueFrame(in.bytes(9));
                break;
            case 6:
                link.monitor(action & 0x80);
                break;
            case 7:
                if (action & 0x80)
                    link.close();
                else
                    open();
                break;
            default: {
                const QByteArray piece = in.bytes(48);
                replies.feed(piece, action);
                line.feed(piece, port());
                break;
            }
            }
            checkWritten();
        }
        checkWritten();
    }

private:
    QSerialPort *port() { return link.findChild<QSerialPort *>(); }

    bool open()
    {
        const bool ok = link.setup(line.path(), 38400, options & Adaptive, options & ExtendedSet);
        if (!ok)
            fuzzFail("the link cannot open the pty");
        return ok;
    }

    void queueFrame(const QByteArray &frame)
    {
        lastFrame = frame;
        queued.insert(frame.toHex().toUpper());
        link.writeHEX(frame);
    }

    // Every line the link wrote must be one it was asked to write.
    void checkWritten()
    {
        const auto lines = line.takeLines();
        for (const QByteArray &sent : lines) {
            const QByteArray lower = sent.toLower();
            if (sent.isEmpty() || sent == "ATZ" || sent == "ATMA" || lower.startsWith("at") ||
                lower.startsWith("st") || queued.contains(sent))
                continue;
            fuzzFail("the link wrote a line nobody queued:", sent);
        }
        if (line.pendingLineSize() > 64)
            fuzzFail("the link wrote an unterminated line");
    }

    FuzzInput &in;
    PtyLine &line;
    ELM327IOBase link;
    ReplyCheck replies;
    quint8 options = 0;
    int readies = 0;
    QByteArray lastFrame;
    QSet<QByteArray> queued;
};

} // namespace

int fuzzLinkReceive(const uint8_t *data, size_t size)
{
    PtyLine &line = PtyLine::shared();
    line.reset();
    FuzzInput in(data, size);
    {
        LinkRun run(in, line);
        run.run();
    }
    line.reset();
    return 0;
}
