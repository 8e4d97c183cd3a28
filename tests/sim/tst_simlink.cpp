#include "link/ELM327IOBase.h"
#include "sim/PtySimulator.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

// The tool's real serial link against the simulator: rate detection, initialisation,
// one frame out and its reply back.
class tst_SimLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void connectsAndExchanges_data();
    void connectsAndExchanges();
    void reconnectsAfterClose();
};

void tst_SimLink::connectsAndExchanges_data()
{
    QTest::addColumn<int>("adapterRate");
    QTest::addColumn<uint>("requested"); // 0: "Automatic"
    QTest::addColumn<bool>("extended");
    QTest::addColumn<int>("kind");
    QTest::newRow("automatic finds 38400") << 38400 << 0u << false << int(SimAdapter::Clone);
    QTest::newRow("automatic finds 115200, extended")
        << 115200 << 0u << true << int(SimAdapter::Extended);
    QTest::newRow("automatic finds 500000") << 500000 << 0u << false << int(SimAdapter::Genuine);
    QTest::newRow("fixed 38400") << 38400 << 38400u << false << int(SimAdapter::Clone);
    QTest::newRow("fixed 256000, extended")
        << 256000 << 256000u << true << int(SimAdapter::Extended);
}

void tst_SimLink::connectsAndExchanges()
{
    QFETCH(int, adapterRate);
    QFETCH(uint, requested);
    QFETCH(bool, extended);
    QFETCH(int, kind);

    PtySimulator sim;
    sim.setBaudRate(adapterRate);
    sim.adapter().setKind(SimAdapter::Kind(kind));
    QVERIFY(sim.start());
    qputenv("KX4_EXTRA_PORTS", sim.slavePath().toLocal8Bit());
    QVERIFY(availableSerialPorts().contains(sim.slavePath()));

    ELM327IOBase link(nullptr);
    link.setStrictMode(true);
    QSignalSpy ready(&link, &ELM327IOBase::ready);
    QSignalSpy connected(&link, &ELM327IOBase::connected);
    QSignalSpy disconnected(&link, &ELM327IOBase::disconnected);
    QSignalSpy errors(&link, &ELM327IOBase::error);
    QSignalSpy reads(&link, &ELM327IOBase::read);
    QVERIFY(link.setup(sim.slavePath(), requested, true, extended));
    QCOMPARE(connected.count(), 1);
    // Detection closes the port once to reopen it at the rate it found.
    QCOMPARE(disconnected.count(), requested == 0 ? 1 : 0);
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 5000);
    QCOMPARE(errors.count(), 0);

    // The adapter ends in the raw-CAN mode the link asked for.
    SimAdapter &a = sim.adapter();
    QVERIFY(!a.echo());
    QVERIFY(!a.spaces());
    QVERIFY(!a.headers());
    QVERIFY(!a.linefeeds());
    QVERIFY(!a.autoFormat());
    QVERIFY(!a.flowControl());
    QCOMPARE(a.header(), 0x74Du);
    QCOMPARE(a.receiveFilter(), QByteArray("745"));
    QCOMPARE(a.timeoutByte(), 0xFF);
    QCOMPARE(sim.clientBaudRate(), adapterRate);
    // A plain adapter said "?" to nothing: every command of the sequence was known to it.
    QCOMPARE(sim.commands().contains("st p33"), extended);

    link.writeHEX(QByteArray::fromHex("FFFF"));
    QTRY_COMPARE(reads.count(), 1);
    QCOMPARE(reads.first().first().toByteArray(), sim.dashboard().deviceInfoReply());
    QTRY_COMPARE(ready.count(), 2);
    QCOMPARE(errors.count(), 0);
    link.close();
    qunsetenv("KX4_EXTRA_PORTS");
}

void tst_SimLink::reconnectsAfterClose()
{
    // Closing sends "ATZ": its answer, like any output the client no longer reads, must not
    // wait in the line for the next session, which would then be one answer behind.
    PtySimulator sim;
    QVERIFY(sim.start());
    qputenv("KX4_EXTRA_PORTS", sim.slavePath().toLocal8Bit());
    ELM327IOBase link(nullptr);
    link.setStrictMode(true);
    QSignalSpy ready(&link, &ELM327IOBase::ready);
    QSignalSpy errors(&link, &ELM327IOBase::error);
    QSignalSpy reads(&link, &ELM327IOBase::read);
    for (int session = 1; session <= 3; ++session) {
        QVERIFY(link.setup(sim.slavePath(), 38400, true, false));
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 2 * session - 1, 5000);
        link.writeHEX(QByteArray::fromHex("FFFF"));
        QTRY_COMPARE(reads.count(), session);
        QCOMPARE(reads.last().first().toByteArray(), sim.dashboard().deviceInfoReply());
        QTRY_COMPARE(ready.count(), 2 * session);
        link.close();
        QTRY_VERIFY(sim.commands().count("ATZ") == session);
    }
    QCOMPARE(errors.count(), 0);
    qunsetenv("KX4_EXTRA_PORTS");
}

QTEST_GUILESS_MAIN(tst_SimLink)
#include "tst_simlink.moc"
