// The pure parts of the adapter link, row by row: no port, no timer.

#include "link/ElmReply.h"
#include "link/ElmSync.h"

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

QTEST_APPLESS_MAIN(tst_LinkParts)
#include "tst_linkparts.moc"
