// Every long operation run against the simulated dashboard under every fault the
// simulated adapter can show, once each. A cell passes when the operation either ends
// with the dashboard holding exactly what a run without the fault leaves, or ends with
// the alert the user must see and the session in the state it must be in; never when it
// stops answering, leaves a backup that claims more than it holds, or changes dashboard
// memory the operation does not own. The matrix of outcomes is printed at the end (and
// written to fault-matrix.txt in KX4_TEST_OUTPUT). Each operation runs once more over TCP, as
// with a Wi-Fi adapter, and the backup export meets every fault there too: the dashboard and
// the backup must come out the same whatever carries the bytes.
// Then every adapter family people own (SimFamily: genuine chips, clones, emulators, the
// extended kind, each alone or behind a Bluetooth or a Wi-Fi module) meets every operation
// without a fault, and the dashboard must end exactly as after the plain run.

#include "tests/common/RunnerRecorder.h"
#include "tests/common/SimSession.h"

#include "fuzz/harness/FuzzSupport.h"

#include "config/BackupFile.h"
#include "config/BackupStorage.h"
#include "sim/SimFamily.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>
#include <QtEndian>

namespace {

enum class Op {
    Discovery,
    ConfigWrite,
    MaintenanceWrite,
    SplashUpload,
    BackupExport,
    BackupImport
};

struct Fault
{
    const char *name;
    SimFault::Kind kind;
    int count;   // 0: no fault at all (the reference run)
    int delayMs; // DelayedReply only
    // The adapter's answer to "at rv": adapters that lack the command must connect and
    // complete every operation as one that has it does.
    SimAdapter::VoltageReply voltage = SimAdapter::ReadsVoltage;
    // An adapter of the extended kind that answers "NO DATA" to every request with the
    // response count digit: the link drops the digit, and no reply counts as lost.
    bool countNoData = false;
};

// The simulator answers "NO DATA" after SimSession::NoDataTimeoutMs (30 ms); the delayed
// reply stays inside it. "reset x2" is two adapter resets in one request.
const Fault faults[] = {
    {"none", SimFault::DropReply, 0, 0},
    {"drop x1", SimFault::DropReply, 1, 0},
    {"drop x9", SimFault::DropReply, 9, 0},
    {"drop x10", SimFault::DropReply, 10, 0},
    {"canerror x4", SimFault::CanError, 4, 0},
    {"canerror x5", SimFault::CanError, 5, 0},
    {"garbage", SimFault::GarbageLine, 1, 0},
    {"wrong length", SimFault::WrongLength, 1, 0},
    {"duplicate", SimFault::DuplicateReply, 1, 0},
    {"delay", SimFault::DelayedReply, 1, 20},
    {"no ack", SimFault::NeverAck, 1, 0},
    {"hang-up", SimFault::HangUp, 1, 0},
    {"reset", SimFault::AdapterReset, 1, 0},
    {"reset x2", SimFault::AdapterReset, 2, 0},
    {"power cut", SimFault::PowerCut, 1, 50},
    {"at rv ?", SimFault::DropReply, 0, 0, SimAdapter::RefusesVoltage},
    {"at rv none", SimFault::DropReply, 0, 0, SimAdapter::SilentVoltage},
    {"count NODATA", SimFault::DropReply, 0, 0, SimAdapter::ReadsVoltage, true},
};

struct Operation
{
    Op op;
    const char *name;
    int faultAt; // which bus request of the operation the fault hits (1: its first)
    // Dashboard memory the operation may change, and whether it may change the saved
    // maintenance values.
    int ownedFirst;
    int ownedLast;
    bool ownsValues;
    // Behind a module each burst of the operation waits as the family says (-1), or this
    // many milliseconds each way: a long transfer keeps the module (its fixed rate, a rate
    // switch that cannot pass) without the latency, which would cost minutes. The session an
    // operation needs is opened without it too: discovery meets the connect with it.
    int moduleMs;
};

constexpr int Pages = 4; // the splash picture ends at 0x0F00
const Operation operations[] = {
    // Device information, four maintenance values, then the table from request 6 on.
    {Op::Discovery, "discovery + read", 7, 0, -1, false, -1},
    {Op::ConfigWrite, "config write", 3, 0x0000, 0x03FF, false, -1},
    {Op::MaintenanceWrite, "maintenance write", 2, 0, -1, true, -1},
    {Op::SplashUpload, "splash upload", 100, 0x0400, 0x3FFF, false, 0},
    {Op::BackupExport, "backup export", 100, 0, -1, false, 0},
    {Op::BackupImport, "backup import", 100, 0x0000, Pages * 1024 - 1, true, 0},
};

// What the user must see for a fault that ends the session; empty when the operation
// must complete in spite of it.
QString expectedAlert(const Fault &fault)
{
    if (fault.count == 0)
        return QString();
    switch (fault.kind) {
    case SimFault::DropReply:
        return fault.count >= 10 ? QStringLiteral("Communication error: trasport error no data")
                                 : QString();
    case SimFault::CanError:
        return fault.count >= 5
                   ? QStringLiteral("Communication error: CAN error. Retries exhausted")
                   : QString();
    case SimFault::GarbageLine:
        return QStringLiteral("Communication error: non-hex reply");
    case SimFault::HangUp:
        return QStringLiteral("Connection closed");
    case SimFault::AdapterReset:
        return fault.count >= 2 ? QStringLiteral("Communication error: adapter reset") : QString();
    default:
        return QString();
    }
}

// The matrix column of a family's row: its name, and the rate when it is not the usual one.
QString familyColumn(const QString &family, int rate)
{
    if (rate == 38400)
        return family;
    return family + (rate == 0 ? QStringLiteral(" @auto") : QStringLiteral(" @%1").arg(rate));
}

// Alerts that report progress rather than trouble.
bool informational(const QString &alert)
{
    return alert == QLatin1String("Parsed the device config") ||
           alert.startsWith(QLatin1String("Export complete!")) ||
           alert == QLatin1String("Import finished");
}

struct DashboardState
{
    QByteArray memory;
    quint32 values[4] = {0, 0, 0, 0};

    bool operator==(const DashboardState &o) const
    {
        return memory == o.memory && std::equal(values, values + 4, o.values);
    }
};

DashboardState stateOf(SimDashboard &dash)
{
    DashboardState s;
    s.memory = dash.memory();
    s.values[0] = dash.value(SimDashboard::EngineTime);
    s.values[1] = dash.value(SimDashboard::SavedEngineTime);
    s.values[2] = dash.value(SimDashboard::Odometer);
    s.values[3] = dash.value(SimDashboard::SavedOdometer);
    return s;
}

QString pictureUrl()
{
    const QString path = QDir::tempPath() + QStringLiteral("/kx4-faultmatrix-splash.png");
    if (!QFile::exists(path)) {
        QImage picture(124, 88, QImage::Format_RGB32);
        picture.fill(Qt::white);
        for (int y = 10; y < 70; ++y)
            for (int x = 20 + y % 7; x < 100; x += 3)
                picture.setPixel(x, y, qRgb(0, 0, 0));
        picture.save(path, "PNG");
    }
    return QUrl::fromLocalFile(path).toString();
}

} // namespace

Q_DECLARE_METATYPE(Op)

class tst_FaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void matrix_data();
    void matrix();
    void cleanupTestCase();

private:
    void prepare(SimSession &s);
    bool start(SimSession &s, Op op, int rate, bool extended);
    // Runs until the session has been quiet for a while; false if it never settles.
    bool settle(SimSession &s, RunnerRecorder &rec, int boundMs);
    void checkBackups(const QString &cell);

    QMap<int, DashboardState> reference; // per operation, from its fault-free run
    QMap<int, QByteArray> referenceFile; // per operation: the exported backup
    QMap<QString, QMap<QString, QString>> outcomes;
};

void tst_FaultMatrix::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QDir(BackupStorage::folder()).removeRecursively();
}

void tst_FaultMatrix::matrix_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("network");
    // An adapter family (SimFamily) instead of the plain simulated clone, and the rate the
    // user chose (0: "Automatic").
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("rate");
    const QString plain;
    for (int o = 0; o < int(sizeof operations / sizeof *operations); ++o) {
        for (int f = 0; f < int(sizeof faults / sizeof *faults); ++f)
            QTest::addRow("%s / %s", operations[o].name, faults[f].name)
                << o << f << false << plain << 38400;
    }
    for (int o = 0; o < int(sizeof operations / sizeof *operations); ++o) {
        for (int f = 0; f < int(sizeof faults / sizeof *faults); ++f) {
            if (faults[f].count == 0 || operations[o].op == Op::BackupExport)
                QTest::addRow("%s / %s / tcp", operations[o].name, faults[f].name)
                    << o << f << true << plain << 38400;
        }
    }
    // Every family without a fault; an adapter behind a Wi-Fi module is reached over TCP.
    for (int o = 0; o < int(sizeof operations / sizeof *operations); ++o) {
        for (const QString &family : SimFamily::names()) {
            const bool wifi = family.endsWith(QLatin1String("+wifi"));
            QTest::addRow("%s / %s", operations[o].name, qPrintable(family))
                << o << 0 << wifi << family << 38400;
        }
    }
    // "Automatic" behind a Bluetooth module, whose side of the line answers at every rate: a
    // family that refuses "at brd" and one that takes it.
    for (const char *family : {"clone-v1.5+bt", "genuine-v2.1+bt"}) {
        QTest::addRow("%s / %s @auto", operations[0].name, family)
            << 0 << 0 << false << QString::fromLatin1(family) << 0;
    }
}

void tst_FaultMatrix::prepare(SimSession &s)
{
    s.prepareSample(Pages);
}

bool tst_FaultMatrix::start(SimSession &s, Op op, int rate, bool extended)
{
    CFGRunner &runner = s.runner();
    switch (op) {
    case Op::Discovery:
        return runner.connectToHost(s.port(), rate, extended);
    case Op::ConfigWrite:
        s.startSampleWrite();
        return runner.getState() == CFGRunner::Writing;
    case Op::MaintenanceWrite:
        runner.updateEeeprom(131313, 4242);
        return runner.getState() == CFGRunner::GenWrite;
    case Op::SplashUpload:
        if (!runner.loadSplash(pictureUrl()))
            return false;
        runner.uploadSplash();
        return runner.getState() == CFGRunner::Uploading;
    case Op::BackupExport:
        return runner.exportConfig(true);
    case Op::BackupImport: {
        if (!SimSession::writeSampleBackup(QStringLiteral("matrix"), Pages))
            return false;
        return runner.importConfig(QStringLiteral("matrix"), true);
    }
    }
    return false;
}

bool tst_FaultMatrix::settle(SimSession &s, RunnerRecorder &rec, int boundMs)
{
    // Quiet: no signal from the controller and nothing between the tool and the adapter for
    // a while (the configuration is read again 200 ms after a write; behind a module every
    // command of the adapter's initialisation takes a while).
    constexpr int QuietMs = 400;
    QElapsedTimer sinceActivity;
    sinceActivity.start();
    int seenEvents = rec.events().size();
    int seenExchanges = s.sim().exchangeCount();
    qint64 seenOutput = s.sim().bytesSent();
    const auto quiet = [&] {
        if (rec.events().size() != seenEvents || s.sim().exchangeCount() != seenExchanges ||
            s.sim().bytesSent() != seenOutput) {
            seenEvents = rec.events().size();
            seenExchanges = s.sim().exchangeCount();
            seenOutput = s.sim().bytesSent();
            sinceActivity.restart();
        }
        return sinceActivity.elapsed() >= QuietMs;
    };
    return SimSession::waitUntil(quiet, boundMs);
}

void tst_FaultMatrix::checkBackups(const QString &cell)
{
    const QDir dir(BackupStorage::folder());
    const auto files = dir.entryInfoList({QStringLiteral("*.bkp")}, QDir::Files);
    for (const QFileInfo &info : files) {
        if (info.baseName() == QLatin1String("matrix"))
            continue;
        QFile file(info.filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QVERIFY2(content.size() >= backupClaimedSize(content),
                 qPrintable(cell + QStringLiteral(": a backup claims more than it holds")));
    }
}

void tst_FaultMatrix::matrix()
{
    QFETCH(int, operation);
    QFETCH(int, fault);
    QFETCH(bool, network);
    QFETCH(QString, family);
    QFETCH(int, rate);
    const Operation &op = operations[operation];
    const Fault &f = faults[fault];
    SimFamily adapterFamily;
    QVERIFY2(family.isEmpty() || SimFamily::find(family, &adapterFamily), qPrintable(family));
    // A family's name says how it is reached: the operation's name keeps no "(tcp)".
    const QString opName = QLatin1String(op.name) +
                           (network && family.isEmpty() ? QStringLiteral(" (tcp)") : QString());
    const QString column = family.isEmpty() ? QLatin1String(f.name) : familyColumn(family, rate);
    const QString cell = QStringLiteral("%1 / %2").arg(opName, column);
    QString &outcome = outcomes[opName][column];
    outcome = QStringLiteral("FAIL");
    QElapsedTimer cellTime; // printed with the outcome: the matrix has a time budget
    cellTime.start();

    QDir(BackupStorage::folder()).removeRecursively();
    SimSession s;
    QVERIFY2(s.start(38400, 0, false,
                     network ? SimSession::Transport::Network : SimSession::Transport::Serial),
             qPrintable(s.errorString()));
    s.sim().adapter().setVoltageReply(f.voltage);
    if (f.countNoData) {
        s.sim().adapter().setKind(SimAdapter::Extended);
        s.sim().adapter().setCountDrawsNoData(true);
    }
    const bool module = adapterFamily.hasModule();
    if (!family.isEmpty())
        adapterFamily.applyTo(s.sim());
    // The owner of an adapter with the extended set tells the tool so.
    const bool extended = !family.isEmpty() && adapterFamily.kind == SimAdapter::Extended;
    prepare(s);
    if (op.op != Op::Discovery) {
        // Behind a module the session opens without its latency; the operation has the
        // latency its row gives.
        if (module)
            s.sim().setModule(0, 0);
        QVERIFY2(s.connectRunner(rate, extended),
                 qPrintable(cell + QStringLiteral(": no session")));
        if (module && op.moduleMs >= 0)
            s.sim().setModule(op.moduleMs, op.moduleMs);
        else if (module)
            s.sim().setModule(adapterFamily.moduleUpMs(), adapterFamily.moduleDownMs());
    }
    const DashboardState before = stateOf(s.dashboard());

    RunnerRecorder rec(&s.runner());
    if (f.count > 0)
        s.sim().faults().addFault(f.kind, s.sim().requestCount() + op.faultAt, f.count, f.delayMs);
    if (!start(s, op.op, rate, extended)) {
        outcome = QStringLiteral("n/a");
        QSKIP("the operation cannot be started in this build");
    }

    const bool settled = settle(s, rec, 30000);
    const CFGRunner::State state = s.runner().getState();
    const bool disconnected = rec.count(QStringLiteral("disconnectedFromHost")) > 0;
    QStringList trouble;
    for (const QString &alert : rec.alerts()) {
        if (!informational(alert))
            trouble << alert;
    }
    const QString stateName =
        QString::fromLatin1(QMetaEnum::fromType<CFGRunner::State>().valueToKey(state));
    if (!settled || (!disconnected && state != CFGRunner::Idle))
        outcome = QStringLiteral("HANG in %1").arg(stateName);
    else if (trouble.isEmpty())
        outcome = QStringLiteral("ok");
    else
        outcome = QStringLiteral("%1 -> %2").arg(trouble.join(QStringLiteral("; ")), stateName);
    // The rate the tool says the session runs at is the one the chip's line runs at (over a
    // network there is none). A module holds the chip at its own rate whatever the port is set
    // to, so a rate switch through it cannot be done: the tool claims the chip's rate or, where
    // it knows the port's rate means nothing, none; never the port's.
    const bool rateChecked = !family.isEmpty() && !network && !disconnected;
    const int claimedRate = s.runner().lineRate();
    const int chipRate = s.sim().lineRate();
    const bool rateTrue = claimedRate == chipRate || (module && claimedRate == 0);
    if (rateChecked && !rateTrue)
        outcome += QStringLiteral(", claims %1 bit/s, chip at %2").arg(claimedRate).arg(chipRate);
    outcome += QStringLiteral(" (%1 s)").arg(double(cellTime.elapsed()) / 1000, 0, 'f', 1);
    QVERIFY2(settled, qPrintable(cell + QStringLiteral(": never settled")));

    // Whatever happened, nothing outside the operation's own addresses changed.
    const DashboardState after = stateOf(s.dashboard());
    for (int a = 0; a < before.memory.size(); ++a) {
        if (a >= op.ownedFirst && a <= op.ownedLast)
            continue;
        if (before.memory.at(a) != after.memory.at(a))
            QFAIL(qPrintable(QStringLiteral("%1: byte 0x%2 changed outside the operation")
                                 .arg(cell)
                                 .arg(a, 4, 16, QLatin1Char('0'))));
    }
    if (!op.ownsValues)
        QVERIFY2(std::equal(before.values, before.values + 4, after.values),
                 qPrintable(cell + QStringLiteral(": maintenance values changed")));
    checkBackups(cell);

    const QString alert = expectedAlert(f);
    if (alert.isEmpty()) {
        QVERIFY2(trouble.isEmpty(), qPrintable(cell + QStringLiteral(": ") + trouble.join(", ")));
        QVERIFY2(!disconnected, qPrintable(cell + QStringLiteral(": session lost")));
        QCOMPARE(state, CFGRunner::Idle);
        if (rateChecked) {
            QVERIFY2(rateTrue, qPrintable(QStringLiteral("%1: claims %2 bit/s, the chip runs at %3")
                                              .arg(cell)
                                              .arg(claimedRate)
                                              .arg(chipRate)));
        }
        if (f.count == 0 && !reference.contains(operation)) {
            reference[operation] = after;
        } else {
            QVERIFY2(reference.contains(operation), "the fault-free run failed");
            QVERIFY2(after == reference.value(operation),
                     qPrintable(cell + QStringLiteral(": the dashboard differs from a clean run")));
        }
        switch (op.op) {
        case Op::Discovery:
        case Op::ConfigWrite: {
            // The configuration as read (after a write: read back) is the one intended.
            const QVariantList config = rec.last(QStringLiteral("deviceConfig")).toList();
            QCOMPARE(config.size(), 6);
            const int first = op.op == Op::Discovery ? 0 : 1;
            const int second = op.op == Op::Discovery ? 4 : 3;
            for (int i = 0; i < config.size(); ++i)
                QCOMPARE(config.at(i).toMap().value(QStringLiteral("active")).toBool(),
                         i == first || i == second);
            break;
        }
        case Op::MaintenanceWrite:
            QCOMPARE(after.values[3], 131313u);
            QCOMPARE(after.values[1], 4242u);
            break;
        case Op::BackupImport:
            QCOMPARE(after.memory, SimSession::samplePages(Pages));
            QCOMPARE(after.values[3], 99999u);
            QCOMPARE(after.values[1], 888u);
            break;
        case Op::BackupExport: {
            const auto files = QDir(BackupStorage::folder())
                                   .entryInfoList({QStringLiteral("0*.bkp")}, QDir::Files);
            QCOMPARE(files.size(), 1);
            QFile file(files.first().filePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray content = file.readAll();
            QVERIFY(content.contains(after.memory));
            if (f.count == 0 && !referenceFile.contains(operation))
                referenceFile[operation] = content;
            else
                QCOMPARE(content, referenceFile.value(operation));
            break;
        }
        case Op::SplashUpload:
            QVERIFY(after.memory.mid(0x400, 1419) != before.memory.mid(0x400, 1419));
            break;
        }
    } else {
        QVERIFY2(trouble.contains(alert),
                 qPrintable(cell + QStringLiteral(": alerts were ") + trouble.join(", ")));
        QVERIFY2(disconnected, qPrintable(cell + QStringLiteral(": the session went on")));
        QVERIFY2(rec.alerts().filter(QStringLiteral("Export complete!")).isEmpty() &&
                     !rec.alerts().contains(QStringLiteral("Import finished")),
                 qPrintable(cell + QStringLiteral(": success claimed")));
        // No backup is left behind, not even a partial one.
        QStringList left = QDir(BackupStorage::folder()).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("matrix.bkp"));
        QVERIFY2(left.isEmpty(), qPrintable(cell + QStringLiteral(": left ") + left.join(", ")));
        if (f.kind != SimFault::HangUp)
            QCOMPARE(state, CFGRunner::NotConnected);
    }
}

void tst_FaultMatrix::cleanupTestCase()
{
    QStringList lines;
    int width = 0;
    QStringList names;
    for (const Operation &op : operations)
        names << QLatin1String(op.name);
    for (const Operation &op : operations)
        names << QLatin1String(op.name) + QStringLiteral(" (tcp)");
    for (const QString &name : qAsConst(names))
        width = qMax(width, name.size());
    QStringList columns;
    for (const Fault &f : faults)
        columns << QLatin1String(f.name);
    // The families' columns, at whatever rates they ran.
    for (const QString &family : SimFamily::names()) {
        for (int rate : {38400, 0}) {
            const QString column = familyColumn(family, rate);
            for (const auto &row : qAsConst(outcomes)) {
                if (row.contains(column)) {
                    columns << column;
                    break;
                }
            }
        }
    }
    int columnWidth = 0;
    for (const QString &column : qAsConst(columns))
        columnWidth = qMax(columnWidth, column.size());
    lines << QStringLiteral("Fault matrix (operation / fault or adapter family: outcome)");
    for (const QString &name : qAsConst(names)) {
        if (!outcomes.contains(name))
            continue;
        for (const QString &column : qAsConst(columns)) {
            // Over TCP only some operations meet every fault, and not every operation runs
            // at every rate.
            const bool family = columns.indexOf(column) >= int(sizeof faults / sizeof *faults);
            if ((family || name.endsWith(QLatin1String("(tcp)"))) &&
                !outcomes.value(name).contains(column))
                continue;
            lines << QStringLiteral("%1 | %2 | %3")
                         .arg(name, -width)
                         .arg(column, -columnWidth)
                         .arg(outcomes.value(name).value(column, QStringLiteral("not run")));
        }
    }
    const QString text = lines.join(QLatin1Char('\n'));
    qInfo().noquote() << text;
    const QString out = qEnvironmentVariable("KX4_TEST_OUTPUT");
    if (!out.isEmpty()) {
        QFile file(out + QStringLiteral("/fault-matrix.txt"));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8() + '\n');
    }
    QDir(BackupStorage::folder()).removeRecursively();
}

QTEST_MAIN(tst_FaultMatrix)
#include "tst_faultmatrix.moc"
