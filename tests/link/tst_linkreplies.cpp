// What the link makes of the adapter's reply lines once it is up: data frames, status texts,
// "CAN ERROR" resends, lines it cannot read and the signs of an adapter that has reset.

#include "LinkHarness.h"

#include <QSettings>
#include <QtTest>

using Frames = QList<QByteArray>;
using Commands = QList<QByteArray>;

class LinkRepliesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("kx4.link.debug=false"));
        qRegisterMetaType<ELM327IOBase::ELM_ERROR>();
        // These tests pin the exchange without the line rate switch and response count.
        QSettings().setValue(QStringLiteral("Link/FastTransfers"), false);
    }

    void replyLine_data();
    void replyLine();
    void queryAnswer_data();
    void queryAnswer();
    void recoversFromReset();
    void canErrorResends();
    void workQueuedOnCanErrorSurvives();
    void dataLineResetsCanErrorCount();
};

void LinkRepliesTest::replyLine_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("strict");
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("reset"); // what gave an adapter reset away, if it is one

    const QString none;
    const QString nonHex = QStringLiteral("non-hex reply");
    const QString protocol = QStringLiteral("trasport error ");
    const int noData = int(ELM327IOBase::ERR_NODATA);
    const int stopped = int(ELM327IOBase::ERR_STOPPED);
    const int bad = int(ELM327IOBase::ERR_PROTOCOL);
    const QByteArray info = QByteArray::fromHex("ffff");

    QTest::newRow("frame") << QByteArray("7E0102\r") << true
                           << Frames{QByteArray::fromHex("7e0102")} << 0 << none << none;
    QTest::newRow("two frames, lower case")
        << QByteArray("3000aa\r3001\r") << true
        << Frames{QByteArray::fromHex("3000aa"), QByteArray::fromHex("3001")} << 0 << none << none;
    QTest::newRow("BUFFER FULL reads as data")
        << QByteArray("BUFFER FULL\r") << true << Frames{QByteArray::fromHex("0bffef")} << 0 << none
        << none;
    QTest::newRow("frame after a prompt")
        << QByteArray(">7E01\r") << true << Frames{QByteArray::fromHex("7e01")} << 0 << none
        << none;
    QTest::newRow("NUL padding") << QByteArray::fromHex("00374500300031003000310d00") << true
                                 << Frames{QByteArray::fromHex("7e0101")} << 0 << none << none;
    QTest::newRow("line feeds") << QByteArray("\n7E01\r\n") << true
                                << Frames{QByteArray::fromHex("7e01")} << 0 << none << none;
    QTest::newRow("line split by a read")
        << QByteArray("7E|01\r") << true << Frames{QByteArray::fromHex("7e01")} << 0 << none
        << none;
    // A reply that is the frame's own bytes (a block read of erased memory is answered with
    // its request) is data when the prompt follows it.
    QTest::newRow("reply equal to the frame")
        << QByteArray("FFFF\r") << true << Frames{info} << 0 << none << none;
    QTest::newRow("reply equal to the frame, twice")
        << QByteArray("FFFF\rFFFF\r") << true << Frames{info, info} << 0 << none << none;
    // A line that never ends is reported once and skipped up to its end; the next line
    // reads normally.
    QTest::newRow("endless line") << QByteArray(4000, 'A') + '|' + QByteArray(4000, 'A') +
                                         "|\r7E01\r"
                                  << true << Frames{QByteArray::fromHex("7e01")} << bad
                                  << QStringLiteral("reply line too long") << none;

    QTest::newRow("NO DATA, strict")
        << QByteArray("NO DATA\r") << true << Frames{} << noData << protocol + "no data" << none;
    QTest::newRow("NO DATA padded, strict")
        << QByteArray(" No Data \r") << true << Frames{} << noData << protocol + "no data" << none;
    QTest::newRow("NO DATA after a prompt, strict")
        << QByteArray(">NO DATA\r") << true << Frames{} << noData << protocol + "no data" << none;
    QTest::newRow("NO DATA, lenient")
        << QByteArray("NO DATA\r") << false << Frames{} << 0 << none << none;
    QTest::newRow("STOPPED, strict")
        << QByteArray("STOPPED\r") << true << Frames{} << stopped << protocol + "stopped" << none;
    QTest::newRow("STOPPED, lenient")
        << QByteArray("STOPPED\r") << false << Frames{} << 0 << none << none;

    QTest::newRow("echoed command")
        << QByteArray("AT SH 74D\r") << true << Frames{} << 0 << none << none;
    QTest::newRow("OK with no AT command in flight")
        << QByteArray("OK\r") << true << Frames{} << bad << nonHex << none;
    QTest::newRow("prompt and OK with no AT command in flight")
        << QByteArray(">OK\r") << false << Frames{} << bad << nonHex << none;

    // The adapter is no longer set up as the link left it: nothing reaches the reader.
    const QString echo = QStringLiteral("echo");
    const QString spaces = QStringLiteral("spaces in a reply");
    QTest::newRow("banner nobody asked for")
        << QByteArray("ELM327 v1.5\r") << true << Frames{} << 0 << none << "banner";
    QTest::newRow("supply dip") << QByteArray("\nLV RESET\r\n") << true << Frames{} << 0 << none
                                << "LV RESET";
    QTest::newRow("echo, then the reply")
        << QByteArray("FFFF\rFFFF01100300\r") << true << Frames{} << 0 << none << echo;
    QTest::newRow("echo, then NO DATA")
        << QByteArray("FFFF\r|NO DATA\r") << true << Frames{} << 0 << none << echo;
    QTest::newRow("echo, then a refusal")
        << QByteArray("FFFF\r?\r") << true << Frames{} << 0 << none << echo;
    QTest::newRow("frame refused")
        << QByteArray("?\r") << true << Frames{} << 0 << none << "frame refused";
    QTest::newRow("spaces") << QByteArray("FF FF 01 10 03 00 00 00\r") << true << Frames{} << 0
                            << none << spaces;
    QTest::newRow("headers") << QByteArray("745FFFF011003000000\r") << true << Frames{} << 0 << none
                             << "odd digit count in a reply";
    QTest::newRow("headers and spaces")
        << QByteArray("745 FF FF 01 10 03 00 00 00\r") << true << Frames{} << 0 << none << spaces;
}

// A frame is in flight when the reply arrives; the prompt after it gives ready().
void LinkRepliesTest::replyLine()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, strict);
    QFETCH(Frames, frames);
    QFETCH(int, code);
    QFETCH(QString, reason);
    QFETCH(QString, reset);

    LinkHarness h;
    QVERIFY(h.start());
    h.link.setStrictMode(strict);
    QCOMPARE(h.link.property("strictMode").toBool(), strict);
    QSignalSpy reads(&h.link, &ELM327IOBase::read);
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QSignalSpy ready(&h.link, &ELM327IOBase::ready);
    QSignalSpy resets(&h.link, &ELM327IOBase::adapterReset);

    h.link.writeHEX(QByteArray::fromHex("ffff"));
    QTRY_COMPARE(h.peer.received(), QByteArray("FFFF\r"));
    for (const QByteArray &piece : reply.split('|'))
        QVERIFY(h.feed(piece));
    QVERIFY(h.feed("\r>"));
    // After a reset the link sets the adapter up again: the prompt does not end the exchange.
    QCOMPARE(ready.count(), reset.isEmpty() ? 1 : 0);
    QCOMPARE(resets.count(), reset.isEmpty() ? 0 : 1);
    if (!reset.isEmpty())
        QCOMPARE(resets.at(0).at(0).toString(), reset);

    Frames got;
    for (const QList<QVariant> &args : reads)
        got << args.at(0).toByteArray();
    QCOMPARE(got, frames);
    if (code == 0) {
        QCOMPARE(errors.count(), 0);
    } else {
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).value<ELM327IOBase::ELM_ERROR>(),
                 ELM327IOBase::ELM_ERROR(code));
        QCOMPARE(errors.at(0).at(1).toString(), reason);
    }
}

void LinkRepliesTest::queryAnswer_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Frames>("lines");

    QTest::newRow("voltage") << QByteArray("at rv") << QByteArray("12.6V\r") << Frames{"12.6V"};
    QTest::newRow("refused") << QByteArray("at amc") << QByteArray("?\r") << Frames{"?"};
    QTest::newRow("only the prompt") << QByteArray("at rv") << QByteArray() << Frames{};
    QTest::newRow("its echo left out")
        << QByteArray("at ign") << QByteArray("AT IGN\rON\r") << Frames{"ON"};
    // An identification that starts like a command is still the answer.
    QTest::newRow("extended identification")
        << QByteArray("sti") << QByteArray("STN1110 v4.2.0\r") << Frames{"STN1110 v4.2.0"};
    QTest::newRow("text and OK")
        << QByteArray("at@1") << QByteArray("OBDII to RS232|\rOK\r")
        << Frames{"OBDII to RS232", "OK"};
}

// An adapter command whose answer is wanted: what came up to its prompt, no error, and the
// frame queued behind it goes out and reads as ever.
void LinkRepliesTest::queryAnswer()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(Frames, lines);

    LinkHarness h;
    QVERIFY(h.start());
    h.link.setStrictMode(true);
    QSignalSpy answered(&h.link, &ELM327IOBase::answered);
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QSignalSpy reads(&h.link, &ELM327IOBase::read);
    h.link.query(command);
    h.link.writeHEX(QByteArray::fromHex("ffff"));
    QTRY_COMPARE(h.peer.received(), command + "\r");
    for (const QByteArray &piece : reply.split('|')) {
        if (!piece.isEmpty())
            QVERIFY(h.feed(piece));
    }
    QVERIFY(h.feed("\r>"));
    QCOMPARE(answered.count(), 1);
    QCOMPARE(answered.at(0).at(0).toByteArray(), command);
    QCOMPARE(answered.at(0).at(1).value<QList<QByteArray>>(), lines);
    QTRY_COMPARE(h.peer.received(), command + "\rFFFF\r");
    QVERIFY(h.feed("FFFF01100300\r\r>"));
    QCOMPARE(reads.count(), 1);
    QCOMPARE(errors.count(), 0);
}

// The adapter resets while a frame waits for its reply: the link gets in step with it, runs the
// initialisation again and sends the frame once more; its reply reaches the reader. A second
// reset before any reply came ends it with ERR_OTHER, dropping what was queued.
void LinkRepliesTest::recoversFromReset()
{
    LinkHarness h;
    QVERIFY(h.start());
    QSignalSpy reads(&h.link, &ELM327IOBase::read);
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QSignalSpy resets(&h.link, &ELM327IOBase::adapterReset);
    h.peer.responder = [](const QByteArray &c, int) { return PtyPeer::adapterAnswer(c); };

    const QByteArray frame = "0040FFFFFFFFFFFF";
    h.link.writeHEX(QByteArray::fromHex(frame));
    QTRY_COMPARE(h.peer.commands(), Commands{frame});
    // What a chip prints for a supply dip: with the old settings, then the power-up ones.
    h.peer.send("LV RESET\r");
    h.peer.send("\r\n\r\nELM327 v2.1\r\n\r\n>");
    QTRY_COMPARE(h.peer.commands().count(frame), 2);
    QCOMPARE(resets.count(), 1);
    const Commands again = h.peer.commands();
    QCOMPARE(again.mid(1, 2), (Commands{"at rv", "atws"}));
    QCOMPARE(again.at(again.size() - 2), QByteArray("at cfc0"));
    QVERIFY(h.feed("0040AABBCCDDEEFF\r\r>"));
    QCOMPARE(reads.count(), 1);
    QCOMPARE(reads.at(0).at(0).toByteArray(), QByteArray::fromHex("0040aabbccddeeff"));

    // The reply cleared the count: this reset is recovered from as well.
    h.peer.clearReceived();
    h.link.writeHEX(QByteArray::fromHex("ffff"));
    h.link.writeHEX(QByteArray::fromHex("fe7f"));
    QTRY_COMPARE(h.peer.commands(), Commands{"FFFF"});
    QVERIFY(h.feed("?\r\r>"));
    QTRY_COMPARE(h.peer.commands().count("FFFF"), 2);
    QCOMPARE(resets.count(), 2);
    QCOMPARE(errors.count(), 0);
    QVERIFY(h.feed("ELM327 v1.5\r"));
    QCOMPARE(resets.count(), 2);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).value<ELM327IOBase::ELM_ERROR>(), ELM327IOBase::ERR_OTHER);
    QCOMPARE(errors.at(0).at(1).toString(), QStringLiteral("adapter reset"));
    QSignalSpy ready(&h.link, &ELM327IOBase::ready);
    QVERIFY(ready.wait(3000)); // set up again, with nothing left to send
    QVERIFY(!h.peer.commands().contains("FE7F"));
    QCOMPARE(reads.count(), 1);
}

// One frame that keeps drawing "CAN ERROR" goes out five times in all; then the error is
// reported and the work queued behind it is dropped.
void LinkRepliesTest::canErrorResends()
{
    LinkHarness h;
    QVERIFY(h.start());
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QSignalSpy ready(&h.link, &ELM327IOBase::ready);

    h.link.writeHEX(QByteArray::fromHex("0102030405060708"));
    h.link.writeHEX(QByteArray::fromHex("aabb"));
    h.link.write("ATRV\r");
    const QByteArray frame("0102030405060708\r");
    QTRY_COMPARE(h.peer.received(), frame);
    for (int resend = 1; resend <= 4; ++resend) {
        QVERIFY(h.feed("CAN ERROR\r\r>"));
        QTRY_COMPARE(h.peer.received(), frame.repeated(resend + 1));
        QCOMPARE(errors.count(), 0);
    }
    QVERIFY(h.feed("CAN ERROR\r"));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).value<ELM327IOBase::ELM_ERROR>(), ELM327IOBase::ERR_CANERR);
    QCOMPARE(errors.at(0).at(1).toString(), QStringLiteral("CAN error. Retries exhausted"));
    QVERIFY(!h.link.isBusy());

    QSignalSpy written(h.port(), &QSerialPort::bytesWritten);
    QVERIFY(h.feed("\r>"));
    QCOMPARE(ready.count(), 1);
    QCOMPARE(written.count(), 0);
}

// A handler that answers the error with new work keeps it: only what was queued before the
// error is dropped, and the new frame starts with a fresh count.
void LinkRepliesTest::workQueuedOnCanErrorSurvives()
{
    LinkHarness h;
    QVERIFY(h.start());
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QObject::connect(&h.link, &ELM327IOBase::error,
                     [&] { h.link.writeHEX(QByteArray::fromHex("0909")); });

    h.link.writeHEX(QByteArray::fromHex("01"));
    h.link.writeHEX(QByteArray::fromHex("aabb"));
    QTRY_COMPARE(h.peer.received(), QByteArray("01\r"));
    for (int i = 0; i < 5; ++i)
        QVERIFY(h.feed("CAN ERROR\r\r>"));
    QCOMPARE(errors.count(), 1);
    QTRY_COMPARE(h.peer.received(), QByteArray("01\r").repeated(5) + "0909\r");
    QVERIFY(h.feed("CAN ERROR\r\r>"));
    QTRY_COMPARE(h.peer.received(), QByteArray("01\r").repeated(5) + "0909\r0909\r");
    QCOMPARE(errors.count(), 1);
}

void LinkRepliesTest::dataLineResetsCanErrorCount()
{
    LinkHarness h;
    QVERIFY(h.start());
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QSignalSpy reads(&h.link, &ELM327IOBase::read);

    h.link.writeHEX(QByteArray::fromHex("11"));
    QTRY_COMPARE(h.peer.commands().size(), 1);
    for (int i = 1; i <= 3; ++i) {
        QVERIFY(h.feed("CAN ERROR\r\r>"));
        QTRY_COMPARE(h.peer.commands().size(), 1 + i);
    }
    QVERIFY(h.feed("3000\r\r>"));
    QCOMPARE(reads.count(), 1);

    // Four more in a row are still resent: the count started again at the data line.
    h.link.writeHEX(QByteArray::fromHex("22"));
    QTRY_COMPARE(h.peer.commands().size(), 5);
    for (int i = 1; i <= 4; ++i) {
        QVERIFY(h.feed("CAN ERROR\r\r>"));
        QTRY_COMPARE(h.peer.commands().size(), 5 + i);
        QCOMPARE(h.peer.commands().last(), QByteArray("22"));
    }
    QCOMPARE(errors.count(), 0);
    QVERIFY(h.feed("CAN ERROR\r\r>"));
    QCOMPARE(errors.count(), 1);
}

QTEST_GUILESS_MAIN(LinkRepliesTest)
#include "tst_linkreplies.moc"
