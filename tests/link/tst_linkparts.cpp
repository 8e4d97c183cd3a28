// The pure parts of the adapter link, row by row: no port, no timer.

#include "link/ElmInit.h"
#include "link/ElmRateSwitch.h"
#include "link/ElmReply.h"
#include "link/ElmSync.h"
#include "link/SerialTransport.h"

#include <QSettings>
#include <QTest>

class tst_LinkParts : public QObject
{
    Q_OBJECT

private slots:
    void splitting_data();
    void splitting();
    void classification_data();
    void classification();
    void synchronisation_data();
    void synchronisation();
    void initialisation_data();
    void initialisation();
    void rateSwitch_data();
    void rateSwitch();
    void virtualRatePorts_data();
    void virtualRatePorts();
};

// Each script is the adapter's output after sendings of the synchronising command: "|" is one
// sending, ">" a prompt, any other piece (separated by ",") a line. `verdicts` lists what each
// prompt is judged: I in step, S stale.
void tst_LinkParts::synchronisation_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("verdicts");
    QTest::newRow("voltage") << "|12.6V,>" << "I";
    QTest::newRow("voltage after the echo") << "|at rv,12.6V,>" << "I";
    QTest::newRow("voltage after a run-in prompt") << "|>12.6V,>" << "I";
    QTest::newRow("? from an adapter without the command") << "|?,>" << "I";
    QTest::newRow("? after the echo") << "|AT RV,?,>" << "I";
    QTest::newRow("nothing but the echo") << "|at rv,>" << "I";
    QTest::newRow("echo without spaces") << "|ATRV,>" << "I";
    // Echo off and nothing to say: the second bare prompt in a row is the answer.
    QTest::newRow("bare prompts") << "|>|>" << "SI";
    QTest::newRow("late banner, then the voltage") << "|ELM327 v1.5,>|at rv,12.6V,>" << "SI";
    QTest::newRow("late banner, then ?") << "|ELM327 v1.5,>|at rv,?,>" << "SI";
    QTest::newRow("late banner, then nothing, echo off") << "|ELM327 v1.5,>|>|>" << "SSI";
    QTest::newRow("banner before the held command's answer")
        << "|ELM327 v1.5,>at rv,12.6V,>" << "I";
    QTest::newRow("banner after the echo voids it") << "|at rv,ELM327 v1.5,>" << "S";
    QTest::newRow("LV RESET voids the voltage") << "|12.6V,LV RESET,>" << "S";
    QTest::newRow("stale OK") << "|OK,>|12.6V,>" << "SI";
    QTest::newRow("stale OK, then an adapter that says nothing") << "|OK,>|>|>" << "SSI";
    QTest::newRow("OK twice is an answer") << "|OK,>|OK,>" << "SI";
    QTest::newRow("stray prompt, then the voltage") << "|>|12.6V,>" << "SI";
    QTest::newRow("stray prompt, then the echo") << "|>|at rv,>" << "SI";
    QTest::newRow("an echo of another command is no proof") << "|at z,>|ati,>" << "SS";
    QTest::newRow("a banner between bare prompts breaks the pair") << "|>|ELM327 v2.1,>|>|>"
                                                                << "SSSI";
    // A sending that drew no prompt leaves nothing to compare the next answer with.
    QTest::newRow("unanswered sending") << "|>||>|>" << "SSI";
    QTest::newRow("empty lines are nothing") << "|,,>|,>" << "SI";
    // Waiting for the answer still on its way after somebody else's prompt: output from
    // before that repeats itself is no answer until the command has gone out again.
    QTest::newRow("stray prompts while the answer is on its way") << "|>,>,at rv,12.6V,>"
                                                                  << "SSI";
    QTest::newRow("the same stale text twice, one sending") << "|OK,>,OK,>|OK,>" << "SSI";
}

void tst_LinkParts::synchronisation()
{
    QFETCH(QString, script);
    QFETCH(QString, verdicts);
    ElmSync sync;
    QString got;
    const QStringList sendings = script.split('|');
    for (int i = 1; i < sendings.size(); ++i) {
        sync.sent();
        for (const QString &piece : sendings.at(i).split(',')) {
            QString p = piece;
            if (p.startsWith('>') && p.size() > 1) {
                // A prompt run into a line: the line goes to the watch with it.
                sync.line(p.toLatin1());
                continue;
            }
            if (p == ">") {
                got += sync.prompt() == ElmSync::InStep ? 'I' : 'S';
                continue;
            }
            if (p.endsWith('>')) {
                sync.line(p.chopped(1).toLatin1());
                got += sync.prompt() == ElmSync::InStep ? 'I' : 'S';
                continue;
            }
            sync.line(p.toLatin1());
        }
    }
    QCOMPARE(got, verdicts);
}

// The adapter's bytes, in reads separated by "|", cut into pieces: L:text for a line, P for
// a prompt line (">" and its carriage return), > for the bare prompt, T for a line too long.
void tst_LinkParts::splitting_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("pieces");
    QTest::newRow("B1 NUL padding and line feeds")
        << QByteArray("\0" "7E\0" "01\r\n\0>", 10) << "L:7E01 >";
    QTest::newRow("B4 empty lines are nothing") << QByteArray("\r\rOK\r\r>") << "L:OK >";
    QTest::newRow("B4 a line split by a read") << QByteArray("7E|01\r") << "L:7E01";
    QTest::newRow("B5 a prompt with its carriage return") << QByteArray(">\rOK\r") << "P L:OK";
    QTest::newRow("B5 a prompt run into a line") << QByteArray(">OK\r") << "L:>OK";
    QTest::newRow("B7 the prompt waits for what follows it") << QByteArray(">|OK\r")
                                                             << "> L:OK";
    QTest::newRow("B7 a prompt with more behind it is not yet one") << QByteArray(">O|K\r")
                                                                    << "L:>OK";
    QTest::newRow("B6 B3 an endless line, reported once")
        << QByteArray(4000, 'A') + '|' + QByteArray(4000, 'A') + '|' + QByteArray(100, 'A') +
               "\r7E01\r"
        << "T L:7E01";
}

void tst_LinkParts::splitting()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, pieces);
    ElmReply::ElmLineSplitter splitter;
    QStringList got;
    for (const QByteArray &read : input.split('|')) {
        splitter.feed(ElmReply::clean(read));
        ElmReply::Piece piece;
        while (splitter.next(&piece)) {
            switch (piece.kind) {
            case ElmReply::Piece::Line:
                got << "L:" + QString::fromLatin1(piece.text);
                break;
            case ElmReply::Piece::PromptLine:
                got << "P";
                break;
            case ElmReply::Piece::Prompt:
                got << ">";
                break;
            case ElmReply::Piece::TooLong:
                got << "T";
                break;
            }
        }
    }
    QCOMPARE(got.join(' '), pieces);
    QVERIFY(ElmReply::isNoise(QByteArray("OK\xC5")));
    QVERIFY(!ElmReply::isNoise(QByteArray("ELM327 v1.5\r>")));
    QVERIFY(ElmReply::promptEnds(ElmReply::Piece::Prompt, true));
    QVERIFY(!ElmReply::promptEnds(ElmReply::Piece::PromptLine, true));
    QVERIFY(ElmReply::promptEnds(ElmReply::Piece::PromptLine, false));
}

// One line against what the link waits for. `wait`: C an AT command (W "atws", B one answered
// with the banner), F a frame ("FFFF"), N a frame with the response count ("FFFF1"), - nothing.
// `held`: a line held before this one. Result: the kind, "+" when the held line is released
// first, then ":" and the reset sign or the decoded bytes.
void tst_LinkParts::classification_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("wait");
    QTest::addColumn<QByteArray>("held");
    QTest::addColumn<QString>("result");
    const QByteArray none;
    QTest::newRow("L1 only a run-in prompt") << QByteArray(">") << "F" << none << "nothing";
    QTest::newRow("L1 the prompt releases the held line")
        << QByteArray(">7E01") << "F" << QByteArray("FFFF") << "data+:7e01";
    QTest::newRow("L2 LV RESET") << QByteArray(" LV RESET ") << "F" << none << "reset:LV RESET";
    QTest::newRow("L2 LV RESET while a command waits") << QByteArray("LV RESET") << "C" << none
                                                       << "reset:LV RESET";
    QTest::newRow("L2 a banner nobody asked for") << QByteArray("ELM327 v1.5") << "F" << none
                                                  << "reset:banner";
    QTest::newRow("L2 the banner of atws") << QByteArray("ELM327 v1.5") << "W" << none
                                           << "identification";
    QTest::newRow("L2 the banner of ati") << QByteArray("ELM327 v2.1") << "B" << none
                                          << "command text";
    QTest::newRow("L3 an echoed command") << QByteArray("AT SH 74D") << "-" << none << "echo";
    QTest::newRow("L3 an echoed st command") << QByteArray("st p33") << "C" << none << "echo";
    QTest::newRow("L3 STOPPED is no st command") << QByteArray("STOPPED") << "F" << none
                                                 << "STOPPED";
    QTest::newRow("L4 OK ends the command") << QByteArray("OK") << "C" << none << "OK";
    QTest::newRow("L4 a prompt and OK") << QByteArray(">OK") << "C" << none << "OK";
    QTest::newRow("L4 ? to a command") << QByteArray("?") << "C" << none << "command text";
    QTest::newRow("L4 NO DATA to a command") << QByteArray("NO DATA") << "C" << none
                                             << "command text";
    QTest::newRow("L4 OK with no command in flight") << QByteArray("OK") << "F" << none
                                                     << "non-hex";
    QTest::newRow("L5 ? to the response count") << QByteArray("?") << "N" << none
                                                << "count refused";
    QTest::newRow("L6 another line: the held one was the echo")
        << QByteArray("FFFF01100300") << "F" << QByteArray("FFFF") << "reset:echo";
    QTest::newRow("L6 NO DATA after the echo") << QByteArray("NO DATA") << "F"
                                               << QByteArray("FFFF") << "reset:echo";
    QTest::newRow("L6 the same line again: both are replies")
        << QByteArray("FFFF") << "F" << QByteArray("FFFF") << "hold+";
    QTest::newRow("L7 NO DATA") << QByteArray(" No Data ") << "F" << none << "NO DATA";
    QTest::newRow("L7 NO DATA after a prompt") << QByteArray(">NO DATA") << "F" << none
                                               << "NO DATA";
    QTest::newRow("L7 STOPPED") << QByteArray("STOPPED") << "-" << none << "STOPPED";
    QTest::newRow("L8 CAN ERROR") << QByteArray("CAN ERROR") << "F" << none << "CAN ERROR";
    QTest::newRow("L9 ? to a frame") << QByteArray("?") << "F" << none << "reset:frame refused";
    QTest::newRow("L9 ? with nothing in flight") << QByteArray("?") << "-" << none << "non-hex";
    QTest::newRow("L10 spaces") << QByteArray("FF FF 01 10 03 00 00 00") << "F" << none
                                << "reset:spaces in a reply";
    QTest::newRow("L10 headers") << QByteArray("745FFFF011003000000") << "F" << none
                                 << "reset:odd digit count in a reply";
    QTest::newRow("L10 headers and spaces") << QByteArray("745 FF FF 01 10 03 00 00 00") << "F"
                                            << none << "reset:spaces in a reply";
    QTest::newRow("L11 BUFFER FULL reads as data as it always did")
        << QByteArray("BUFFER FULL") << "F" << none << "BUFFER FULL:0bffef";
    QTest::newRow("L12 the frame's own text") << QByteArray("FFFF") << "F" << none << "hold";
    QTest::newRow("L12 not with nothing in flight") << QByteArray("FFFF") << "-" << none
                                                    << "data:ffff";
    QTest::newRow("L13 a frame") << QByteArray("7E0102") << "F" << none << "data:7e0102";
    QTest::newRow("L13 lower case") << QByteArray("3000aa") << "F" << none << "data:3000aa";
    QTest::newRow("L13 text around digits") << QByteArray("#: 7E-1") << "F" << none
                                            << "data:07e1";
    QTest::newRow("L13 no digit at all") << QByteArray("?!") << "F" << none << "non-hex";
}

void tst_LinkParts::classification()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, wait);
    QFETCH(QByteArray, held);
    QFETCH(QString, result);
    ElmReply::Context c;
    c.commandPending = wait == "C" || wait == "W" || wait == "B";
    c.identifying = wait == "W";
    c.bannerExpected = wait == "W" || wait == "B";
    c.frameInFlight = wait == "F" || wait == "N";
    c.countInFlight = wait == "N";
    c.sent = c.frameInFlight ? (wait == "N" ? "FFFF1\r" : "FFFF\r") : "at e0\r";
    if (wait == "W")
        c.sent = "atws\r";
    c.held = held;
    const ElmReply::Verdict v = ElmReply::classifyLine(line, c);
    QString got = QString::fromLatin1(ElmReply::kindName(v.kind));
    if (v.releaseHeld)
        got += '+';
    if (v.kind == ElmReply::Kind::Reset)
        got += ':' + QString::fromLatin1(v.sign);
    else if (!v.data.isEmpty())
        got += ':' + QString::fromLatin1(v.data.toHex());
    QCOMPARE(got, result);
}

using Commands = QList<QByteArray>;

// The commands of the initialisation, from the options and the settings store. `host`,
// `device`, `fast`: settings (invalid: not set).
void tst_LinkParts::initialisation_data()
{
    QTest::addColumn<bool>("extended");
    QTest::addColumn<bool>("adaptive");
    QTest::addColumn<QVariant>("host");
    QTest::addColumn<QVariant>("device");
    QTest::addColumn<QVariant>("fast");
    QTest::addColumn<Commands>("expected");

    const Commands head = {"atws",  "at e0", "at s0",   "at h0",
                           "at l0", "at d0", "at at 0", "at st ff"};
    const Commands tail = {"at al", "at caf0", "at cfc0"};
    const QVariant unset;
    const QVariant off(false);
    QTest::newRow("st adapter, adaptive timing, default identifiers")
        << true << true << unset << unset << off
        << head + Commands{"st p33", "st pbr500000", "at sh 74d", "at cra 745", "at at1"} + tail;
    QTest::newRow("plain adapter, fixed timing")
        << false << false << unset << unset << off
        << head + Commands{"at tp6", "at sh 74d", "at cra 745"} + tail;
    QTest::newRow("identifiers from the settings")
        << true << false << QVariant(0x7E0) << QVariant(2024) << off
        << head + Commands{"st p33", "st pbr500000", "at sh 7e0", "at cra 7e8"} + tail;
    QTest::newRow("non-numeric host identifier")
        << false << true << QVariant(QStringLiteral("dash")) << unset << off
        << head + Commands{"at tp6", "at sh 0", "at cra 745", "at at1"} + tail;
    // Fast transfers (on unless the settings say otherwise) end it with the rate switch.
    QTest::newRow("fast transfers by default")
        << false << false << unset << unset << unset
        << head + Commands{"at tp6", "at sh 74d", "at cra 745"} + tail + Commands{"<rate>"};
}

void tst_LinkParts::initialisation()
{
    QFETCH(bool, extended);
    QFETCH(bool, adaptive);
    QFETCH(QVariant, host);
    QFETCH(QVariant, device);
    QFETCH(QVariant, fast);
    QFETCH(Commands, expected);
    QSettings settings;
    settings.clear();
    if (host.isValid())
        settings.setValue(QStringLiteral("CAN/HostAddress"), host);
    if (device.isValid())
        settings.setValue(QStringLiteral("CAN/DeviceAddress"), device);
    if (fast.isValid())
        settings.setValue(QStringLiteral("Link/FastTransfers"), fast);
    const ElmOptions options = ElmOptions::fromSettings(adaptive, extended);
    settings.clear();
    QCOMPARE(options.extended, extended);
    QCOMPARE(options.adaptiveTiming, adaptive);

    const QList<ElmInitStep> steps = elmInitialisation(options);
    Commands got;
    for (const ElmInitStep &step : steps) {
        got << (step.answer == ElmInitStep::RateSwitch ? QByteArray("<rate>") : step.command);
        // Only the warm start is answered with the banner; every command waits for "OK".
        QCOMPARE(step.answer == ElmInitStep::Banner, step.command == "atws");
    }
    QCOMPARE(got, expected);
}

// The rate handshake, event by event. Events: "in:TEXT" bytes from the adapter ("\r" as
// "/"), "timeout", "refused" (the port cannot take the rate it was told). After each, what the
// switch says: "w:TEXT" written, "r:RATE" the port's rate, "d" input dropped, "t:MS" time-out,
// "done" or "raised"; "-" nothing.
void tst_LinkParts::rateSwitch_data()
{
    QTest::addColumn<bool>("extended");
    QTest::addColumn<QList<qint32>>("candidates");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("steps");
    const QList<qint32> all = ElmRateSwitch::fastRates();
    QTest::newRow("raised at once") << false << all
        << QStringList{"in:OK/", "in:ELM327 v1.5/", "in:/>"}
        << QStringList{"w:at brd 08/ t:1000", "r:500000 t:20", "w:/ t:250", "raised"};
    QTest::newRow("extended set") << true << QList<qint32>{250000}
        << QStringList{"in:st br 250000/OK/", "in:ELM327 v1.4b/", "in:/>"}
        << QStringList{"w:st br 250000/ t:1000", "r:250000 t:20", "w:/ t:250", "raised"};
    QTest::newRow("identification missed: confirmed after the wait") << false << all
        << QStringList{"in:OK/", "timeout", "in:>"}
        << QStringList{"w:at brd 08/ t:1000", "r:500000 t:20", "w:/ t:250", "raised"};
    QTest::newRow("the answer in pieces") << false << QList<qint32>{115200}
        << QStringList{"in:O", "in:K/", "in:ELM", "in:327/", "in:/", "in:>"}
        << QStringList{"w:at brd 23/ t:1000", "-", "r:115200 t:20", "-", "w:/ t:250", "-",
                       "raised"};
    QTest::newRow("refused: the next slower rate") << false << all
        << QStringList{"in:?/>", "in:?//>", "in:OK/", "in:ELM327 v1.5/", "in:>"}
        << QStringList{"w:at brd 08/ t:1000", "w:at brd 10/ t:1000", "w:at brd 23/ t:1000",
                       "r:115200 t:20", "w:/ t:250", "raised"};
    QTest::newRow("every rate refused") << false << QList<qint32>{500000, 250000}
        << QStringList{"in:?/>", "in:>?/>"}
        << QStringList{"w:at brd 08/ t:1000", "w:at brd 10/ t:1000", "done"};
    QTest::newRow("no answer at all: the rate stays") << false << all << QStringList{"timeout"}
        << QStringList{"w:at brd 08/ t:1000", "done"};
    QTest::newRow("carriage return not heard: back, then the next rate") << false << all
        << QStringList{"in:OK/", "in:ELM327 v1.5/", "timeout", "in:OK/", "in:ELM327 v1.5/",
                       "in:/>"}
        << QStringList{"w:at brd 08/ t:1000", "r:500000 t:20", "w:/ t:250",
                       "r:38400 d w:at brd 10/ t:1000", "r:250000 t:20", "w:/ t:250", "raised"};
    QTest::newRow("the last rate not heard: back at the old one")
        << false << QList<qint32>{115200}
        << QStringList{"in:OK/", "timeout", "timeout"}
        << QStringList{"w:at brd 23/ t:1000", "r:115200 t:20", "w:/ t:250", "r:38400 d done"};
    QTest::newRow("the port refuses the rate after OK: the chip goes back by itself")
        << false << QList<qint32>{500000, 115200}
        << QStringList{"in:OK/", "refused", "timeout", "in:OK/", "in:/>"}
        << QStringList{"w:at brd 08/ t:1000", "r:500000 t:20", "t:250",
                       "r:38400 d w:at brd 23/ t:1000", "r:115200 t:20", "w:/ t:250"};
    QTest::newRow("nothing to try") << false << QList<qint32>{} << QStringList{}
        << QStringList{"done"};
    // Through a wireless module the chip's text at the new rate comes as noise, the carriage
    // return reaches it as noise, and its prompt at the old rate comes intact when "at brt"
    // runs out: not as soon after the carriage return as its answer would (as soon as the
    // "OK" came after the command), later through a fast module, sooner through a slow one. Back at
    // the old rate, nothing more tried, in step again first. "in@MS:" is input MS ms after
    // the link's last write.
    QTest::newRow("module: the prompt comes when the chip gives up") << false << all
        << QStringList{"in@12:OK/", "in:\u00C6\u00FE\u00A9", "in@75:/>"}
        << QStringList{"w:at brd 08/ t:1000", "r:500000 t:20", "w:/ t:250",
                       "r:38400 done virtual sync"};
    QTest::newRow("module: the prompt sooner than an answer could come") << true << all
        << QStringList{"in@205:OK/", "timeout", "in@76:/>"}
        << QStringList{"w:st br 500000/ t:1000", "r:500000 t:20", "w:/ t:250",
                       "r:38400 done virtual sync"};
    QTest::newRow("cable: noise before the carriage return, the prompt at once") << false << all
        << QStringList{"in@3:OK/\u00C6\u00FE", "in@4:\u00A9/", "in@1:/>"}
        << QStringList{"w:at brd 08/ t:1000", "r:500000 w:/ t:250", "-", "raised"};
    QTest::newRow("cable: the prompt a little later than the OK") << false << all
        << QStringList{"in@3:OK/", "in@1:ELM327 v1.5/", "in@40:/>"}
        << QStringList{"w:at brd 08/ t:1000", "r:500000 t:20", "w:/ t:250", "raised"};
    QTest::newRow("the port refuses the rate, the chip's prompt at the old rate") << false
        << QList<qint32>{500000} << QStringList{"in:OK/", "refused", "in:\u00C6/>"}
        << QStringList{"w:at brd 08/ t:1000", "r:500000 t:20", "t:250", "r:38400 d done"};
}

void tst_LinkParts::rateSwitch()
{
    QFETCH(bool, extended);
    QFETCH(QList<qint32>, candidates);
    QFETCH(QStringList, events);
    QFETCH(QStringList, steps);
    ElmRateSwitch rate(candidates, 38400, extended);
    const auto describe = [](const ElmRateSwitch::Step &s) {
        QStringList parts;
        if (s.setRate)
            parts << QStringLiteral("r:%1").arg(s.setRate);
        if (s.discardInput)
            parts << "d";
        if (!s.write.isEmpty())
            parts << "w:" + QString::fromLatin1(s.write).replace('\r', '/');
        if (s.timerMs)
            parts << QStringLiteral("t:%1").arg(s.timerMs);
        if (s.done)
            parts << (s.raised ? "raised" : "done");
        if (s.rateVirtual)
            parts << "virtual";
        if (s.resync)
            parts << "sync";
        return parts.isEmpty() ? QStringLiteral("-") : parts.join(' ');
    };
    QStringList got{describe(rate.start())};
    for (const QString &e : events) {
        if (e == "timeout")
            got << describe(rate.timeout());
        else if (e == "refused")
            got << describe(rate.rateRefused());
        else if (e.startsWith("in@"))
            got << describe(rate.input(e.section(':', 1).replace('/', '\r').toLatin1(),
                                       e.mid(3).section(':', 0, 0).toLongLong()));
        else
            got << describe(rate.input(e.mid(3).replace('/', '\r').toLatin1()));
    }
    QCOMPARE(got.mid(0, steps.size()), steps);
    QCOMPARE(got.size(), steps.size());
    QCOMPARE(rate.active(), !steps.last().contains("done") && !steps.last().contains("raised"));
    QCOMPARE(rate.rateIsVirtual(), steps.last().contains("virtual"));
    // Commands answered no faster than a module can: no switch is tried. The initialisation's
    // answers (bytes both ways, echo included, as a session has them) from a chip at `chip`
    // bit/s taking `extraUs` each, the first of the shortest `slowUs` more, judged with the port
    // at `port`: behind a module the chip may run faster than the port is set to.
    const auto module = [](qint32 port, qint32 chip, qint64 extraUs, qint64 slowUs = 0) {
        QList<ElmRateSwitch::TimedAnswer> answers;
        for (const qint64 bytes : {31, 20, 13, 13, 11, 11, 13, 14, 12, 15, 16, 12, 11, 13, 13})
            answers.append({bytes, bytes * 10 * 1000000 / chip + extraUs});
        answers[4].elapsedUs += slowUs;
        return ElmRateSwitch::looksLikeModule(ElmRateSwitch::answerDelayUs(answers, port));
    };
    QVERIFY(!module(9600, 9600, 17000)); // a cable chip behind a USB latency timer
    QVERIFY(!module(38400, 38400, 17000));
    QVERIFY(!module(38400, 38400, 17000, 30000)); // one answer the machine was slow with
    QVERIFY(module(38400, 38400, 41000)); // 20 ms each way, and the chip's own time
    QVERIFY(module(9600, 38400, 41000));  // the same with the port left at 9600
    QVERIFY(module(9600, 100000000, 40000)); // even with bytes that take no time at all
    QCOMPARE(ElmRateSwitch::answerDelayUs({}, 9600), qint64(-1));
    // Nothing the link asks for outlives a reset: a rate made permanent ("stwbr", "at pp 0c")
    // would leave an adapter that no one finds at its usual rate.
    for (const qint32 r : {500000, 250000, 115200, 57600}) {
        for (const bool ext : {false, true}) {
            const QByteArray c = ElmRateSwitch::command(r, ext).toLower().replace(' ', "");
            QVERIFY(c.startsWith(ext ? "stbr" : "atbrd"));
            QVERIFY(!c.contains("wbr") && !c.startsWith("atpp"));
        }
    }
}

// Ports whose rate means nothing (the computer's side of a Bluetooth serial link): no rate
// switch is tried on them.
void tst_LinkParts::virtualRatePorts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<bool>("isVirtual");
    QTest::newRow("linux rfcomm") << "/dev/rfcomm0" << "" << "" << true;
    QTest::newRow("rfcomm as listed") << "rfcomm1" << "" << "" << true;
    QTest::newRow("windows bluetooth link") << "COM5" << "Standard Serial over Bluetooth link"
                                            << "Microsoft" << true;
    QTest::newRow("windows, another language")
        << "COM7" << "Стандартный последовательный порт по соединению Bluetooth" << "Microsoft"
        << true;
    QTest::newRow("macOS bluetooth device") << "/dev/cu.Bluetooth-Incoming-Port" << "" << ""
                                            << true;
    QTest::newRow("maker says bluetooth") << "COM9" << "Serial port" << "Bluetooth SIG" << true;
    QTest::newRow("usb cable chip") << "ttyUSB0" << "USB-Serial Controller" << "Prolific" << false;
    QTest::newRow("windows usb") << "COM3" << "USB-SERIAL CH340" << "wch.cn" << false;
    QTest::newRow("acm") << "/dev/ttyACM0" << "" << "" << false;
    QTest::newRow("pseudo-terminal") << "/dev/pts/3" << "" << "" << false;
    QTest::newRow("a path through a folder named rfcomm") << "/tmp/rfcomm/ttyUSB0" << "" << ""
                                                          << false;
}

void tst_LinkParts::virtualRatePorts()
{
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(QString, manufacturer);
    QFETCH(bool, isVirtual);
    QCOMPARE(serialRateIsVirtual(name, description, manufacturer), isVirtual);
}

QTEST_GUILESS_MAIN(tst_LinkParts)
#include "tst_linkparts.moc"
