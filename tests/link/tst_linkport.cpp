// The link's port: which ports it lists and opens, line settings, baud-rate detection, and what
// happens when the link is closed, destroyed or loses its adapter.

#include "LinkHarness.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSettings>
#include <QSerialPortInfo>
#include <QTimer>
#include <QtTest>

using Commands = QList<QByteArray>;

namespace {

// The rates at which the peer saw the probe "ati", in order and without repeats.
QList<int> probeRates(const PtyPeer &peer)
{
    QList<int> rates;
    for (int i = 0; i < peer.commands().size(); ++i) {
        if (peer.commands().at(i) == "ati" &&
            (rates.isEmpty() || rates.last() != peer.commandRates().at(i)))
            rates << peer.commandRates().at(i);
    }
    return rates;
}

} // namespace

class LinkPortTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("kx4.link.debug=false"));
        QStandardPaths::setTestModeEnabled(true);
        // These tests pin the exchange without the line rate switch and response count.
        QSettings().setValue(QStringLiteral("Link/FastTransfers"), false);
    }
    void cleanup() { qunsetenv("KX4_EXTRA_PORTS"); }

    void portList();
    void lineSettings_data();
    void lineSettings();
    void closeAndDestroy();
    void adapterVanishes();
    void detectsRate();
    void detectionFindsNothing();
    void interruptedDetection_data();
    void interruptedDetection();
};

void LinkPortTest::portList()
{
    QStringList system;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        system << info.portName();

    qunsetenv("KX4_EXTRA_PORTS");
    QCOMPARE(availableSerialPorts(), system);
    qputenv("KX4_EXTRA_PORTS", "/tmp/kx4-a::/tmp/kx4-b:");
    QCOMPARE(availableSerialPorts(), system + QStringList({"/tmp/kx4-a", "/tmp/kx4-b"}));

    // Listed but absent, and not listed at all: nothing is opened, setup says so quietly.
    QSerialPort port;
    QVERIFY(!openPort(QStringLiteral("/tmp/kx4-a"), {}, &port));
    QVERIFY(!openPort(QStringLiteral("/tmp/kx4-unlisted"), {}, &port));
    QVERIFY(!port.isOpen());
    ELM327IOBase link;
    QSignalSpy connects(&link, &ELM327IOBase::connected);
    QSignalSpy disconnects(&link, &ELM327IOBase::disconnected);
    QVERIFY(!link.setup(QStringLiteral("/tmp/kx4-unlisted"), 38400));
    QCOMPARE(link.setupFailure(), ELM327IOBase::SetupPortMissing);
    QVERIFY(!link.isOpen());
    QCOMPARE(connects.count() + disconnects.count(), 0);

    // A device the system does not list (a pseudo-terminal, /dev/rfcomm0) opens by its path
    // all the same, whatever KX4_EXTRA_PORTS says.
    PtyPeer peer;
    QVERIFY(peer.isValid());
    qunsetenv("KX4_EXTRA_PORTS");
    QVERIFY(!availableSerialPorts().contains(peer.slavePath()));
    QVERIFY(link.setup(peer.slavePath(), 38400));
    QVERIFY(link.isOpen());
    QCOMPARE(connects.count(), 1);
    QTRY_VERIFY(peer.commands().contains("at rv"));
    link.close();
    QCOMPARE(disconnects.count(), 0);
}

void LinkPortTest::lineSettings_data()
{
    QTest::addColumn<QVariantHash>("params");
    QTest::addColumn<int>("baud");
    QTest::addColumn<char>("parity");
    QTest::addColumn<QSerialPort::DataBits>("bits");
    QTest::addColumn<bool>("twoStop");
    QTest::addColumn<int>("flow");

    QTest::newRow("defaults") << QVariantHash{} << 115200 << 'N' << QSerialPort::Data8 << false
                              << 0;
    QTest::newRow("even, 7 bits, two stop, hardware")
        << QVariantHash{{"COM/Baud", 19200},
                        {"COM/Parity", 2},
                        {"COM/Bits", 7},
                        {"COM/StopBits", 2},
                        {"COM/FlowCtrl", 1}}
        << 19200 << 'E' << QSerialPort::Data7 << true << 1;
    QTest::newRow("odd, 5 bits, software") << QVariantHash{{"COM/Baud", 57600},
                                                           {"COM/Parity", 3},
                                                           {"COM/Bits", 5},
                                                           {"COM/FlowCtrl", 2}}
                                           << 57600 << 'O' << QSerialPort::Data5 << false << 2;
    QTest::newRow("values out of range fall back")
        << QVariantHash{{"COM/Baud", 9600},
                        {"COM/Parity", 1},
                        {"COM/Bits", 9},
                        {"COM/StopBits", 0},
                        {"COM/FlowCtrl", 7}}
        << 9600 << 'N' << QSerialPort::Data8 << false << 0;
}

void LinkPortTest::lineSettings()
{
    QFETCH(QVariantHash, params);
    QFETCH(int, baud);
    QFETCH(char, parity);
    QFETCH(QSerialPort::DataBits, bits);
    QFETCH(bool, twoStop);
    QFETCH(int, flow);

    PtyPeer peer;
    qputenv("KX4_EXTRA_PORTS", peer.slavePath().toLocal8Bit());
    QSerialPort port;
    QVERIFY(openPort(peer.slavePath(), params, &port));
    QVERIFY(port.isOpen());
    QCOMPARE(port.openMode(), QIODevice::ReadWrite);

    const termios t = peer.lineSettings();
    QCOMPARE(peer.baudRate(), baud);
    QCOMPARE(port.dataBits(), bits);
    // A pseudo-terminal always reports 8 bits without parity: those two are read from the port.
    const QSerialPort::Parity expectedParity = parity == 'E'   ? QSerialPort::EvenParity
                                               : parity == 'O' ? QSerialPort::OddParity
                                                               : QSerialPort::NoParity;
    QCOMPARE(port.parity(), expectedParity);
    QCOMPARE(bool(t.c_cflag & CSTOPB), twoStop);
    QCOMPARE(bool(t.c_cflag & CRTSCTS), flow == 1);
    QCOMPARE(bool(t.c_iflag & IXON), flow == 2);
}

// Closing or destroying the link resets the adapter with "ATZ" and reports no disconnection.
void LinkPortTest::closeAndDestroy()
{
    LinkHarness h;
    QSignalSpy disconnects(&h.link, &ELM327IOBase::disconnected);
    QVERIFY(h.link.setup(h.peer.slavePath(), 38400));
    QVERIFY(h.link.isBusy()); // initialisation still queued
    h.link.close();
    QVERIFY(!h.link.isOpen());
    QVERIFY(!h.link.isBusy());
    // Closed before the line was drained: nothing but the reset went out.
    QTRY_COMPARE(h.peer.received(), QByteArray("ATZ\r"));
    h.link.close();
    h.link.writeHEX(QByteArray::fromHex("0102")); // closed: kept, not written
    QCOMPARE(disconnects.count(), 0);

    QVERIFY(h.start());
    h.link.writeHEX(QByteArray::fromHex("0102"));
    h.link.writeHEX(QByteArray::fromHex("0304"));
    QVERIFY(h.link.isBusy());
    h.link.close();
    QVERIFY(!h.link.isBusy());
    QTRY_COMPARE(h.peer.received(), QByteArray("0102\rATZ\r"));
    QCOMPARE(disconnects.count(), 0);

    PtyPeer peer;
    qputenv("KX4_EXTRA_PORTS", peer.slavePath().toLocal8Bit());
    auto *link = new ELM327IOBase;
    QSignalSpy gone(link, &ELM327IOBase::disconnected);
    QVERIFY(link->setup(peer.slavePath(), 38400));
    delete link;
    QCOMPARE(gone.count(), 0);
    QTRY_COMPARE(peer.received(), QByteArray("ATZ\r"));
}

void LinkPortTest::adapterVanishes()
{
    LinkHarness h;
    QVERIFY(h.start());
    QSignalSpy disconnects(&h.link, &ELM327IOBase::disconnected);
    h.link.writeHEX(QByteArray::fromHex("ffff"));
    h.peer.closeMaster();
    QVERIFY(disconnects.wait(3000));
    QCOMPARE(disconnects.count(), 1);
    QVERIFY(!h.link.isOpen());
}

// Only 38400 draws an answer. The link probes 9600 and 19200 in vain, finds the adapter at
// 38400, reopens the port there and initialises the adapter at that rate. A second setup
// started from an event during the probing is refused; a frame written from an event waits
// until the adapter is initialised.
void LinkPortTest::detectsRate()
{
    LinkHarness h;
    h.peer.responder = [](const QByteArray &c, int baud) {
        if (baud != 38400)
            return QByteArray();
        return c == "FFFF" ? QByteArray("7E01\r\r>") : PtyPeer::adapterAnswer(c);
    };
    QStringList events;
    QObject::connect(&h.link, &ELM327IOBase::disconnected, [&] { events << "disconnected"; });
    QObject::connect(&h.link, &ELM327IOBase::connected, [&] { events << "connected"; });
    QObject::connect(&h.link, &ELM327IOBase::ready, [&] { events << "ready"; });
    bool nested = true;
    int ticks = 0;
    QTimer::singleShot(300, [&] { nested = h.link.setup(h.peer.slavePath(), 9600); });
    QTimer::singleShot(400, [&] { h.link.writeHEX(QByteArray::fromHex("ffff")); });
    QSignalSpy reads(&h.link, &ELM327IOBase::read);
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);

    QVERIFY(h.link.setup(h.peer.slavePath(), 0, true, false));
    QCOMPARE(events, (QStringList{"disconnected", "connected"}));
    QVERIFY(!nested);
    QVERIFY2(ticks >= 10, "events were not processed while probing");
    QCOMPARE(h.port()->baudRate(), 38400);
    QCOMPARE(probeRates(h.peer), (QList<int>{9600, 19200, 38400}));

    QTRY_COMPARE(events.size(), 3);
    QCOMPARE(events.last(), QStringLiteral("ready"));
    const Commands all = h.peer.commands();
    const int init = all.lastIndexOf("atws");
    QVERIFY(init > 1);
    // The warm start sent after the probe, then the link's synchronising command.
    QCOMPARE(all.mid(init - 2, 2), (Commands{"atws", "at rv"}));
    QCOMPARE(all.mid(init), (Commands{"atws", "at e0", "at s0", "at h0", "at l0", "at d0",
                                      "at at 0", "at st ff", "at tp6", "at sh 74d", "at cra 745",
                                      "at at1", "at al", "at caf0", "at cfc0", "FFFF"}));
    QCOMPARE(reads.count(), 1);
    for (int i = init - 2; i < all.size(); ++i)
        QCOMPARE(h.peer.commandRates().at(i), 38400);
}

// No rate answers: every rate is tried, the port is closed and the link works normally on the
// next setup (its data and error connections are back).
void LinkPortTest::detectionFindsNothing()
{
    LinkHarness h;
    QSignalSpy disconnects(&h.link, &ELM327IOBase::disconnected);
    QSignalSpy connects(&h.link, &ELM327IOBase::connected);
    QVERIFY(!h.link.setup(h.peer.slavePath(), 0));
    QVERIFY(!h.link.isOpen());
    QCOMPARE(disconnects.count(), 1);
    QCOMPARE(connects.count(), 0);
    const QList<int> probed = probeRates(h.peer);
    for (int rate : {9600, 19200, 38400, 57600, 115200, 500000, 1000000, 2000000, 4000000})
        QVERIFY2(probed.contains(rate), QByteArray::number(rate).constData());
    QVERIFY(!h.peer.commands().contains("atws"));

    QVERIFY(h.start());
    QSignalSpy reads(&h.link, &ELM327IOBase::read);
    h.link.writeHEX(QByteArray::fromHex("ffff"));
    QTRY_COMPARE(h.peer.received(), QByteArray("FFFF\r"));
    QVERIFY(h.feed("0102\r\r>"));
    QCOMPARE(reads.count(), 1);
    h.peer.closeMaster();
    QTRY_COMPARE(disconnects.count(), 2);
    QVERIFY(!h.link.isOpen());
}

void LinkPortTest::interruptedDetection_data()
{
    QTest::addColumn<QString>("cause");
    QTest::newRow("adapter vanishes") << "vanish";
    QTest::newRow("closed by an event") << "close";
    QTest::newRow("deleted by an event") << "delete";
}

// Whatever ends the probing early, setup returns false at once and nothing crashes.
void LinkPortTest::interruptedDetection()
{
    QFETCH(QString, cause);

    PtyPeer peer;
    qputenv("KX4_EXTRA_PORTS", peer.slavePath().toLocal8Bit());
    QPointer<ELM327IOBase> link = new ELM327IOBase;
    QSignalSpy disconnects(link.data(), &ELM327IOBase::disconnected);
    QSignalSpy connects(link.data(), &ELM327IOBase::connected);
    if (cause == "vanish") {
        peer.responder = [&](const QByteArray &, int) {
            QTimer::singleShot(0, &peer, [&] { peer.closeMaster(); });
            return QByteArray();
        };
    } else {
        QTimer::singleShot(250, link.data(), [&] {
            if (cause == "close")
                link->close();
            else
                delete link.data();
        });
    }

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!link->setup(peer.slavePath(), 0));
    QVERIFY2(clock.elapsed() < 3000, QByteArray::number(clock.elapsed()).constData());
    QCOMPARE(connects.count(), 0);
    if (cause == "delete") {
        QVERIFY(link.isNull());
        QTRY_VERIFY(peer.received().endsWith("ATZ\r"));
        return;
    }
    QVERIFY(!link->isOpen());
    QCOMPARE(disconnects.count(), cause == "vanish" ? 1 : 0);
    QTRY_VERIFY(cause == "vanish" || peer.received().endsWith("ATZ\r"));
    delete link.data();
}

QTEST_GUILESS_MAIN(LinkPortTest)
#include "tst_linkport.moc"
