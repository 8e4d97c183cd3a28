#include "link/ELM327IOBase.h"
#include "sim/PtySimulator.h"

#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

// The tool's real serial link against the simulator: rate detection, initialisation, the
// line rate switch, one frame out and its reply back.
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
    QTest::addColumn<bool>("fast");        // "Link/FastTransfers"
    QTest::addColumn<int>("brtMs");        // how long the chip listens for the host's CR
    QTest::addColumn<int>("lineRate");     // the rate the session runs at
    QTest::addColumn<bool>("countKnown");  // the adapter takes the response count
    QTest::addColumn<bool>("countNoData"); // ... but answers "NO DATA" to requests with it
    QTest::addColumn<int>("promptDelayMs"); // the prompt at the new rate comes this much late
    const int clone = SimAdapter::Clone, genuine = SimAdapter::Genuine, ext = SimAdapter::Extended;
    QTest::newRow("automatic finds 38400, clone refuses brd and the count")
        << 38400 << 0u << false << clone << true << 75 << 38400 << false << false << 0;
    QTest::newRow("automatic finds 115200, extended: st br 500000")
        << 115200 << 0u << true << ext << true << 75 << 500000 << true << false << 0;
    QTest::newRow("automatic finds 500000: nothing faster")
        << 500000 << 0u << false << genuine << true << 75 << 500000 << true << false << 0;
    QTest::newRow("fixed 38400, genuine: brd 08")
        << 38400 << 38400u << false << genuine << true << 75 << 500000 << true << false << 0;
    QTest::newRow("fixed 256000, extended")
        << 256000 << 256000u << true << ext << true << 75 << 500000 << true << false << 0;
    QTest::newRow("carriage return not heard in time: every rate falls back")
        << 38400 << 38400u << false << genuine << true << 0 << 38400 << true << false << 0;
    QTest::newRow("fast transfers off") << 38400 << 38400u << false << genuine << false << 75
                                        << 38400 << false << false << 0;
    // The digit taken but every request with it answered "NO DATA": the first one goes
    // again without it, is answered, and the digit is off for the session; no lost reply.
    QTest::newRow("extended, NO DATA to the count")
        << 38400 << 38400u << true << ext << true << 75 << 500000 << false << true << 0;
    // The prompt at the new rate taken in late, as on a busy machine: it looks like a module's,
    // and the link goes back to the old rate, where the chip that did switch is silent. The
    // link finds it at the new rate.
    QTest::newRow("prompt at the new rate taken in late: the switch holds")
        << 38400 << 38400u << false << genuine << true << 75 << 500000 << true << false << 150;
}

void tst_SimLink::connectsAndExchanges()
{
    QFETCH(int, adapterRate);
    QFETCH(uint, requested);
    QFETCH(bool, extended);
    QFETCH(int, kind);
    QFETCH(bool, fast);
    QFETCH(int, brtMs);
    QFETCH(int, lineRate);
    QFETCH(bool, countKnown);
    QFETCH(bool, countNoData);
    QFETCH(int, promptDelayMs);
    QSettings().setValue(QStringLiteral("Link/FastTransfers"), fast);

    PtySimulator sim;
    sim.setBaudRate(adapterRate);
    sim.adapter().setKind(SimAdapter::Kind(kind));
    sim.adapter().setDefaultRateSwitchWaitMs(brtMs);
    sim.adapter().setCountDrawsNoData(countNoData);
    sim.adapter().setRateSwitchPromptDelayMs(promptDelayMs);
    QByteArray heard; // everything the link wrote
    connect(&sim, &PtySimulator::bytesReceivedFrom, this,
            [&heard](const QByteArray &bytes) { heard += bytes; });
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
    QCOMPARE(link.lineRate(), lineRate);
    QCOMPARE(sim.lineRate(), lineRate);

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
    QCOMPARE(sim.clientBaudRate(), lineRate);
    QCOMPARE(sim.commands().contains("st p33"), extended);
    // Only faster rates are asked for, with the extended set's command where it is chosen.
    const bool asked = fast && adapterRate < 500000;
    QCOMPARE(heard.contains(extended ? "st br 500000\r" : "at brd 08\r"), asked);
    QCOMPARE(heard.contains("at brd 10\r") || heard.contains("st br 250000\r"),
             asked && lineRate != 500000);

    // Requests of one reply carry the count; one refused goes again without it, and so do
    // the later ones.
    heard.clear();
    for (int n = 1; n <= 2; ++n) {
        link.writeRequest(QByteArray::fromHex("FFFF"), 1);
        QTRY_COMPARE(reads.count(), n);
        QCOMPARE(reads.last().first().toByteArray(), sim.dashboard().deviceInfoReply());
        QTRY_COMPARE(ready.count(), n + 1);
    }
    const QByteArray counted = countKnown            ? QByteArray("FFFF1\rFFFF1\r")
                               : fast && !countKnown ? QByteArray("FFFF1\rFFFF\rFFFF\r")
                                                     : QByteArray("FFFF\rFFFF\r");
    QCOMPARE(heard, counted);
    QCOMPARE(errors.count(), 0);
    bool fellBack = false;
    for (const LinkRecorder::Entry &e : link.recorder().entries())
        fellBack = fellBack || e.bytes.contains("NO DATA to the response count: off");
    QCOMPARE(fellBack, countNoData);
    link.close();
    qunsetenv("KX4_EXTRA_PORTS");
}

void tst_SimLink::reconnectsAfterClose()
{
    // Closing sends "ATZ": its answer, like any output the client no longer reads, must not
    // wait in the line for the next session, which would then be one answer behind.
    // The genuine chip takes 500 kbit/s in every session: the "ATZ" that ends one, sent at
    // that rate, brings it back to 38400 for the next.
    QSettings().setValue(QStringLiteral("Link/FastTransfers"), true);
    PtySimulator sim;
    sim.adapter().setKind(SimAdapter::Genuine);
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
        QCOMPARE(sim.lineRate(), 500000);
        link.writeHEX(QByteArray::fromHex("FFFF"));
        QTRY_COMPARE(reads.count(), session);
        QCOMPARE(reads.last().first().toByteArray(), sim.dashboard().deviceInfoReply());
        QTRY_COMPARE(ready.count(), 2 * session);
        link.close();
        QTRY_VERIFY(sim.commands().count("ATZ") == session);
        QCOMPARE(sim.lineRate(), 38400);
    }
    QCOMPARE(errors.count(), 0);
    qunsetenv("KX4_EXTRA_PORTS");
}

QTEST_GUILESS_MAIN(tst_SimLink)
#include "tst_simlink.moc"
