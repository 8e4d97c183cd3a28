#include "PtyClient.h"
#include "link/ELM327IOBase.h"
#include "sim/PtySimulator.h"
#include "sim/SimFamily.h"
#include "sim/SimStateFile.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <csignal>

// kx4-sim as a separate program: what the demo script and a person at the terminal rely on.
class tst_SimProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void helpAndBadOptions();
    void families_data();
    void families();
    void servesLinkKeepsStateAndCleansUp();
    void refusesUnreadableStateWithoutTouchingIt();
    void hangUpSignalEndsUpdateMode();
    void servesTcpOneClientAtATime();
    void connectsThroughAModule_data();
    void connectsThroughAModule();

private:
    // Starts kx4-sim and returns the slave path (with --tcp the address) it prints, empty on
    // failure.
    static QString startSim(QProcess &p, const QStringList &args);
    // Connects the tool's link through `port`, sends `frame` and returns the reply frame.
    static QByteArray exchange(const QString &port, uint baud, const QByteArray &frame);
};

QString tst_SimProgram::startSim(QProcess &p, const QStringList &args)
{
    p.setProgram(QStringLiteral(KX4_SIM_PROGRAM));
    p.setArguments(args);
    p.start();
    if (!p.waitForStarted(5000))
        return QString();
    QDeadlineTimer deadline(5000);
    while (!p.canReadLine() && p.state() == QProcess::Running && !deadline.hasExpired())
        p.waitForReadyRead(100);
    return QString::fromLocal8Bit(p.readLine()).trimmed();
}

QByteArray tst_SimProgram::exchange(const QString &port, uint baud, const QByteArray &frame)
{
    if (!port.startsWith(QLatin1String("tcp://"))) {
        qputenv("KX4_EXTRA_PORTS", port.toLocal8Bit());
        if (!availableSerialPorts().contains(port))
            return "not listed";
    }
    ELM327IOBase link(nullptr);
    QSignalSpy ready(&link, &ELM327IOBase::ready);
    QSignalSpy reads(&link, &ELM327IOBase::read);
    if (!link.setup(port, baud, true, false))
        return "setup failed";
    if (!ready.wait(5000) && ready.isEmpty())
        return "not ready";
    link.writeHEX(frame);
    if (!reads.wait(3000))
        return "no reply";
    link.close();
    return reads.first().first().toByteArray();
}

void tst_SimProgram::helpAndBadOptions()
{
    QProcess p;
    p.start(QStringLiteral(KX4_SIM_PROGRAM), {QStringLiteral("--help")});
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(p.readAllStandardOutput());
    for (const char *option :
         {"--baud", "--family", "--kind", "--pages", "--count", "--disp", "--version", "--link",
          "--state", "--pacing", "--latency-us", "--fault", "--seed", "--restart-silence-ms",
          "--reset-ms", "--ack30-01", "--tcp", "--verbose"}) {
        QVERIFY2(help.contains(QLatin1String(option)), option);
    }

    const QList<QStringList> bad = {{"--baud", "fast"},
                                    {"--pages", "17"},
                                    {"--kind", "obdlink"},
                                    {"--family", "clone-v1.5+usb"},
                                    {"--family", "v1.5"},
                                    {"--fault", "drop"},
                                    {"--fault", "melt@1"},
                                    {"--random-faults", "2"},
                                    {"--reset-ms", "-5"},
                                    {"stray-argument"},
                                    {"--tcp", "example.org:35000"},
                                    {"--tcp", "127.0.0.1:65536"}};
    for (const QStringList &args : bad) {
        p.start(QStringLiteral(KX4_SIM_PROGRAM), args);
        QVERIFY(p.waitForFinished(5000));
        QVERIFY2(p.exitCode() != 0, qPrintable(args.join(' ')));
        const QByteArray error = p.readAllStandardError();
        QVERIFY(!error.isEmpty());
        // An unknown family: the error names every known one and the modules.
        if (args.first() == QLatin1String("--family")) {
            for (const QString &name : SimFamily::baseNames())
                QVERIFY2(error.contains(name.toLatin1()), error.constData());
            QVERIFY2(error.contains("+bt") && error.contains("+wifi"), error.constData());
        }
    }
}

void tst_SimProgram::families_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QByteArray>("ati");
    QTest::addColumn<QByteArray>("rv");           // what "at rv" draws, before the prompt
    QTest::addColumn<QByteArray>("count");        // ... the device information with the digit
    QTest::addColumn<QByteArray>("brd");          // ... "at brd 08", at the old rate
    QTest::addColumn<int>("moduleMs");            // each way; -1: none
    const QByteArray info = "FFFF011000000000\r"; // version 1, 16 pages
    QTest::newRow("genuine v1.5") << "genuine-v1.5" << QByteArray("ELM327 v1.5")
                                  << QByteArray("12.6V\r") << info << QByteArray("OK\r") << -1;
    QTest::newRow("genuine v2.1") << "Genuine-V2.1" << QByteArray("ELM327 v2.1")
                                  << QByteArray("12.6V\r") << info << QByteArray("OK\r") << -1;
    QTest::newRow("clone, Bluetooth")
        << "clone-v1.5+bt" << QByteArray("ELM327 v1.5") << QByteArray("12.6V\r")
        << QByteArray("?\r") << QByteArray("?\r") << 20;
    QTest::newRow("extended, NO DATA to the digit")
        << "extended-nodata" << QByteArray("ELM327 v1.4b") << QByteArray("12.6V\r")
        << QByteArray("NO DATA\r") << QByteArray("OK\r") << -1;
    QTest::newRow("gateway, Wi-Fi") << "gateway+wifi" << QByteArray("ELM327 v2.1") << QByteArray()
                                    << info << QByteArray("?\r") << 5;
    QTest::newRow("extended") << "extended" << QByteArray("ELM327 v1.4b") << QByteArray("12.6V\r")
                              << info << QByteArray("OK\r") << -1;
}

// What each family answers to the commands that tell adapters apart, as sim/README.md has it.
void tst_SimProgram::families()
{
    QFETCH(QString, family);
    QFETCH(QByteArray, ati);
    QFETCH(QByteArray, rv);
    QFETCH(QByteArray, count);
    QFETCH(QByteArray, brd);
    QFETCH(int, moduleMs);
    SimFamily f;
    QVERIFY(SimFamily::find(family, &f));
    PtySimulator sim;
    f.applyTo(sim);
    QCOMPARE(sim.hasModule(), moduleMs >= 0);
    QCOMPARE(sim.moduleUpMs(), qMax(0, moduleMs));
    QCOMPARE(sim.moduleDownMs(), qMax(0, moduleMs));
    SimAdapter &a = sim.adapter();
    auto answer = [&a](const QByteArray &command) {
        QByteArray out;
        for (const SimAdapter::Output &o : a.receive(command + "\r"))
            out += o.bytes;
        return out;
    };
    for (const char *command : {"at e0", "at s0", "at l0", "at tp6", "at sh 74d", "at cra 745",
                                "at al", "at caf0", "at cfc0"})
        answer(command);
    QCOMPARE(answer("ati"), ati + "\r\r>");
    QCOMPARE(answer("at rv"), rv + "\r>");
    QCOMPARE(answer("FFFF1"), count + "\r>");
    QVERIFY2(answer("at brd 08").startsWith(brd), qPrintable(family));
}

void tst_SimProgram::servesLinkKeepsStateAndCleansUp()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("adapter"));
    const QString state = dir.filePath(QStringLiteral("dash.json"));
    const QStringList args = {QStringLiteral("--baud"),  QStringLiteral("57600"),
                              QStringLiteral("--link"),  link,
                              QStringLiteral("--state"), state};
    {
        QProcess p;
        const QString slave = startSim(p, args);
        QVERIFY(!slave.isEmpty());
        QCOMPARE(QFileInfo(link).symLinkTarget(), slave);
        // Rate detection ("Automatic") through the symlink; a block write is acknowledged.
        QCOMPARE(exchange(link, 0, QByteArray::fromHex("00C4A1A2A3A4A5A6")),
                 QByteArray::fromHex("30000004FFFFFFFF"));
        // SIGUSR1 asks for the traffic counters (the benchmark's source) and keeps serving:
        // the one frame, after the adapter's initialisation commands and the ATZ at close.
        p.setReadChannel(QProcess::StandardError);
        p.readAll();
        ::kill(pid_t(p.processId()), SIGUSR1);
        QByteArray stats;
        QDeadlineTimer statsDeadline(5000);
        while (!stats.contains('\n') && !statsDeadline.hasExpired()) {
            p.waitForReadyRead(100);
            stats += p.readAll();
        }
        QVERIFY2(stats.startsWith("stats: exchanges="), stats.constData());
        QVERIFY2(stats.contains(" requests=1 "), stats.constData());
        QCOMPARE(p.state(), QProcess::Running);
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
    SimDashboard saved;
    QVERIFY(SimStateFile::load(state, saved, nullptr));
    QCOMPARE(saved.readMemory(0x0400, 6), QByteArray::fromHex("A1A2A3A4A5A6"));
    {
        // The next run starts from the saved memory; a fixed rate connects at once.
        QProcess p;
        QVERIFY(!startSim(p, args).isEmpty());
        QCOMPARE(exchange(link, 57600, QByteArray::fromHex("0044FFFFFFFFFFFF")),
                 QByteArray::fromHex("0044A1A2A3A4A5A6"));
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
    }
    qunsetenv("KX4_EXTRA_PORTS");
}

void tst_SimProgram::refusesUnreadableStateWithoutTouchingIt()
{
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("dash.json"));
    QFile f(state);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("{\"format\":\"kx4-sim-state\",\"version\":1,\"memory\":\"@@not base64@@\"}");
    f.close();
    const QByteArray before = [&] {
        QFile r(state);
        r.open(QIODevice::ReadOnly);
        return r.readAll();
    }();
    QProcess p;
    p.start(QStringLiteral(KX4_SIM_PROGRAM), {QStringLiteral("--state"), state});
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(p.readAllStandardError().contains("memory"));
    QFile r(state);
    QVERIFY(r.open(QIODevice::ReadOnly));
    QCOMPARE(r.readAll(), before);
}

void tst_SimProgram::hangUpSignalEndsUpdateMode()
{
    QProcess p;
    const QString slave = startSim(p, {QStringLiteral("--timeout-ms"), QStringLiteral("20")});
    QVERIFY(!slave.isEmpty());
    PtyClient c;
    QVERIFY(c.open(slave, 38400));
    for (const char *cmd : {"ate0\r", "atl0\r", "ats0\r", "atcaf0\r", "atsh74d\r", "attp6\r"})
        QVERIFY(c.exchange(cmd).endsWith(">"));
    QCOMPARE(c.exchange("0110\r"), QByteArray("NO DATA\r\r>")); // into update mode
    QCOMPARE(c.exchange("FFFF\r"), QByteArray("NO DATA\r\r>"));
    ::kill(pid_t(p.processId()), SIGHUP);
    QByteArray reply;
    for (int i = 0; i < 50 && !reply.startsWith("FFFF"); ++i)
        reply = c.exchange("FFFF\r");
    QVERIFY2(reply.startsWith("FFFF01"), reply.constData());
    QCOMPARE(p.state(), QProcess::Running);
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
}

void tst_SimProgram::servesTcpOneClientAtATime()
{
    // A gateway behind a Wi-Fi module, as such adapters are sold.
    QProcess p;
    const QString url = startSim(p, {QStringLiteral("--tcp"), QStringLiteral("0"),
                                     QStringLiteral("--family"), QStringLiteral("gateway+wifi")});
    QVERIFY2(url.startsWith(QLatin1String("tcp://127.0.0.1:")), qPrintable(url));
    const quint16 port = quint16(QUrl(url).port());
    QVERIFY(port > 0);

    // The tool's link, as to a Wi-Fi adapter: no rate to find, a block write acknowledged.
    QCOMPARE(exchange(url, 0, QByteArray::fromHex("00C4A1A2A3A4A5A6")),
             QByteArray::fromHex("30000004FFFFFFFF"));

    // A client that the adapter serves (the link's connection may still be on its way out,
    // and until it is gone a new one is closed at once).
    QTcpSocket first;
    QByteArray answer;
    for (int attempt = 0; attempt < 50 && !answer.contains('>'); ++attempt) {
        first.abort();
        answer.clear();
        first.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(first.waitForConnected(5000));
        first.write("ati\r");
        while (!answer.contains('>') && first.waitForReadyRead(1000))
            answer += first.readAll();
    }
    QVERIFY2(answer.contains("ELM327 v2.1"), answer.constData());

    // One client at a time: another connection is closed at once, the first one goes on.
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(second.waitForConnected(5000));
    QVERIFY(second.state() == QAbstractSocket::UnconnectedState ||
            second.waitForDisconnected(5000));
    answer.clear();
    first.write("ati\r");
    while (!answer.contains('>') && first.waitForReadyRead(1000))
        answer += first.readAll();
    QVERIFY2(answer.contains("ELM327"), answer.constData());

    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
}

void tst_SimProgram::connectsThroughAModule_data()
{
    QTest::addColumn<QString>("module");
    QTest::addColumn<uint>("baud"); // 0: "Automatic"
    QTest::addColumn<bool>("switchTried");
    // A module answers at every rate: detection takes the first, and no late answer to a
    // probe passes for a reset. Commands that take a module's round trip: no rate switch
    // (at 9600 bit/s the line's own time may hide the module's: then it is tried).
    QTest::newRow("bluetooth, automatic") << "bluetooth" << 0u << false;
    QTest::newRow("100 ms each way, automatic") << "100,100" << 0u << false;
    // Too fast to tell from a cable by its answers: the switch is tried, its prompt comes
    // when the chip gives up, and the line goes on at the old rate.
    QTest::newRow("wi-fi, 38400: the switch falls back") << "wifi" << 38400u << true;
}

// The tool's link through the simulator's model of a wireless module, with a genuine chip
// that takes "at brd" behind it at 38400: the connect succeeds, the line rate reported is
// none (the port's rate means nothing there), and a frame is answered.
void tst_SimProgram::connectsThroughAModule()
{
    QFETCH(QString, module);
    QFETCH(uint, baud);
    QFETCH(bool, switchTried);
    QSettings().setValue(QStringLiteral("Link/FastTransfers"), true);
    QProcess p;
    const QString port = startSim(p, {QStringLiteral("--module"), module, QStringLiteral("--kind"),
                                      QStringLiteral("genuine"), QStringLiteral("--chip-model")});
    QVERIFY(!port.isEmpty());
    qputenv("KX4_EXTRA_PORTS", port.toLocal8Bit());
    {
        ELM327IOBase link(nullptr);
        link.setStrictMode(true);
        QSignalSpy ready(&link, &ELM327IOBase::ready);
        QSignalSpy reads(&link, &ELM327IOBase::read);
        QSignalSpy errors(&link, &ELM327IOBase::error);
        QSignalSpy resets(&link, &ELM327IOBase::adapterReset);
        QVERIFY(link.setup(port, baud, true, false));
        QVERIFY(ready.wait(15000) || !ready.isEmpty());
        QCOMPARE(errors.count(), 0);
        QCOMPARE(resets.count(), 0);
        QVERIFY(link.rateIsVirtual());
        QCOMPARE(link.lineRate(), 0);
        link.writeRequest(QByteArray::fromHex("FFFF"), 1);
        QVERIFY(reads.wait(3000));
        QCOMPARE(reads.first().first().toByteArray().left(2), QByteArray::fromHex("FFFF"));

        qint64 asked = -1;
        qint64 back = -1; // in step again after the attempt: the next exchange may go
        bool failed = false;
        for (const LinkRecorder::Entry &e : link.recorder().entries()) {
            QVERIFY2(!e.bytes.contains("rate switched"), e.bytes.constData());
            if (e.kind == LinkRecorder::Sent && e.bytes.startsWith("at brd"))
                asked = e.ms;
            failed = failed || (e.kind == LinkRecorder::Event && e.bytes.contains("means nothing"));
            if (failed && back < 0 && e.kind == LinkRecorder::Event && e.bytes.startsWith("in step"))
                back = e.ms;
        }
        if (switchTried)
            QVERIFY(asked >= 0);
        // Out of an attempt, in step again, within a second.
        if (asked >= 0) {
            QVERIFY(back >= asked);
            QVERIFY2(back - asked < 1000, qPrintable(QString::number(back - asked)));
        }
        link.close();
    }
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(5000));
    qunsetenv("KX4_EXTRA_PORTS");
}

QTEST_GUILESS_MAIN(tst_SimProgram)
#include "tst_simprogram.moc"
