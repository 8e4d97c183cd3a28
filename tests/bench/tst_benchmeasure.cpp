// The benchmark's measuring: a wrong count or a wrong bound would make every figure of
// the README table wrong while looking plausible.

#include "bench/BenchReport.h"
#include "bench/BenchSession.h"
#include "bench/SimProcess.h"
#include "bench/TransferBench.h"

#include <QJsonArray>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

BenchSession::Sample sample(qint64 exchanges, qint64 requests, qint64 in, qint64 out, double wallUs,
                            double cpuUs)
{
    BenchSession::Sample s;
    s.traffic.exchanges = exchanges;
    s.traffic.requests = requests;
    s.traffic.bytesIn = in;
    s.traffic.bytesOut = out;
    s.wallUs = wallUs;
    s.cpuUs = cpuUs;
    return s;
}

} // namespace

class TestBenchMeasure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parsesSimulatorCounters_data();
    void parsesSimulatorCounters();
    void medianBoundAndRatio();
    void targetsAtTheirLimits_data();
    void targetsAtTheirLimits();
    void countsOneDiscoveryExactly();
    void everyRunWithoutPacing();
};

void TestBenchMeasure::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QLoggingCategory::setFilterRules("kx4.*.debug=false");
}

void TestBenchMeasure::parsesSimulatorCounters_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("exchanges");
    QTest::addColumn<qint64>("bytesOut");
    QTest::addColumn<double>("lineUs");
    QTest::newRow("as printed") << QByteArray("stats: exchanges=42 requests=27 bytes-in=501 "
                                              "bytes-out=733 late-us=12.5 line-us=32100\n")
                                << true << qint64(42) << qint64(733) << 32100.0;
    QTest::newRow("without the line time")
        << QByteArray("stats: exchanges=42 requests=27 bytes-in=501 bytes-out=733 late-us=1")
        << true << qint64(42) << qint64(733) << 0.0;
    QTest::newRow("a counter added later is skipped")
        << QByteArray("stats: exchanges=1 requests=1 bytes-in=5 bytes-out=19 late-us=0.0 "
                      "hangups=0")
        << true << qint64(1) << qint64(19) << 0.0;
    QTest::newRow("a counter missing") << QByteArray("stats: exchanges=1 requests=1 bytes-in=5")
                                       << false << qint64(0) << qint64(0) << 0.0;
    QTest::newRow("not a number") << QByteArray("stats: exchanges=x requests=1 bytes-in=5 "
                                                "bytes-out=19 late-us=0")
                                  << false << qint64(0) << qint64(0) << 0.0;
    QTest::newRow("another line") << QByteArray("04:01:02.003 CMD atz") << false << qint64(0)
                                  << qint64(0) << 0.0;
}

void TestBenchMeasure::parsesSimulatorCounters()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, ok);
    QFETCH(qint64, exchanges);
    QFETCH(qint64, bytesOut);
    QFETCH(double, lineUs);
    SimProcess::Traffic t;
    QCOMPARE(SimProcess::Traffic::parse(line, &t), ok);
    if (ok) {
        QCOMPARE(t.exchanges, exchanges);
        QCOMPARE(t.bytesOut, bytesOut);
        QCOMPARE(t.lineUs, lineUs);
    }
}

void TestBenchMeasure::medianBoundAndRatio()
{
    QCOMPARE(BenchReport::median({}), 0.0);
    QCOMPARE(BenchReport::median({3, 1, 2}), 2.0);
    QCOMPARE(BenchReport::median({4, 1, 3, 2}), 2.5);

    // 100 block writes at 115200 bit/s: 17 bytes out, 19 back each, 3.125 ms an exchange
    // on the line, plus 250 us of bus latency per frame.
    BenchReport report;
    report.setLatencyUs(250);
    auto &row = report.row("splash-1", "splash", 115200, true);
    row.samples << sample(100, 100, 1700, 1900, 400000, 3000)
                << sample(100, 100, 1700, 1900, 350000, 5000)
                << sample(100, 100, 1700, 1900, 500000, 4000);
    QCOMPARE(row.wallMs(), 400.0);
    QCOMPARE(row.boundMs(250), 312.5 + 25.0);
    QCOMPARE(row.ratio(250), 400.0 / 337.5);
    QCOMPARE(row.cpuUsPerExchange(), 40.0);
    // The same id at another rate or without pacing is another row; unpaced has no bound.
    auto &unpaced = report.row("splash-1", "splash", 115200, false);
    QVERIFY(&unpaced != &report.row("splash-1", "splash", 115200, true));
    unpaced.samples << sample(100, 100, 1700, 1900, 9000, 2000);
    QCOMPARE(unpaced.boundMs(250), 0.0);
    QCOMPARE(unpaced.ratio(250), 0.0);

    // A chip-model run counts the line time the simulator added up (its bytes at the rates
    // they went at, a rate switch included) and its own dashboard latency.
    auto &chip = report.row("splash-1", "splash", 38400, true, "on");
    QVERIFY(&chip != &row);
    chip.latencyUs = 1000;
    BenchSession::Sample s = sample(100, 100, 1800, 1900, 300000, 0);
    s.traffic.lineUs = 74000;
    chip.samples << s;
    QCOMPARE(chip.boundMs(250), 74.0 + 100.0);
    // Behind a wireless module every exchange also waits for it both ways.
    auto &module = report.row("splash-1", "splash", 38400, true, "bluetooth on");
    module.latencyUs = 1000;
    module.moduleUs = 40000;
    module.samples << s;
    QCOMPARE(module.boundMs(250), 74.0 + 100.0 + 100 * 40.0);
    // Runs with the traffic record off count apart: the plain figure stays the one with it on.
    QVERIFY(!unpaced.comparesRecording());
    QCOMPARE(unpaced.recordingCostUs(), 0.0);
    BenchSession::Sample off = sample(100, 100, 1700, 1900, 9000, 1700);
    off.recording = false;
    unpaced.samples << off << sample(100, 100, 1700, 1900, 9000, 2400);
    unpaced.samples[0].recordedEntries = 250;
    unpaced.samples[2].recordedEntries = 230;
    QVERIFY(unpaced.comparesRecording());
    QCOMPARE(unpaced.cpuUsPerExchange(), 22.0);
    QCOMPARE(unpaced.cpuUsPerExchange(false), 17.0);
    QCOMPARE(unpaced.recordingCostUs(), 5.0);
    QCOMPARE(unpaced.wallMs(), 9.0); // every sample
    // The record's cost: its own cost per entry times the entries per exchange (2.4 here),
    // beside the runs' difference.
    QCOMPARE(unpaced.entriesPerExchange(), 2.4);
    report.setRecorderNsPerEntry(2000);
    const QList<BenchReport::Target> targets = report.targets();
    const auto record = std::find_if(targets.cbegin(), targets.cend(), [](const auto &t) {
        return t.what.startsWith("traffic record adds under 5 us");
    });
    QVERIFY(record != targets.cend());
    QCOMPARE(record->reached,
             QString("4.80 us (2000 ns per entry, 2.4 entries per exchange); runs on minus off: "
                     "5.0 us"));
    QVERIFY(record->met);
}

void TestBenchMeasure::targetsAtTheirLimits_data()
{
    QTest::addColumn<double>("wallMs");
    QTest::addColumn<double>("cpuUs");
    QTest::addColumn<bool>("ratioMet");
    QTest::addColumn<bool>("cpuMet");
    // The export's bound: 2730 exchanges of 36 bytes at 115200 bit/s = 8531.25 ms.
    QTest::newRow("within the limits") << 8531.25 * 1.049 << 49.99 << true << true;
    QTest::newRow("just over") << 8531.25 * 1.051 << 50.0 << false << false;
}

void TestBenchMeasure::targetsAtTheirLimits()
{
    QFETCH(double, wallMs);
    QFETCH(double, cpuUs);
    QFETCH(bool, ratioMet);
    QFETCH(bool, cpuMet);
    BenchReport report;
    report.row("export", "backup export", 115200, true).samples
        << sample(2730, 2730, 2730 * 17, 2730 * 19, wallMs * 1000, 0);
    // Only the splash uploads and the export at 115200 count; the import does not.
    report.row("import", "backup import", 115200, true).samples
        << sample(2730, 2730, 2730 * 17, 2730 * 19, 99e6, 0);
    report.row("export", "backup export", 38400, true).samples
        << sample(2730, 2730, 2730 * 17, 2730 * 19, 99e6, 0);
    report.row("read", "read", 115200, false).samples << sample(100, 100, 0, 0, 1000, cpuUs * 100);
    const QList<BenchReport::Target> targets = report.targets();
    QCOMPARE(targets.size(), 2);
    QCOMPARE(targets.at(0).met, ratioMet);
    QCOMPARE(targets.at(1).met, cpuMet);

    // The chip model: the export 10 times faster with fast transfers on, and each transfer
    // with them on within 1.10 of its bound (discovery and write are not targets).
    const double onWallMs = 1000;
    BenchSession::Sample on = sample(2730, 2730, 0, 0, onWallMs * 1000, 0);
    on.traffic.lineUs = (onWallMs / (ratioMet ? 1.099 : 1.101) - 2730) * 1000;
    for (const char *id : {"export", "write"}) {
        auto &row = report.row(id, id, 38400, true, "on");
        row.latencyUs = 1000;
        row.samples << on;
        report.row(id, id, 38400, true, "off").samples
            << sample(2730, 2730, 0, 0, onWallMs * (ratioMet ? 10.0 : 9.99) * 1000, 0);
    }
    QStringList chipTargets;
    for (const BenchReport::Target &t : report.targets()) {
        if (t.what.startsWith("chip model"))
            chipTargets << QStringLiteral("%1 %2").arg(t.met).arg(t.what.section(' ', 2, 2));
    }
    QCOMPARE(chipTargets, QStringList({QStringLiteral("%1 16-page").arg(ratioMet),
                                       QStringLiteral("%1 export").arg(ratioMet)}));
}

void TestBenchMeasure::countsOneDiscoveryExactly()
{
    // The demo dashboard: 5 records (110 bytes, 19 block reads), an 18-byte board record
    // (3 reads), the device information and 4 maintenance values: 27 frames, after the
    // link's synchronising command and its 15 initialisation commands. Nothing of the
    // session before (the ATZ of its close) may leak into the count. The link as the plain
    // runs use it: no rate switch.
    QSettings().setValue(QStringLiteral("Link/FastTransfers"), false);
    BenchSession session(QStringLiteral(KX4_SIM_PROGRAM));
    QVERIFY2(session.start({"--baud", "115200"}), qPrintable(session.error()));
    for (int round = 0; round < 2; ++round) {
        BenchSession::Sample s;
        QVERIFY2(session.connectAndRead(115200, &s), qPrintable(session.error()));
        QCOMPARE(s.traffic.requests, qint64(27));
        QCOMPARE(s.traffic.exchanges, qint64(27 + 1 + 15));
        // Each frame request is its hex text and a CR: 22 of 17 bytes, 5 of 5 bytes.
        const qint64 frameBytes = 22 * 17 + 5 * 5;
        QVERIFY(s.traffic.bytesIn > frameBytes);
        QVERIFY(s.traffic.bytesOut > 0);
        QVERIFY(s.wallUs > 0);
        QCOMPARE(session.activePositions(), 5);
    }
}

void TestBenchMeasure::everyRunWithoutPacing()
{
    // The whole set of runs, once each way, without pacing: each run finishes and moves exactly the
    // chunks its transfer needs. A tool that refused a 16-page backup or lost its way in
    // one would show here as a failure instead of as a plausible figure.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
    TransferBench::Settings settings;
    settings.simProgram = QStringLiteral(KX4_SIM_PROGRAM);
    settings.repetitions = 1;
    settings.chipModel = false; // minutes by nature: scripts/bench runs it
    settings.modules = false;   // likewise
    settings.pictureFile = dir.filePath("splash.png");
    QVERIFY(TransferBench::writePicture(settings.pictureFile));
    BenchReport report;
    QString log;
    QTextStream logStream(&log);
    QVERIFY2(TransferBench(settings, report, logStream).run(),
             qPrintable(report.failures().join('\n')));

    // Block requests per run: 13 records are 286 bytes (48 reads or writes), the board
    // record 3; the splash streams 2816 and 1419 bytes; 16 pages stop below 0x3FFB (2730).
    const QMap<QString, qint64> requests = {{"read", 1 + 4 + 48 + 3}, {"write", 48 + 3 + 48 + 3},
                                            {"splash-1", 470},        {"splash-0", 237},
                                            {"export", 2730},         {"import", 2730 + 48 + 3}};
    QCOMPARE(report.rows().size(), requests.size());
    for (const BenchReport::Row &row : report.rows()) {
        QVERIFY2(requests.contains(row.id), qPrintable(row.id));
        // Once with the link's traffic record on and once with it off.
        QCOMPARE(row.samples.size(), 2);
        QVERIFY(row.comparesRecording());
        QCOMPARE(row.requests(), requests.value(row.id));
        QVERIFY(!row.paced);
    }
    const QJsonObject json = report.toJson();
    QCOMPARE(json.value("runs").toArray().size(), requests.size());
    QCOMPARE(json.value("failures").toArray().size(), 0);
}

QTEST_GUILESS_MAIN(TestBenchMeasure)
#include "tst_benchmeasure.moc"
