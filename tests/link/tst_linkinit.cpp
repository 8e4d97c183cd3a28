// Bringing the adapter up and pacing the link by its prompt: the initialisation commands, one
// item per prompt, how AT acknowledgements end a command, and the order of the two queues.

#include "LinkHarness.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include <utility>

using Commands = QList<QByteArray>;

class LinkInitTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("kx4.link.debug=false"));
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("kx4-tests"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_linkinit"));
    }
    void init()
    {
        QSettings().clear();
        // These tests pin the exchange without the line rate switch and response count.
        QSettings().setValue(QStringLiteral("Link/FastTransfers"), false);
    }

    void initSequence_data();
    void initSequence();
    void oneCommandPerPrompt();
    void startsInStep_data();
    void startsInStep();
    void acknowledgement_data();
    void acknowledgement();
    void queuesAndPrompt();
    void monitorBypassesQueues();
};

void LinkInitTest::initSequence_data()
{
    QTest::addColumn<bool>("elmSt");
    QTest::addColumn<bool>("adaptive");
    QTest::addColumn<QVariant>("host");
    QTest::addColumn<QVariant>("device");
    QTest::addColumn<Commands>("expected");

    const Commands head = {"atws",  "at e0", "at s0",   "at h0",
                           "at l0", "at d0", "at at 0", "at st ff"};
    const Commands tail = {"at al", "at caf0", "at cfc0"};

    QTest::newRow("st adapter, adaptive timing, default identifiers")
        << true << true << QVariant() << QVariant()
        << head + Commands{"st p33", "st pbr500000", "at sh 74d", "at cra 745", "at at1"} + tail;
    // The other sequences are rows of the initialisation's own table (tst_linkparts); this
    // one shows the link sends what it is built from, the identifiers read from the settings.
    QTest::newRow("plain adapter, identifiers from the settings")
        << false << false << QVariant(0x7E0) << QVariant(2024)
        << head + Commands{"at tp6", "at sh 7e0", "at cra 7e8"} + tail;
}

void LinkInitTest::initSequence()
{
    QFETCH(bool, elmSt);
    QFETCH(bool, adaptive);
    QFETCH(QVariant, host);
    QFETCH(QVariant, device);
    QFETCH(Commands, expected);

    QSettings settings;
    if (host.isValid())
        settings.setValue(QStringLiteral("CAN/HostAddress"), host);
    if (device.isValid())
        settings.setValue(QStringLiteral("CAN/DeviceAddress"), device);
    settings.sync();

    LinkHarness h;
    QVERIFY(h.peer.isValid());
    h.peer.responder = [](const QByteArray &c, int) { return PtyPeer::adapterAnswer(c); };
    QStringList events;
    QObject::connect(&h.link, &ELM327IOBase::connected, [&] { events << "connected"; });
    QObject::connect(&h.link, &ELM327IOBase::ready, [&] { events << "ready"; });
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QSignalSpy disconnects(&h.link, &ELM327IOBase::disconnected);

    QVERIFY(h.link.setup(h.peer.slavePath(), 38400, adaptive, elmSt));
    QVERIFY(h.link.isOpen());
    QCOMPARE(events, QStringList{"connected"});
    QVERIFY(h.link.isBusy());

    QTRY_COMPARE(events, (QStringList{"connected", "ready"}));
    // The link first gets in step with the adapter on a command of its own.
    expected.prepend("at rv");
    QCOMPARE(h.peer.commands(), expected);
    QByteArray wire;
    for (const QByteArray &c : expected)
        wire += c + '\r';
    QCOMPARE(h.peer.received(), wire);
    for (int rate : h.peer.commandRates())
        QCOMPARE(rate, 38400);
    QVERIFY(!h.link.isBusy());
    QCOMPARE(errors.count(), 0);
    QCOMPARE(disconnects.count(), 0);
}

// A plain adapter answers the "st" commands with "?"; the sequence still finishes, one command
// per prompt, and a prompt line that does not end an AT command moves nothing.
void LinkInitTest::oneCommandPerPrompt()
{
    LinkHarness h;
    QSignalSpy ready(&h.link, &ELM327IOBase::ready);
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QVERIFY(h.link.setup(h.peer.slavePath(), 38400, false, true));
    QVERIFY(h.answerSync());
    QCOMPARE(h.peer.commands(), Commands{"atws"});

    QSignalSpy written(h.port(), &QSerialPort::bytesWritten);
    QVERIFY(h.feed("\r\rELM327 v1.5\r\r>"));
    QTRY_COMPARE(h.peer.commands().size(), 2);
    QCOMPARE(h.peer.commands().last(), QByteArray("at e0"));
    QCOMPARE(written.count(), 1);

    int sent = 2;
    while (ready.isEmpty()) {
        const QByteArray last = h.peer.commands().last();
        QVERIFY2(sent < 20, last.constData());
        h.peer.send(last.startsWith("st") ? "?\r\r>" : "OK\r\r>");
        ++sent;
        QTRY_VERIFY(h.peer.commands().size() == sent || !ready.isEmpty());
        if (ready.isEmpty())
            QCOMPARE(h.peer.commands().size(), sent); // never two commands for one prompt
    }
    QCOMPARE(h.peer.commands().last(), QByteArray("at cfc0"));
    QCOMPARE(h.peer.commands().size(), 15);
    QCOMPARE(errors.count(), 0);
}

void LinkInitTest::startsInStep_data()
{
    QTest::addColumn<QByteArray>("left");    // on the line from an earlier session
    QTest::addColumn<QByteArray>("instead"); // comes back for the first "at rv"

    const QByteArray banner = "\r\n\r\nELM327 v1.5\r\n\r\n>";
    QTest::newRow("answer to the last session's reset")
        << QByteArray("ATZ\r\n") + banner << QByteArray();
    QTest::newRow("reset answer arriving late") << QByteArray() << banner;
    QTest::newRow("stray prompt") << QByteArray() << QByteArray(">");
    QTest::newRow("stray acknowledgement") << QByteArray() << QByteArray("OK\r\r>");
}

// Whatever an earlier session left behind, the initialisation runs one command per prompt
// and the first frame gets its own reply.
void LinkInitTest::startsInStep()
{
    QFETCH(QByteArray, left);
    QFETCH(QByteArray, instead);

    LinkHarness h;
    h.peer.responder = [&instead](const QByteArray &c, int) {
        if (c == "at rv" && !instead.isEmpty())
            return std::exchange(instead, QByteArray());
        return PtyPeer::adapterAnswer(c);
    };
    QSignalSpy ready(&h.link, &ELM327IOBase::ready);
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QSignalSpy resets(&h.link, &ELM327IOBase::adapterReset);
    QSignalSpy reads(&h.link, &ELM327IOBase::read);
    const bool lateAnswer = !instead.isEmpty();
    QVERIFY(h.link.setup(h.peer.slavePath(), 38400, false, false));
    h.peer.send(left);
    QVERIFY(ready.wait(5000));

    const Commands all = h.peer.commands();
    QCOMPARE(all.count("at rv"), lateAnswer ? 2 : 1);
    QCOMPARE(all.mid(all.lastIndexOf("at rv") + 1),
             (Commands{"atws", "at e0", "at s0", "at h0", "at l0", "at d0", "at at 0", "at st ff",
                       "at tp6", "at sh 74d", "at cra 745", "at al", "at caf0", "at cfc0"}));
    h.peer.responder = nullptr;
    h.link.writeHEX(QByteArray::fromHex("ffff"));
    QTRY_COMPARE(h.peer.commands().last(), QByteArray("FFFF"));
    QVERIFY(h.feed("FFFF01100300\r\r>"));
    QCOMPARE(reads.count(), 1);
    QCOMPARE(ready.count(), 2);
    QCOMPARE(errors.count(), 0);
    QCOMPARE(resets.count(), 0);
}

void LinkInitTest::acknowledgement_data()
{
    QTest::addColumn<Commands>("pieces");
    QTest::addColumn<bool>("advances");

    QTest::newRow("OK and prompt in one piece") << Commands{"OK\r\r>"} << true;
    QTest::newRow("OK and prompt in pieces") << Commands{"O", "K\r", "\r>"} << true;
    QTest::newRow("prompt run into OK") << Commands{">OK\r", ">\r"} << true;
    QTest::newRow("NUL padding around the prompt")
        << Commands{QByteArray("\0\0OK\r", 5), QByteArray("\r\0\0>", 4)} << true;
    QTest::newRow("line feeds still on") << Commands{"OK\r\n\r\n>"} << true;
    QTest::newRow("refusal only") << Commands{"?\r", ">\r"} << false;
    QTest::newRow("echo of the command only") << Commands{"at e0\r", ">\r"} << false;
    QTest::newRow("bare prompt ends the output") << Commands{"?\r\r>"} << true;
}

// "at e0" is in flight. Its "OK" clears the pending AT command, so a prompt line sends the next
// item; a prompt at the very end of the output always does.
void LinkInitTest::acknowledgement()
{
    QFETCH(Commands, pieces);
    QFETCH(bool, advances);

    LinkHarness h;
    QVERIFY(h.link.setup(h.peer.slavePath(), 38400, false, true));
    QVERIFY(h.answerSync());
    QVERIFY(h.feed("ELM327 v1.5\r\r>"));
    QTRY_COMPARE(h.peer.commands(), (Commands{"atws", "at e0"}));

    QSignalSpy written(h.port(), &QSerialPort::bytesWritten);
    for (const QByteArray &piece : pieces)
        QVERIFY(h.feed(piece));
    if (advances) {
        QTRY_COMPARE(h.peer.commands(), (Commands{"atws", "at e0", "at s0"}));
    } else {
        QCOMPARE(written.count(), 0);
        QCOMPARE(h.peer.commands().size(), 2);
    }
}

void LinkInitTest::queuesAndPrompt()
{
    LinkHarness h;
    QVERIFY(h.start());
    QSignalSpy ready(&h.link, &ELM327IOBase::ready);
    QSignalSpy reads(&h.link, &ELM327IOBase::read);

    // Idle: a frame goes out at once, upper-case hex and a carriage return.
    h.link.writeHEX(QByteArray::fromHex("7e01ab"));
    QTRY_COMPARE(h.peer.received(), QByteArray("7E01AB\r"));
    QVERIFY(h.link.isBusy() == false);

    // While busy, further items wait for the prompt; raw items go before frames, as written.
    h.link.writeHEX(QByteArray::fromHex("0102"));
    h.link.write("ATRV");
    h.link.writeHEX(QByteArray()); // nothing to send: must not hold up the queue
    h.link.writeHEX(QByteArray::fromHex("0304"));
    QVERIFY(h.link.isBusy());
    QVERIFY(h.feed("00\r\r>"));
    QTRY_COMPARE(h.peer.received(), QByteArray("7E01AB\rATRV"));
    QVERIFY(h.feed("\r>"));
    QTRY_COMPARE(h.peer.received(), QByteArray("7E01AB\rATRV0102\r"));
    QVERIFY(h.feed("01\r\r>"));
    QTRY_COMPARE(h.peer.received(), QByteArray("7E01AB\rATRV0102\r0304\r"));
    QCOMPARE(ready.count(), 0);

    // The prompt after the last item finds both queues empty.
    QVERIFY(h.feed("02\r\r>"));
    QCOMPARE(ready.count(), 1);
    QCOMPARE(reads.count(), 3);
    QVERIFY(!h.link.isBusy());
}

void LinkInitTest::monitorBypassesQueues()
{
    LinkHarness h;
    QVERIFY(h.start());
    h.link.writeHEX(QByteArray::fromHex("01"));
    h.link.writeHEX(QByteArray::fromHex("02"));
    h.link.monitor(true);
    h.link.monitor(true);
    QTRY_COMPARE(h.peer.received(), QByteArray("01\rATMA\r"));
    h.link.monitor(false);
    h.link.monitor(false);
    QTRY_COMPARE(h.peer.received(), QByteArray("01\rATMA\r\r"));
}

QTEST_GUILESS_MAIN(LinkInitTest)
#include "tst_linkinit.moc"
