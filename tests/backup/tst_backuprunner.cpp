// Backups against the simulated dashboard: what an export puts in the file and on the
// bus, what an import writes back, and that a failed or refused transfer leaves neither
// a backup that looks whole nor a changed dashboard.

#include "config/BackupFile.h"
#include "config/BinaryJson.h"
#include "config/BackupStorage.h"
#include "config/WriteHistory.h"
#include "tests/backup/ScratchFiles.h"
#include "tests/common/RunnerRecorder.h"
#include "tests/common/SimSession.h"
#include "tests/common/NonRegularFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSettings>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

constexpr quint32 SavedOdometer = 123456; // 40 E2 01 00
constexpr quint32 SavedEngineTime = 789;  // 15 03 00 00

quint16 wordOf(const QByteArray &frame)
{
    return qFromLittleEndian<quint16>(frame.constData());
}

bool isRead(const QByteArray &frame)
{
    return frame.size() == 8 && (wordOf(frame) >> 14) == 1;
}

bool isWrite(const QByteArray &frame)
{
    return frame.size() == 8 && (wordOf(frame) >> 14) == 3;
}

QList<QByteArray> only(const QList<QByteArray> &frames, bool (*kind)(const QByteArray &))
{
    QList<QByteArray> result;
    for (const QByteArray &f : frames)
        if (kind(f))
            result.append(f);
    return result;
}

// A configuration memory worth restoring: two parameter records, a board record, and
// distinct bytes everywhere else (the splash picture from 0x0400 on).
QByteArray memoryImage(int pages, int seed)
{
    QByteArray mem(pages * 1024, '\0');
    for (int i = 0; i < mem.size(); ++i)
        mem[i] = char((i * 31 + seed * 17 + (i >> 8)) & 0xFF);
    if (pages > 0) {
        mem.replace(0, 22, SimSession::record(0x0C, 0x7E0, 4, 0));
        mem.replace(22, 22, SimSession::record(0x0D, 0x7E0, 1, 1));
        mem.replace(44, 22, QByteArray(22, '\xFF'));
        mem.replace(0x200, 18, SimSession::boardRecord(6000 + seed));
    }
    return mem;
}

} // namespace

class TestBackupRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void exportCopiesWholeMemory_data();
    void exportCopiesWholeMemory();
    void exportSameWithFastTransfers();
    void exportTakesFirstFreeNumber();
    void exportWithoutBothSavedValues();
    void exportOfZeroPages_data();
    void exportOfZeroPages();
    void exportRefusals();
    void exportInterrupted_data();
    void exportInterrupted();
    void exportWriteFailure();
    void timeLeftOnPacedExport();

    void importRestoresMemory_data();
    void importRestoresMemory();
    void importRefusals_data();
    void importRefusals();
    void importOfZeroPages_data();
    void importOfZeroPages();
    void importIgnoresAcknowledgeBeyondPages();
    void importRefusedOutsideIdle();
    void importAfterBackup_data();
    void importAfterBackup();

    void sixteenPagesStopBelowMaintenanceValues();

private:
    // Starts a simulated dashboard with `pages` pages of memoryImage(pages, 1) and the
    // two saved counters, and connects the runner to it.
    void connectDashboard(int pages, quint8 disp = 1, SimAdapter::Kind kind = SimAdapter::Clone,
                          bool chipModel = false);
    CFGRunner &runner() { return m_session->runner(); }
    SimDashboard &dash() { return m_session->dashboard(); }
    // Exports and waits for the end; the path of the new backup.
    QString exportBackup(bool withCounters);
    bool waitForAlert(const QString &text, int timeoutMs = 15000);
    QStringList storedFiles() const;

    QTemporaryDir m_home;
    QString m_dir;
    std::unique_ptr<SimSession> m_session;
    RunnerRecorder *m_rec = nullptr; // a child of the runner
};

void TestBackupRunner::initTestCase()
{
    // Thousands of frames go by; their debug lines would drown the test log.
    QLoggingCategory::setFilterRules("kx4.*.debug=false");
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("Veltro");
    QCoreApplication::setApplicationName("VeltroKX4");
}

void TestBackupRunner::init()
{
    m_dir = BackupStorage::folder();
    QVERIFY(m_dir.startsWith(m_home.path()));
    QDir(m_dir).removeRecursively();
}

void TestBackupRunner::cleanup()
{
    m_session.reset();
    QSettings().remove("Link/FastTransfers");
}

void TestBackupRunner::connectDashboard(int pages, quint8 disp, SimAdapter::Kind kind,
                                        bool chipModel)
{
    m_session = std::make_unique<SimSession>();
    QVERIFY2(m_session->start(38400, 0, chipModel), qPrintable(m_session->errorString()));
    m_session->sim().adapter().setKind(kind);
    dash().setPages(pages);
    dash().memory() = memoryImage(pages, 1);
    dash().setVersion(3);
    dash().setDisp(disp);
    dash().setReserved(4, 5);
    dash().setCount(pages > 0 ? 2 : 0);
    dash().setValue(SimDashboard::SavedOdometer, SavedOdometer);
    dash().setValue(SimDashboard::SavedEngineTime, SavedEngineTime);
    QVERIFY(m_session->connectRunner());
    m_rec = new RunnerRecorder(&runner());
    m_session->clearFrames();
}

QString TestBackupRunner::exportBackup(bool withCounters)
{
    const QStringList before = storedFiles();
    if (!runner().exportConfig(withCounters) || !waitForAlert("Export complete!") ||
        runner().getState() != CFGRunner::Idle)
        return QString();
    QStringList added = storedFiles();
    for (const QString &name : before)
        added.removeOne(name);
    return added.size() == 1 ? m_dir + "/" + added.first() : QString();
}

bool TestBackupRunner::waitForAlert(const QString &text, int timeoutMs)
{
    // "Export complete!" goes on with the file's name.
    return SimSession::waitUntil([&] { return !m_rec->alerts().filter(text).isEmpty(); },
                                 timeoutMs);
}

QStringList TestBackupRunner::storedFiles() const
{
    return QDir(m_dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

void TestBackupRunner::exportCopiesWholeMemory_data()
{
    QTest::addColumn<int>("pages");
    QTest::addColumn<bool>("counters");
    QTest::newRow("2 pages, counters") << 2 << true;
    QTest::newRow("1 page, no counters") << 1 << false;
}

void TestBackupRunner::exportCopiesWholeMemory()
{
    QFETCH(int, pages);
    QFETCH(bool, counters);
    connectDashboard(pages);
    const QByteArray memory = dash().memory();

    const QString path = exportBackup(counters);
    QCOMPARE(path, m_dir + "/0000.bkp");
    QCOMPARE(storedFiles(), QStringList{"0000.bkp"});
    QCOMPARE(runner().getState(), CFGRunner::Idle);
    QCOMPARE(
        m_rec->names({"stateChanged", "alert"}),
        (QStringList{"stateChanged:Exporting", "alert:Export complete!\nSaved as " + path,
                     "stateChanged:Idle"}));

    // Field by field.
    const QByteArray file = fileBytes(path);
    QCOMPARE(file.left(4), QByteArray::fromHex("01C0BE10"));
    QCOMPARE(int(file[4]), 1);
    QCOMPARE(int(file[5]), counters ? 1 : 0);
    QCOMPARE(file.mid(6, 2), QByteArray(2, '\0'));
    const int n = int(qFromLittleEndian<quint32>(file.constData() + 8));
    bool parsed = false;
    const QJsonObject info = BinaryJson::readObject(file.mid(12, n), &parsed);
    QVERIFY(parsed);
    QCOMPARE(
        info,
        (QJsonObject{
            {"version", 3}, {"pages", pages}, {"count", 2}, {"disp", 1}, {"r4", 4}, {"r5", 5}}));
    QCOMPARE(file.mid(12 + n, pages * 1024), memory);
    QCOMPARE(file.mid(12 + n + pages * 1024),
             counters ? QByteArray::fromHex("40E2010015030000") : QByteArray());

    // One read per 6 bytes, in order, and nothing written.
    const QList<QByteArray> frames = m_session->hostFrames();
    const QList<QByteArray> reads = only(frames, isRead);
    QCOMPARE(reads.size(), frames.size());
    const int expected = (pages * 1024 + 5) / 6; // 342 for 2 pages
    QCOMPARE(reads.size(), expected);
    for (int i = 0; i < reads.size(); ++i)
        QCOMPARE(int(wordOf(reads[i]) & 0x3FFF), i * 6);
    if (pages == 2)
        QCOMPARE(int(wordOf(reads.last()) & 0x3FFF), 2046); // brings the last 2 bytes

    const QList<double> progress = m_rec->progressValues();
    QCOMPARE(progress.first(), 0.0);
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QVERIFY(progress.last() < 1.0);
}

// Behind a real chip's timing the line goes to 500 kbit/s and every read carries the
// response count: the backup is the same, byte for byte, as one made the old way.
void TestBackupRunner::exportSameWithFastTransfers()
{
    QByteArray files[2];
    for (const bool fast : {true, false}) {
        QSettings().setValue("Link/FastTransfers", fast);
        connectDashboard(1, 1, SimAdapter::Genuine, true);
        QCOMPARE(runner().lineRate(), fast ? 500000 : 38400);
        const QString path = exportBackup(true);
        QVERIFY(!path.isEmpty());
        files[fast] = fileBytes(path);
        QVERIFY(QFile::remove(path));
        m_session.reset();
    }
    QVERIFY(files[1].contains(memoryImage(1, 1)));
    QCOMPARE(files[1], files[0]);
}

void TestBackupRunner::exportTakesFirstFreeNumber()
{
    connectDashboard(1);
    QVERIFY(BackupStorage::ensureFolder(m_dir));
    writeFile(m_dir + "/0000.bkp", "zero");
    writeFile(m_dir + "/0002.bkp", "two");
    QCOMPARE(exportBackup(false), m_dir + "/0001.bkp");
    QCOMPARE(fileBytes(m_dir + "/0000.bkp"), QByteArray("zero"));
    QCOMPARE(fileBytes(m_dir + "/0002.bkp"), QByteArray("two"));

    // Offered newest first, each with the dashboard it was made for; a file that is no
    // backup has no dashboard to tell.
    const QDateTime now = QDateTime::currentDateTime();
    for (const auto &old : {qMakePair(QString("0000"), 2), qMakePair(QString("0002"), 1)}) {
        QFile file(m_dir + "/" + old.first + ".bkp");
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(now.addDays(-old.second), QFileDevice::FileModificationTime));
    }
    const QVariantList listed = runner().listSavedConfigs();
    QStringList names;
    for (const QVariant &entry : listed)
        names << entry.toMap().value("name").toString();
    QCOMPARE(names, (QStringList{"0001", "0002", "0000"}));
    QCOMPARE(listed[0].toMap().value("info").toMap(),
             (QVariantMap{{"version", 3}, {"pages", 1}, {"count", 2}, {"disp", 1}, {"r4", 4},
                          {"r5", 5}}));
    QCOMPARE(listed[1].toMap().value("info").toMap(), QVariantMap());
    QVERIFY(!listed[2].toMap().value("created").toString().isEmpty());
}

void TestBackupRunner::exportWithoutBothSavedValues()
{
    // A dashboard of unknown version leaves the runner Idle without device information
    // or counters; device information arriving afterwards starts the counter requests,
    // and an export started before their replies must not store counters it never got.
    m_session = std::make_unique<SimSession>();
    QVERIFY(m_session->start());
    dash().setPages(1);
    dash().setUnknownVersion();
    QVERIFY(m_session->connectRunner());
    m_rec = new RunnerRecorder(&runner());
    QVERIFY(!runner().exportConfig(true));
    QCOMPARE(m_rec->alerts(), QStringList{"Cannot export - device is not properly connected"});

    dash().setVersion(3);
    QVERIFY(QMetaObject::invokeMethod(&runner(), "elm_read",
                                      Q_ARG(QByteArray, dash().deviceInfoReply())));
    QVERIFY(runner().exportConfig(true));
    QVERIFY(waitForAlert("Export complete!"));
    const QByteArray file = fileBytes(m_dir + "/0000.bkp");
    QCOMPARE(int(file[5]), 0);
    const int n = int(qFromLittleEndian<quint32>(file.constData() + 8));
    QCOMPARE(file.size(), 12 + n + 1024);
}

void TestBackupRunner::exportOfZeroPages_data()
{
    QTest::addColumn<bool>("counters");
    QTest::newRow("counters") << true;
    QTest::newRow("no counters") << false;
}

void TestBackupRunner::exportOfZeroPages()
{
    QFETCH(bool, counters);
    connectDashboard(0);
    QVERIFY(runner().exportConfig(counters));
    QCOMPARE(runner().getState(), CFGRunner::Idle);
    QCOMPARE(m_rec->names({"stateChanged"}),
             (QStringList{"stateChanged:Exporting", "stateChanged:Idle"}));

    const QByteArray file = fileBytes(m_dir + "/0000.bkp");
    const int n = int(qFromLittleEndian<quint32>(file.constData() + 8));
    QCOMPARE(file.size(), 12 + n + (counters ? 8 : 0));
    QTest::qWait(50);
    QCOMPARE(m_session->hostFrames(), QList<QByteArray>());
}

void TestBackupRunner::exportRefusals()
{
    // 17 pages would run past the 14-bit address space.
    connectDashboard(17);
    QVERIFY(!runner().exportConfig(true));
    QCOMPARE(m_rec->alerts(),
             QStringList{"Cannot export - the device reports more memory than can be copied"});
    QCOMPARE(m_rec->names({"stateChanged"}), QStringList());

    // The storage folder cannot be made: a file stands where it should be.
    m_session.reset();
    connectDashboard(1);
    QDir().mkpath(QFileInfo(m_dir).path());
    writeFile(m_dir, "in the way");
    QVERIFY(!runner().exportConfig(true));
    QCOMPARE(m_rec->alerts(), QStringList{"Config could not be saved - check permissions"});
    QCOMPARE(m_rec->names({"stateChanged"}),
             (QStringList{"stateChanged:Exporting", "stateChanged:Idle"}));
    QFile::remove(m_dir);

    m_rec->clear();
    QVERIFY(BackupStorage::ensureFolder(m_dir));
    writeFile(m_dir + "/0009.bkp", "");
    QVERIFY(runner().exportConfig(true));
    QVERIFY(!runner().exportConfig(true));
    QVERIFY(!runner().importConfig("0009", true));
    QVERIFY(waitForAlert("Export complete!"));
    QCOMPARE(m_rec->alerts(),
             (QStringList{"Cannot export - another operation is in progress",
                          "Cannot import - another operation is in progress",
                          "Export complete!\nSaved as " + m_dir + "/0000.bkp"}));
    QCOMPARE(storedFiles(), (QStringList{"0000.bkp", "0009.bkp"}));
}

void TestBackupRunner::exportInterrupted_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("adapter hangs up") << int(SimFault::HangUp);
    QTest::newRow("replies lost") << int(SimFault::DropReply);
}

void TestBackupRunner::exportInterrupted()
{
    QFETCH(int, fault);
    connectDashboard(2);
    m_session->sim().faults().addFault(SimFault::Kind(fault), m_session->sim().requestCount() + 100,
                                       0);
    QSignalSpy gone(&runner(), &CFGRunner::disconnectedFromHost);
    QVERIFY(runner().exportConfig(true));
    QVERIFY(gone.wait(15000));
    QVERIFY(!m_rec->alerts().isEmpty());
    QVERIFY(m_rec->alerts().filter("Export complete!").isEmpty());
    QCOMPARE(runner().listSavedConfigs(), QVariantList());
    QCOMPARE(storedFiles(), QStringList());
}

void TestBackupRunner::exportWriteFailure()
{
    connectDashboard(2);
    const int head =
        BackupFile::encodeHead(
            QJsonObject{
                {"version", 3}, {"pages", 2}, {"count", 2}, {"disp", 1}, {"r4", 4}, {"r5", 5}},
            true)
            .size();
    {
        // The disk fills up after the first page.
        FileSizeCap cap(head + 1024);
        QVERIFY(runner().exportConfig(true));
        QVERIFY(waitForAlert("Export failed - the backup could not be written"));
    }
    QCOMPARE(runner().getState(), CFGRunner::Idle);
    QVERIFY(m_rec->alerts().filter("Export complete!").isEmpty());
    QCOMPARE(storedFiles(), QStringList());
    // The reads stop at the failure.
    QTest::qWait(100);
    QCOMPARE(only(m_session->hostFrames(), isRead).size(), 1024 / 6 + 1);
}

// Paced at the line's rate behind a module's latency, the exchanges take about the same
// time each: the estimate a quarter into an export is within 20 % of what the rest took.
void TestBackupRunner::timeLeftOnPacedExport()
{
    connectDashboard(1);
    // Timed unpaced during the discovery: the estimate must follow the slower line.
    const double unpaced = runner().exchangeTimeMs();
    QVERIFY(unpaced > 0);
    m_session->sim().setPacing(true);
    m_session->sim().setModule(4, 4);
    QCOMPARE(runner().timeLeftMs(), -1);

    QElapsedTimer clock;
    int estimate = -1;
    qint64 at = 0;
    connect(&runner(), &CFGRunner::progress, m_rec, [&](double value) {
        if (estimate < 0 && value >= 0.25) {
            estimate = runner().timeLeftMs();
            at = clock.elapsed();
        }
    });
    clock.start();
    QVERIFY(runner().exportConfig(false));
    QVERIFY(waitForAlert("Export complete!"));
    const qint64 took = clock.elapsed() - at;
    qInfo("exchange %.2f ms (unpaced %.2f ms), estimate %d ms, rest took %lld ms of %lld ms",
          runner().exchangeTimeMs(), unpaced, estimate, took, clock.elapsed());
    QVERIFY(estimate > 0);
    QVERIFY2(qAbs(estimate - took) <= took / 5, qPrintable(QString::number(estimate)));
    QCOMPARE(runner().timeLeftMs(), -1);
}

void TestBackupRunner::importRestoresMemory_data()
{
    QTest::addColumn<int>("pages");
    QTest::addColumn<bool>("saveCounters");
    QTest::addColumn<bool>("restoreCounters");
    QTest::newRow("2 pages, counters") << 2 << true << true;
    QTest::newRow("1 page, counters") << 1 << true << true;
    QTest::newRow("counters kept on the dashboard") << 1 << true << false;
    QTest::newRow("file without counters") << 1 << false << true;
}

void TestBackupRunner::importRestoresMemory()
{
    QFETCH(int, pages);
    QFETCH(bool, saveCounters);
    QFETCH(bool, restoreCounters);
    connectDashboard(pages);
    const QByteArray original = dash().memory();
    QVERIFY(!exportBackup(saveCounters).isEmpty());

    const QByteArray changed = memoryImage(pages, 2);
    QVERIFY(changed != original);
    dash().memory() = changed;
    dash().setValue(SimDashboard::SavedOdometer, 1);
    dash().setValue(SimDashboard::SavedEngineTime, 2);
    m_session->clearFrames();
    m_rec->clear();

    // What it would change comes first, from the file alone.
    QDir(WriteHistory::folder()).removeRecursively();
    const QVariantMap diff = runner().importDifference("0000", restoreCounters);
    QVERIFY(diff.value("ok").toBool());
    QVERIFY2(diff.value("lines").toStringList().value(0).startsWith("Backup 0000.bkp, made "),
             qPrintable(diff.value("lines").toStringList().join('\n')));
    QVERIFY(m_session->hostFrames().isEmpty());
    QCOMPARE(dash().memory(), changed);

    QVERIFY(runner().importConfig("0000", restoreCounters));
    // Kept before the first write, finished once the import is through.
    QList<WriteHistory::Entry> history = WriteHistory::list(WriteHistory::folder());
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.first().outcome, WriteHistory::Pending);
    QCOMPARE(history.first().written, QString("import of 0000.bkp"));
    // Finished, then read again: Idle once the board record is in.
    QTRY_VERIFY_WITH_TIMEOUT(m_rec->count("boardConfig") == 1, 15000);
    QCOMPARE(dash().memory(), original);
    history = WriteHistory::list(WriteHistory::folder());
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.first().outcome, WriteHistory::Written);
    const bool counters = saveCounters && restoreCounters;
    QCOMPARE(dash().value(SimDashboard::SavedOdometer), counters ? SavedOdometer : 1u);
    QCOMPARE(dash().value(SimDashboard::SavedEngineTime), counters ? SavedEngineTime : 2u);

    // Counters first, then the pages in order; the last chunk carries only the page
    // bytes that remain (2 of 2048, 4 of 1024), padded with FF.
    QList<QByteArray> writes = only(m_session->hostFrames(), isWrite);
    if (counters) {
        QCOMPARE(writes.takeFirst(), QByteArray::fromHex("FEFF40E20100FFFF"));
        QCOMPARE(writes.takeFirst(), QByteArray::fromHex("FCFF15030000FFFF"));
    }
    const int total = pages * 1024;
    QCOMPARE(writes.size(), (total + 5) / 6);
    for (int i = 0; i < writes.size(); ++i)
        QCOMPARE(int(wordOf(writes[i]) & 0x3FFF), i * 6);
    const int rest = total - (writes.size() - 1) * 6;
    QCOMPARE(writes.last().mid(2), original.right(rest) + QByteArray(6 - rest, '\xFF'));

    // The configuration is read again afterwards.
    QCOMPARE(m_rec->names({"stateChanged", "alert", "deviceConfig", "boardConfig"}),
             (QStringList{"stateChanged:Importing", "alert:Import finished", "stateChanged:Reading",
                          "alert:Parsed the device config", "deviceConfig", "boardConfig",
                          "stateChanged:Idle"}));
    QCOMPARE(m_rec->last("boardConfig").toMap().value("rpmlim").toInt(), 6001);
}

void TestBackupRunner::importRefusals_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("alert");

    auto backup = [](int disp) {
        const QJsonObject info{{"version", 3}, {"pages", 1}, {"count", 2},
                               {"disp", disp}, {"r4", 4},    {"r5", 5}};
        return BackupFile::encodeHead(info, true) + memoryImage(1, 1) +
               BackupFile::encodeCounters(SavedOdometer, SavedEngineTime);
    };
    auto patched = [](QByteArray bytes, int at, char with) {
        bytes[at] = with;
        return bytes;
    };
    const QByteArray good = backup(1);
    const QString corrupted = "Cannot import - the source file is corrupted";

    QTest::newRow("missing") << "0007" << good << "Cannot import - the source file does not exist";
    QTest::newRow("11 bytes") << "0000" << good.left(11) << corrupted;
    QTest::newRow("other magic") << "0000" << patched(good, 0, 2)
                                 << "Cannot import - the source file is not a backup file";
    QTest::newRow("format 2") << "0000" << patched(good, 4, 2)
                              << "Cannot import - the source file has been created by another app";
    QTest::newRow("other disp") << "0000" << backup(0)
                                << "Cannot import - the source file was created for another board";
    QTest::newRow("truncated page area") << "0000" << good.left(good.size() - 9) << corrupted;
    QTest::newRow("fifo named like a backup")
        << "0003" << good << "Cannot import - the source file could not be read";
}

void TestBackupRunner::importRefusals()
{
    QFETCH(QString, id);
    QFETCH(QByteArray, file);
    QFETCH(QString, alert);

    connectDashboard(1);
    QVERIFY(BackupStorage::ensureFolder(m_dir));
    writeFile(m_dir + "/0000.bkp", file);
    QVERIFY(makeFifo(m_dir + "/0003.bkp"));
    const QByteArray before = dash().memory();

    // The question before the import is refused alike, and nothing is kept.
    const QVariantMap diff = runner().importDifference(id, true);
    QVERIFY(!diff.value("ok").toBool());
    QCOMPARE(diff.value("error").toString(), alert);
    {
        Watchdog watchdog(QTest::currentDataTag());
        QVERIFY(!runner().importConfig(id, true));
    }
    QVERIFY(runner().historyList().isEmpty());
    QCOMPARE(m_rec->alerts(), QStringList{alert});
    QCOMPARE(m_rec->names({"stateChanged"}),
             (id != "0007" ? QStringList{"stateChanged:Importing", "stateChanged:Idle"}
                           : QStringList()));
    QCOMPARE(runner().getState(), CFGRunner::Idle);
    QTest::qWait(50);
    QCOMPARE(m_session->hostFrames(), QList<QByteArray>());
    QCOMPARE(dash().memory(), before);
    QCOMPARE(dash().value(SimDashboard::SavedOdometer), SavedOdometer);
}

void TestBackupRunner::importOfZeroPages_data()
{
    QTest::addColumn<bool>("counters");
    QTest::newRow("counters") << true;
    QTest::newRow("no counters") << false;
}

void TestBackupRunner::importOfZeroPages()
{
    QFETCH(bool, counters);
    connectDashboard(0);
    QVERIFY(runner().exportConfig(counters));
    dash().setValue(SimDashboard::SavedOdometer, 1);
    m_rec->clear();

    QVERIFY(runner().importConfig("0000", true));
    QTRY_COMPARE(
        m_rec->names({"stateChanged", "alert"}),
        (QStringList{"stateChanged:Importing", "alert:Import finished", "stateChanged:Idle"}));
    QCOMPARE(runner().getState(), CFGRunner::Idle);
    QCOMPARE(dash().value(SimDashboard::SavedOdometer), counters ? SavedOdometer : 1u);
    QCOMPARE(only(m_session->hostFrames(), isWrite).size(), counters ? 2 : 0);
}

void TestBackupRunner::importIgnoresAcknowledgeBeyondPages()
{
    connectDashboard(1);
    QVERIFY(!exportBackup(false).isEmpty());
    dash().memory() = memoryImage(1, 2);
    m_session->clearFrames();

    QVERIFY(runner().importConfig("0000", false));
    // An acknowledgement for 16380 (30 00 FC 3F) is no page write of this import.
    QVERIFY(QMetaObject::invokeMethod(&runner(), "elm_read",
                                      Q_ARG(QByteArray, QByteArray::fromHex("3000FC3FFFFFFFFF"))));
    QCOMPARE(runner().getState(), CFGRunner::Importing);
    QVERIFY(waitForAlert("Import finished"));
    QVERIFY(m_session->waitForState(CFGRunner::Idle));
    QCOMPARE(dash().memory(), memoryImage(1, 1));
    QCOMPARE(only(m_session->hostFrames(), isWrite).size(), 1024 / 6 + 1);
}

void TestBackupRunner::importRefusedOutsideIdle()
{
    connectDashboard(1);
    QVERIFY(!exportBackup(false).isEmpty());
    dash().setPages(17);
    runner().disconnectFromHost();
    QVERIFY(m_session->connectRunner());
    m_rec->clear();
    m_session->clearFrames();
    QVERIFY(!runner().importConfig("0000", false));
    QCOMPARE(m_rec->alerts(),
             QStringList{"Cannot import - the device reports more memory than can be written"});

    runner().disconnectFromHost();
    m_rec->clear();
    QVERIFY(!runner().importConfig("0000", false));
    QCOMPARE(m_rec->alerts(), QStringList{"Cannot import - device is not properly connected"});
    QCOMPARE(m_rec->names({"stateChanged"}), QStringList());
    QCOMPARE(only(m_session->hostFrames(), isWrite), QList<QByteArray>());
}

void TestBackupRunner::importAfterBackup_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("backup made") << false;
    QTest::newRow("backup fails: the import does not start") << true;
}

// "Back up the dashboard first": the export, then the import, which names the backup.
void TestBackupRunner::importAfterBackup()
{
    QFETCH(bool, diskFull);
    connectDashboard(1);
    const QByteArray before = dash().memory();
    const QJsonObject info{{"version", 3}, {"pages", 1}, {"count", 2},
                           {"disp", 1},    {"r4", 4},    {"r5", 5}};
    const QByteArray next = memoryImage(1, 2);
    QVERIFY(BackupStorage::ensureFolder(m_dir));
    writeFile(m_dir + "/0007.bkp", BackupFile::encodeHead(info, true) + next +
                                       BackupFile::encodeCounters(1, 2));
    const int head = BackupFile::encodeHead(info, true).size();
    QSignalSpy finished(&runner(), &CFGRunner::operationFinished);
    {
        std::unique_ptr<FileSizeCap> cap(diskFull ? new FileSizeCap(head + 512) : nullptr);
        QVERIFY(runner().importConfig("0007", true, true));
        QVERIFY(SimSession::waitUntil(
            [&] {
                return !finished.isEmpty() &&
                       finished.last().at(0).value<CFGRunner::Operation>() == CFGRunner::OP_Import;
            },
            20000));
    }
    const QList<QVariant> result = finished.takeLast();
    QCOMPARE(finished.last().at(0).value<CFGRunner::Operation>(), CFGRunner::OP_Export);
    if (diskFull) {
        QCOMPARE(result.at(1).toBool(), false);
        const QString why = "The import was not started: the backup of the dashboard failed "
                            "(Export failed - the backup could not be written)";
        QCOMPARE(result.at(2).toString(), why);
        QCOMPARE(m_rec->alerts().last(), why);
        QCOMPARE(only(m_session->hostFrames(), isWrite), QList<QByteArray>());
        QCOMPARE(dash().memory(), before);
        QCOMPARE(storedFiles(), QStringList{"0007.bkp"});
        return;
    }
    QVERIFY(result.at(1).toBool());
    const QString backup = m_dir + "/0000.bkp";
    QCOMPARE(result.at(3).toString(), backup);
    QCOMPARE(fileBytes(backup).mid(head, 1024), before);
    QCOMPARE(fileBytes(backup).right(8), BackupFile::encodeCounters(SavedOdometer, SavedEngineTime));
    QCOMPARE(runner().getState(), CFGRunner::Idle);
    QCOMPARE(dash().memory(), next);
    QCOMPARE(dash().value(SimDashboard::SavedOdometer), 1u);
    QVERIFY(m_rec->alerts().contains("Import finished\nWhat the dashboard held before is kept in " +
                                     backup));
    QCOMPARE(m_rec->names({"stateChanged"}),
             (QStringList{"stateChanged:Exporting", "stateChanged:Idle", "stateChanged:Importing",
                          "stateChanged:Reading", "stateChanged:Idle"}));
}

void TestBackupRunner::sixteenPagesStopBelowMaintenanceValues()
{
    // 16 pages reach the top of the address space, where 0x3FFB-0x3FFE are the maintenance
    // values: a read at 0x3FFC (FC 7F) would be answered as the saved engine time, a write
    // there would set it. The export ends with the read at 16374 (0x3FF6), the import with
    // the write at 16373 (0x3FF5), so nothing is written from 0x3FFB on.
    connectDashboard(16);
    const QByteArray original = dash().memory();
    const int end = 0x3FFB;

    // Thousands of exchanges: waits that run the event loop, not the polling ones.
    QVERIFY(runner().exportConfig(false));
    QVERIFY(m_session->waitForIdle(60000));
    QVERIFY(!m_rec->alerts().filter("Export complete!").isEmpty());
    const QString path = m_dir + "/0000.bkp";
    const QList<QByteArray> reads = only(m_session->hostFrames(), isRead);
    QCOMPARE(reads.size(), 2730);
    QCOMPARE(reads.size(), BackupFile::transferExchanges(16));
    QCOMPARE(reads.last(), QByteArray::fromHex("F67FFFFFFFFFFFFF"));
    const QByteArray file = fileBytes(path);
    const QByteArray pages = file.right(16 * 1024);
    QCOMPARE(pages.left(end), original.left(end));
    QCOMPARE(pages.mid(end), QByteArray(16 * 1024 - end, '\xFF'));

    dash().memory() = memoryImage(16, 2);
    dash().setValue(SimDashboard::SavedEngineTime, 2);
    m_session->clearFrames();
    m_rec->clear();
    QVERIFY(runner().importConfig("0000", false));
    // "Import finished", then the configuration is read again.
    QVERIFY(m_session->waitForState(CFGRunner::Reading, 60000));
    QVERIFY(m_session->waitForIdle());
    QVERIFY(m_rec->alerts().contains("Import finished"));
    QCOMPARE(m_rec->count("boardConfig"), 1);
    QCOMPARE(dash().memory().left(end), original.left(end));
    // The saved engine time is left as the dashboard has it: no counters were asked for.
    QCOMPARE(dash().value(SimDashboard::SavedEngineTime), 2u);
    const QList<QByteArray> writes = only(m_session->hostFrames(), isWrite);
    QCOMPARE(writes.size(), 2730);
    // The last chunk ends at 0x3FFA: no FF padding lands on the maintenance values.
    QCOMPARE(writes.last(), QByteArray::fromHex("F5FF") + original.mid(16373, 6));
}

QTEST_GUILESS_MAIN(TestBackupRunner)
#include "tst_backuprunner.moc"
