// The link's traffic record and the diagnostics report: the ring keeps the newest entries
// within its bounds, its text form, the report after a failed session, and that recording
// leaves the bytes on the line exactly as they are without it.

#include "link/LinkRecorder.h"
#include "tests/common/NonRegularFiles.h"
#include "tests/common/SimSession.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

LinkRecorder &recorderOf(CFGRunner &runner)
{
    return runner.findChild<ELM327IOBase *>()->recorder();
}

QByteArray joined(const QList<LinkRecorder::Entry> &entries, LinkRecorder::Kind kind)
{
    QByteArray bytes;
    for (const LinkRecorder::Entry &e : entries)
        if (e.kind == kind)
            bytes += e.bytes;
    return bytes;
}

// Everything the link wrote to the simulated adapter and read from it.
struct Wire
{
    explicit Wire(PtySimulator &sim)
    {
        QObject::connect(&sim, &PtySimulator::bytesReceivedFrom, &sim,
                         [this](const QByteArray &b) { toAdapter += b; });
        QObject::connect(&sim, &PtySimulator::bytesSentTo, &sim,
                         [this](const QByteArray &b) { fromAdapter += b; });
    }
    QByteArray toAdapter;
    QByteArray fromAdapter;
};

} // namespace

class TestDiagnostics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void ringBounds();
    void entryText_data();
    void entryText();
    void ringUnderExport_data();
    void ringUnderExport();
    void reportAfterFault();
    void reportKeepsNoFolder_data();
    void reportKeepsNoFolder();
    void recordingLeavesWireUnchanged();

private:
    bool exportBackup(SimSession &s);

    QTemporaryDir m_home;
};

void TestDiagnostics::initTestCase()
{
    QLoggingCategory::setFilterRules("kx4.*.debug=false");
    // A home folder named like a person, with a space and an apostrophe, which no report
    // may show.
    QVERIFY(m_home.isValid());
    const QString home = m_home.filePath("Zelda O'Brien");
    QVERIFY(QDir().mkpath(home));
    qputenv("HOME", home.toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("Veltro");
    QCoreApplication::setApplicationName("VeltroKX4");
}

// Exports and waits until the link is back at rest with the runner Idle.
bool TestDiagnostics::exportBackup(SimSession &s)
{
    bool done = false;
    bool rested = false;
    const QList<QMetaObject::Connection> watches = {
        connect(&s.runner(), &CFGRunner::alert, this,
                [&done](const QString &m) { done = m.startsWith("Export complete!"); }),
        connect(s.runner().findChild<ELM327IOBase *>(), &ELM327IOBase::ready, this,
                [&] { rested = done && s.runner().getState() == CFGRunner::Idle; })};
    const bool ok =
        s.runner().exportConfig(true) && SimSession::waitUntil([&] { return rested; }, 60000);
    for (const auto &w : watches)
        disconnect(w);
    return ok;
}

// Synthetic entries: the oldest go first, whichever bound is reached, and an entry that
// wraps around the end of the byte ring comes back whole.
void TestDiagnostics::ringBounds()
{
    LinkRecorder r(4, 20);
    QCOMPARE(r.count(), 0);
    for (const char *chunk : {"aaaaa", "bbbbb", "ccccc", "ddddd", "eeeee"})
        r.received(chunk);
    // Five of 5 bytes: the entry bound (4) drops "aaaaa".
    QCOMPARE(r.count(), 4);
    QCOMPARE(joined(r.entries(), LinkRecorder::Received), QByteArray("bbbbbcccccdddddeeeee"));

    r.sent("0123456789\r"); // 11 bytes: only "eeeee" still fits beside it
    QCOMPARE(r.count(), 2);
    QCOMPARE(r.bytes(), 16);
    QCOMPARE(r.entries().at(0).bytes, QByteArray("eeeee"));
    QCOMPARE(r.entries().at(1).bytes, QByteArray("0123456789\r")); // wrapped at byte 20
    QCOMPARE(r.entries().at(1).kind, LinkRecorder::Sent);

    // Larger than the whole ring: its newest bytes stay.
    r.received(QByteArray(25, 'x') + "END");
    QCOMPARE(r.count(), 1);
    QCOMPARE(r.entries().at(0).bytes, QByteArray(17, 'x') + "END");

    r.setEnabled(false);
    r.event("not kept");
    r.sent("not kept");
    QCOMPARE(r.count(), 1);
}

void TestDiagnostics::entryText_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("line written") << int(LinkRecorder::Sent) << qint64(12345)
                                  << QByteArray("0040FFFFFFFFFFFF\r")
                                  << "12.345 -> 0040FFFFFFFFFFFF";
    QTest::newRow("bare carriage return")
        << int(LinkRecorder::Sent) << qint64(7) << QByteArray("\r") << "0.007 -> \\r";
    QTest::newRow("chunk read") << int(LinkRecorder::Received) << qint64(12356)
                                << QByteArray("4000112233445566\r\r>")
                                << "12.356 <- 4000112233445566\\r\\r>";
    QTest::newRow("padding and noise")
        << int(LinkRecorder::Received) << qint64(61000) << QByteArray("\0OK\r\n\\\xff", 7)
        << "61.000 <- \\x00OK\\r\\n\\\\\\xFF";
    QTest::newRow("event") << int(LinkRecorder::Event) << qint64(1002)
                           << QString("alert: Ошибка\nсвязи").toUtf8()
                           << "1.002 -- alert: Ошибка связи";
}

void TestDiagnostics::entryText()
{
    QFETCH(int, kind);
    QFETCH(qint64, ms);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(LinkRecorder::format({ms, LinkRecorder::Kind(kind), bytes}), text);
}

// A 16-page export (some 5,500 entries) through rings too small for it: what is kept is
// exactly the newest stretch of the traffic on the line, within both bounds.
void TestDiagnostics::ringUnderExport_data()
{
    QTest::addColumn<int>("maxEntries");
    QTest::addColumn<int>("maxBytes");
    QTest::newRow("entries bound") << 1000 << 1024 * 1024;
    QTest::newRow("bytes bound") << 20000 << 8 * 1024;
    QTest::newRow("default bounds")
        << LinkRecorder::DefaultMaxEntries << LinkRecorder::DefaultMaxBytes;
}

void TestDiagnostics::ringUnderExport()
{
    QFETCH(int, maxEntries);
    QFETCH(int, maxBytes);

    SimSession s;
    QVERIFY2(s.start(), qPrintable(s.errorString()));
    QCOMPARE(s.dashboard().pages(), 16);
    LinkRecorder &rec = recorderOf(s.runner());
    rec.setLimits(maxEntries, maxBytes);
    Wire wire(s.sim());
    QVERIFY(s.connectRunner());
    QVERIFY(exportBackup(s));

    const QList<LinkRecorder::Entry> entries = rec.entries();
    QVERIFY(rec.count() <= maxEntries);
    QVERIFY(rec.bytes() <= maxBytes);
    qint64 held = 0;
    for (int i = 0; i < entries.size(); ++i) {
        held += entries.at(i).bytes.size();
        if (i > 0)
            QVERIFY(entries.at(i).ms >= entries.at(i - 1).ms);
    }
    QCOMPARE(held, rec.bytes());

    const QByteArray sent = joined(entries, LinkRecorder::Sent);
    const QByteArray received = joined(entries, LinkRecorder::Received);
    QVERIFY(wire.toAdapter.endsWith(sent));
    QVERIFY(wire.fromAdapter.endsWith(received));
    QVERIFY(!sent.isEmpty() && !received.isEmpty());

    if (maxBytes == LinkRecorder::DefaultMaxBytes) {
        // Nothing dropped: the whole session from the connect on.
        QCOMPARE(sent, wire.toAdapter);
        QCOMPARE(received, wire.fromAdapter);
        QVERIFY(entries.first().bytes.startsWith("connect at 38400"));
    } else {
        // Full up to the bound that held it back: one entry more would not fit.
        const bool entriesFull = rec.count() == maxEntries;
        const bool bytesFull = rec.bytes() + 64 > maxBytes;
        QVERIFY2(entriesFull || bytesFull,
                 qPrintable(QString("%1 entries, %2 bytes").arg(rec.count()).arg(rec.bytes())));
        QVERIFY(sent.size() < wire.toAdapter.size());
    }
}

// A session ended by an adapter fault: the saved report holds the program, the port, the
// adapter and the dashboard, and the fault's lines; it names no folder but the backups'.
void TestDiagnostics::reportAfterFault()
{
    QSettings().clear();
    QSettings().setValue("CAN/HostAddress", 1869);
    QSettings().setValue("Link/Unknown", "listed");
    SimSession s;
    QVERIFY2(s.start(), qPrintable(s.errorString()));
    QVERIFY(s.connectRunner());
    // A picture path under the user's home: the alert names it, the report must not.
    s.runner().loadSplash(QDir::home().filePath("Pictures/logo.png"));
    s.runner().loadSplash("C:\\Users\\Kx4 Tester Name\\Pictures\\splash.png");

    // The adapter resets at the export's first request (the link recovers), and five
    // requests later every frame draws "CAN ERROR".
    s.sim().faults().addFault(SimFault::AdapterReset, s.sim().requestCount() + 1);
    s.sim().faults().addFault(SimFault::CanError, s.sim().requestCount() + 6, 0);
    QVERIFY(s.runner().exportConfig(true));
    QVERIFY(s.waitForState(CFGRunner::NotConnected));

    const QString file = m_home.filePath("report.txt");
    QCOMPARE(s.runner().saveDiagnostics(QUrl::fromLocalFile(file).toString()), QString());
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString report = QString::fromUtf8(f.readAll());
    if (qEnvironmentVariableIsSet("KX4_TEST_OUTPUT")) { // a sample for a person to read
        const QString sample = qEnvironmentVariable("KX4_TEST_OUTPUT") + "/diagnostics-report.txt";
        QFile::remove(sample);
        QFile::copy(file, sample);
    }
    const QStringList lines = report.split('\n');

    for (const QString &expected :
         {QString("Program: VeltroKX4 0.2.0, current edition"),
          QString("Qt: %1 (built with %2)").arg(qVersion(), QT_VERSION_STR),
          QString("  Kind: serial"),
          QString("  Settings: 38400 bit/s, 8 data bits, no parity, 1 stop bit, no flow control"),
          QString("Adapter: ELM327 v1.5"),
          QString("Dashboard: version 1, pages 16, count 0, disp 0, r4 0, r5 0"),
          QString("  CAN/HostAddress: 1869"), QString("  CAN/DeviceAddress: (not set)"),
          QString("  Link/Unknown: listed"), QString("  backup folder: VeltroKX4")})
        QVERIFY2(lines.contains(expected), qPrintable(expected + "\n---\n" + report.left(1500)));
    QVERIFY(report.contains("\nSystem: "));
    QVERIFY(report.contains("  Name: " + s.port().mid(5) + "\n")); // as the system names it

    // The failing request, sent and resent with "CAN ERROR" each time, then the error and
    // the alert.
    int canErrors = 0;
    for (const QString &line : lines)
        canErrors += line.contains(" <- CAN ERROR");
    QCOMPARE(canErrors, 5);
    QVERIFY(report.contains(" -- adapter reset recognised ("));
    QVERIFY(report.contains(" -- error ERR_CANERR: CAN error. Retries exhausted\n"));
    QVERIFY(report.contains(" -- alert: Communication error: CAN error. Retries exhausted\n"));
    QVERIFY(report.contains(" -- alert: Cannot load .../logo.png\n"));
    QVERIFY(report.contains(" -- alert: Cannot load .../splash.png\n"));
    for (const char *name : {"Zelda", "Brien", "Kx4 Tester"})
        QVERIFY2(!report.contains(name, Qt::CaseInsensitive), qPrintable(report));

    // A port that is not there: the report says why the connection failed as the user
    // was told it, not only the link's code.
    QSignalSpy failed(&s.runner(), &CFGRunner::connectionFailed);
    QVERIFY(!s.runner().connectToHost("/nonexistent/ttyKX4", 38400, false));
    QCOMPARE(failed.count(), 1);
    const QString told = failed.first().first().toString();
    QCOMPARE(told, QString("Cannot open /nonexistent/ttyKX4: there is no such port"));
    QVERIFY(s.runner().saveDiagnostics(file).isEmpty());
    f.close();
    QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString afterFailure = QString::fromUtf8(f.readAll());
    QVERIFY2(afterFailure.contains(" -- connect failed: SetupPortMissing\n") &&
                 afterFailure.contains(
                     " -- connection failed: Cannot open .../ttyKX4: there is no such port\n"),
             qPrintable(afterFailure.right(800)));

    // Nowhere to write: a reason, and no file.
    const QString nowhere = m_home.filePath("missing/report.txt");
    QVERIFY(s.runner().saveDiagnostics(nowhere).startsWith("Cannot write report.txt: "));
    QVERIFY(!QFile::exists(nowhere));
    // No file to replace: left as it is.
    const QString fifo = m_home.filePath("report.fifo");
    const QString device = m_home.filePath("report.null");
    QVERIFY(makeFifo(fifo));
    const bool root = makeNullDevice(device);
    QVERIFY(QDir().mkdir(m_home.filePath("report.d")));
    for (const auto &name : {fifo, device, m_home.filePath("report.d")}) {
        if (name == device && !root)
            continue; // making a device node takes root
        const char kind = fileKind(name);
        Watchdog watchdog("a report saved as " + name);
        QCOMPARE(s.runner().saveDiagnostics(name),
                 "Cannot write " + QFileInfo(name).fileName() + ": it is not a regular file");
        QCOMPARE(fileKind(name), kind);
    }
}

// Paths in the report's events and the port setting keep only their last part, whatever
// the folders are called; HOME stands for the home folder ("Zelda O'Brien").
void TestDiagnostics::reportKeepsNoFolder_data()
{
    QTest::addColumn<QString>("alert");
    QTest::addColumn<QString>("event"); // what the report says of the alert
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("portLine");

    QTest::newRow("backup saved in the home folder")
        << "Export complete!\nSaved as HOME/.local/share/Veltro/VeltroKX4/0000.bkp"
        << "Export complete! Saved as .../0000.bkp"
        << "HOME/adapter" << ".../adapter";
    QTest::newRow("home folder alone") << "Home is HOME" << "Home is ~" << "HOME" << "~";
    QTest::newRow("quoted picture, apostrophe in the file name")
        << "Cannot load 'HOME/Pictures/Zelda's logo.png'"
        << "Cannot load '.../Zelda's logo.png'"
        << "/dev/ttyUSB0" << "/dev/ttyUSB0";
    QTest::newRow("two quoted paths")
        << "Copied \"/srv/O'Brien data/a.bkp\" to '/media/Zelda O'Brien/usb/b.bkp'"
        << "Copied \".../a.bkp\" to '.../b.bkp'"
        << "/media/Zelda O'Brien/adapter" << ".../adapter";
    QTest::newRow("Windows profile")
        << "Cannot load C:\\Users\\Zelda O'Brien\\Pictures\\splash.png"
        << "Cannot load .../splash.png"
        << "COM3" << "COM3";
    QTest::newRow("no path") << "Rate 38400 bit/s, speed in km/h, 'O'Brien'"
                             << "Rate 38400 bit/s, speed in km/h, 'O'Brien'"
                             << "tcp://127.0.0.1:35000" << "tcp://127.0.0.1:35000";
}

void TestDiagnostics::reportKeepsNoFolder()
{
    QFETCH(QString, alert);
    QFETCH(QString, event);
    QFETCH(QString, port);
    QFETCH(QString, portLine);

    const QString home = QDir::homePath();
    QVERIFY(home.endsWith("/Zelda O'Brien"));
    QSettings().setValue("port", QString(port).replace("HOME", home));
    CFGRunner runner;
    emit runner.alert(QString(alert).replace("HOME", home));
    const QString file = m_home.filePath("folders.txt");
    QCOMPARE(runner.saveDiagnostics(file), QString());
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    QVERIFY2(lines.contains("  port: " + portLine), qPrintable(lines.filter("port: ").join('\n')));
    const QStringList events = lines.filter(" -- alert: ");
    QCOMPARE(events.size(), 1);
    QCOMPARE(events.first().section(" -- alert: ", 1), event);
}

// The same session (rate detection, discovery, a lost reply and its resend, a 16-page
// export) with recording on through a ring that overflows, and with recording off: the
// same bytes on the line.
void TestDiagnostics::recordingLeavesWireUnchanged()
{
    QByteArray wires[2];
    for (const bool recording : {true, false}) {
        SimSession s;
        QVERIFY2(s.start(), qPrintable(s.errorString()));
        LinkRecorder &rec = recorderOf(s.runner());
        rec.setLimits(500, 4096);
        rec.setEnabled(recording);
        Wire wire(s.sim());
        QVERIFY(s.connectRunner(0));
        s.sim().faults().addFault(SimFault::DropReply, s.sim().requestCount() + 40);
        QVERIFY(exportBackup(s));
        QCOMPARE(rec.count() > 0, recording);
        wires[recording] = wire.toAdapter;
    }
    QVERIFY(wires[1].contains("ati\r"));
    QCOMPARE(wires[1], wires[0]);
}

QTEST_GUILESS_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
