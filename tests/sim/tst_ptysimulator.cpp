#include "PtyClient.h"
#include "sim/PtySimulator.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <QSignalSpy>
#include <QtTest>
#include <algorithm>

// The simulator as the tool's link sees it: bytes through a real pseudo-terminal.
class tst_PtySimulator : public QObject
{
    Q_OBJECT

private slots:
    void startsAndServesSlave();
    void answersOnlyAtItsRate_data();
    void answersOnlyAtItsRate();
    void blockReadAndWriteThroughLine();
    void noDataAfterTimeout();
    void inputWhileWaitingStops();
    void hangUpFault();
    void resets_data();
    void resets();
    void pacingAtBaudRate();
    void throughModule();

private:
    // Brings the adapter into the tool's raw-CAN mode.
    static void rawCanMode(PtyClient &c);
};

void tst_PtySimulator::rawCanMode(PtyClient &c)
{
    for (const char *cmd : {"at e0\r", "at s0\r", "at l0\r", "at sh 74d\r", "at cra 745\r",
                            "at caf0\r", "at tp6\r"}) {
        const QByteArray r = c.exchange(cmd);
        QVERIFY2(r.endsWith("OK\r\r>") || r.endsWith("OK\r\n\r\n>"), r.constData());
    }
}

void tst_PtySimulator::startsAndServesSlave()
{
    PtySimulator sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QVERIFY(QFileInfo::exists(sim.slavePath()));
    PtyClient c;
    QVERIFY(c.open(sim.slavePath(), 38400));
    QCOMPARE(c.exchange("ati\r"), QByteArray("ati\r\nELM327 v1.5\r\n\r\n>"));
    QCOMPARE(sim.commands(), QList<QByteArray>{"ati"});
    QCOMPARE(sim.exchangeCount(), 1);
    QCOMPARE(sim.bytesReceived(), 4);
}

void tst_PtySimulator::answersOnlyAtItsRate_data()
{
    QTest::addColumn<int>("adapterRate");
    QTest::addColumn<int>("clientRate");
    QTest::addColumn<bool>("garbage");
    QTest::addColumn<bool>("answers");
    QTest::newRow("38400/38400") << 38400 << 38400 << false << true;
    QTest::newRow("38400/9600 silent") << 38400 << 9600 << false << false;
    QTest::newRow("38400/115200 noise") << 38400 << 115200 << true << false;
    QTest::newRow("256000 via termios2") << 256000 << 256000 << false << true;
    QTest::newRow("2000000/500000") << 2000000 << 500000 << false << false;
}

void tst_PtySimulator::answersOnlyAtItsRate()
{
    QFETCH(int, adapterRate);
    QFETCH(int, clientRate);
    QFETCH(bool, garbage);
    QFETCH(bool, answers);
    PtySimulator sim;
    sim.setBaudRate(adapterRate);
    sim.setGarbageOnWrongBaud(garbage);
    QVERIFY(sim.start());
    PtyClient c;
    QVERIFY(c.open(sim.slavePath(), clientRate));
    QCOMPARE(sim.clientBaudRate(), clientRate);
    const QByteArray r = c.exchange("ati\r", 300);
    QCOMPARE(r.contains("ELM327"), answers);
    // What the link's rate detection looks for must never appear at a wrong rate.
    if (!answers) {
        QVERIFY(!r.contains("ati") && !r.contains("?\r"));
        QCOMPARE(r.isEmpty(), !garbage);
    }
}

void tst_PtySimulator::blockReadAndWriteThroughLine()
{
    PtySimulator sim;
    QVERIFY(sim.start());
    sim.dashboard().writeMemory(0x0200, QByteArray::fromHex("120001010000"));
    PtyClient c;
    QVERIFY(c.open(sim.slavePath(), 38400));
    rawCanMode(c);
    QCOMPARE(c.exchange("0042FFFFFFFFFFFF\r"), QByteArray("0042120001010000\r\r>"));
    QCOMPARE(c.exchange("06C0112233445566\r"), QByteArray("30000600FFFFFFFF\r\r>"));
    QCOMPARE(sim.dashboard().readMemory(6, 6), QByteArray::fromHex("112233445566"));
    QCOMPARE(sim.hostFrames().size(), 2);
    QCOMPARE(sim.hostFrames().last().id, 0x74Du);
    QCOMPARE(sim.hostFrames().last().data, QByteArray::fromHex("06C0112233445566"));
}

void tst_PtySimulator::noDataAfterTimeout()
{
    PtySimulator sim;
    QVERIFY(sim.start());
    PtyClient c;
    QVERIFY(c.open(sim.slavePath(), 38400));
    rawCanMode(c);
    QCOMPARE(c.exchange("at st 32\r"), QByteArray("OK\r\r>")); // 50 x 4 ms
    QElapsedTimer t;
    t.start();
    QCOMPARE(c.exchange("0111\r"), QByteArray("NO DATA\r\r>")); // restart: silence
    QVERIFY2(t.elapsed() >= 195 && t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
}

void tst_PtySimulator::inputWhileWaitingStops()
{
    PtySimulator sim;
    sim.adapter().setNoDataTimeoutMs(3000);
    QVERIFY(sim.start());
    PtyClient c;
    QVERIFY(c.open(sim.slavePath(), 38400));
    rawCanMode(c);
    QCOMPARE(c.exchange("0110\r", 100), QByteArray());
    QCOMPARE(c.exchange("x"), QByteArray("STOPPED\r\r>"));
    // Nothing is left over from the interrupted request.
    QCOMPARE(c.readFor(200, false), QByteArray());
}

void tst_PtySimulator::hangUpFault()
{
    PtySimulator sim;
    sim.faults().addFault(SimFault::HangUp, 2);
    QVERIFY(sim.start());
    QSignalSpy hung(&sim, &PtySimulator::hungUp);
    PtyClient c;
    QVERIFY(c.open(sim.slavePath(), 38400));
    rawCanMode(c);
    QVERIFY(c.exchange("FFFF\r").startsWith("FFFF"));
    QVERIFY(c.write("FFFF\r"));
    QTRY_COMPARE(hung.count(), 1);
    QVERIFY(!sim.isRunning());
    QVERIFY(c.hungUp());
}

void tst_PtySimulator::resets_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("cause"); // a fault, or "atz" with the port reopened after it
    QTest::addColumn<QByteArray>("output");

    const QByteArray v15 = "\r\n\r\nELM327 v1.5\r\n\r\n>";
    const QByteArray rv = "at rv\r\n12.6V\r\n\r\n>";
    // "at rv" is sent while the chip resets: kept and answered after the banner, except
    // during a power cut.
    QTest::newRow("slow ATZ, port reopened") << int(SimAdapter::Clone) << "atz" << v15 + rv;
    QTest::newRow("supply dip, clone") << int(SimAdapter::Clone) << "reset@1" << v15 + rv;
    QTest::newRow("supply dip, genuine") << int(SimAdapter::Genuine) << "reset@1"
                                         << "LV RESET\r\r\n\r\nELM327 v2.1\r\n\r\n>" + rv;
    QTest::newRow("power cut") << int(SimAdapter::Extended) << "powercut@1:150"
                               << QByteArray("\r\n\r\nELM327 v1.4b\r\n\r\n>");
}

// A reset takes 150 ms; the chip comes back with its power-up settings (echo, line feeds).
void tst_PtySimulator::resets()
{
    QFETCH(int, kind);
    QFETCH(QString, cause);
    QFETCH(QByteArray, output);

    PtySimulator sim;
    sim.adapter().setKind(SimAdapter::Kind(kind));
    sim.setResetDelayMs(150);
    SimFault fault;
    if (cause != "atz") {
        QVERIFY(SimFault::parse(cause, &fault, nullptr));
        sim.faults().addFault(fault);
    }
    QVERIFY(sim.start());
    PtyClient c;
    QVERIFY(c.open(sim.slavePath(), 38400));
    rawCanMode(c);
    if (cause == "atz") {
        QVERIFY(c.write("ATZ\r"));
        QTest::qWait(20);
        c.close();
        QVERIFY(c.open(sim.slavePath(), 38400));
    } else {
        QVERIFY(c.write("FFFF\r"));
    }
    QTest::qWait(20);
    QVERIFY(c.write("at rv\r"));
    QByteArray got = c.readFor(1000);
    if (got.size() < output.size())
        got += c.readFor(1000); // the answer after the banner's prompt
    QCOMPARE(got, output);
    QVERIFY(sim.adapter().echo());
    QVERIFY(sim.adapter().spaces());
    QVERIFY(sim.adapter().autoFormat());
    QCOMPARE(sim.adapter().receiveFilter(), QByteArray());
}

void tst_PtySimulator::pacingAtBaudRate()
{
    PtySimulator sim;
    sim.setBaudRate(9600);
    sim.setPacing(true);
    QVERIFY(sim.start());
    PtyClient c;
    QVERIFY(c.open(sim.slavePath(), 9600));
    QElapsedTimer t;
    t.start();
    // 5 bytes out and 41 back: 47.9 ms at 9600 baud.
    const QByteArray r = c.exchange("at@1\r");
    QCOMPARE(r, QByteArray("at@1\r\nOBDII to RS232 Interpreter\r\n\r\n>"));
    QVERIFY2(t.elapsed() >= (5 + r.size()) * 10 * 1000 / 9600,
             qPrintable(QString::number(t.elapsed())));
    QCOMPARE(sim.bytesSent(), r.size());
}

// Behind a wireless module the rate the client sets means nothing, every burst waits for the
// module each way, and a rate switch cannot pass it: the chip's identification at the new
// rate comes through as noise, the client's carriage return never reaches the chip at that
// rate, and the chip goes back to its old rate with a prompt the client can read.
void tst_PtySimulator::throughModule()
{
    PtySimulator sim;
    sim.adapter().setKind(SimAdapter::Genuine);
    sim.setModule(20, 20);
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    PtyClient c;
    QVERIFY(c.open(sim.slavePath(), 9600));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(c.exchange("ati\r"), QByteArray("ati\r\nELM327 v2.1\r\n\r\n>"));
    QVERIFY2(clock.elapsed() >= 40, "an answer came back faster than the module passes it");
    QVERIFY(c.exchange("at e0\r").endsWith("OK\r\n\r\n>"));

    QByteArray out = c.exchange("at brd 23\r", 500);
    QVERIFY2(out.startsWith("OK\r\n"), out.toHex(' ').constData());
    QVERIFY(c.setBaud(115200)); // as a link that believes the switch would
    c.write("\r");
    out = c.readFor(1000);
    QVERIFY2(out.endsWith(">"), out.toHex(' ').constData());
    QVERIFY2(std::any_of(out.cbegin(), out.cend(), [](char ch) { return uchar(ch) >= 0x80; }),
             "the identification at the new rate should come through as noise");
    QCOMPARE(sim.lineRate(), 38400);
    QVERIFY(c.exchange("ati\r").endsWith("ELM327 v2.1\r\n\r\n>"));

    sim.setModule(-1, -1); // without the module the client's rate counts again
    QCOMPARE(c.exchange("ati\r", 300), QByteArray());
}

QTEST_GUILESS_MAIN(tst_PtySimulator)
#include "tst_ptysimulator.moc"
