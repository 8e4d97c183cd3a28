// What the tool puts on the wire for every long operation, byte for byte, compared with the
// transcripts in golden/. The simulated adapter and dashboard answer at once and without
// faults, so the bytes the host sends depend on the tool alone: a change here is a change of
// what every adapter receives. Each operation runs over the pseudo-terminal with fast
// transfers off against a clone (no response count, no rate switch) and with fast transfers on
// against a genuine chip (both); the connect and the export also run against the extended kind
// with its own commands, and over TCP as to a Wi-Fi adapter.
//
// A deliberate change of the wire is recorded with KX4_WIRE_UPDATE=1, which rewrites the
// transcripts in the source tree; the diff then shows exactly what changed.

#include "tests/common/SimSession.h"

#include "config/BackupFile.h"
#include "config/BackupStorage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

namespace {

enum class Op {
    Connect,
    ConnectDetect,
    ConfigWrite,
    TableReset,
    MaintenanceWrite,
    SplashUpload,
    Restart,
    FirmwareUpdate,
    Export,
    Import
};

constexpr int Pages = 2;

struct Row
{
    Op op;
    const char *name;
    bool everyAdapter; // also against the extended kind and over TCP
};

// How the tool meets the adapter.
struct Mode
{
    const char *name;
    SimAdapter::Kind kind;
    bool fast; // "Link/FastTransfers"
    bool adv;  // the extended command set chosen
    bool network;
    bool everyOperation;
};

const Mode modes[] = {
    {"plain", SimAdapter::Clone, false, false, false, true},
    {"fast", SimAdapter::Genuine, true, false, false, true},
    {"extended", SimAdapter::Extended, true, true, false, false},
    {"plain-tcp", SimAdapter::Clone, false, false, true, false},
    {"fast-tcp", SimAdapter::Genuine, true, false, true, false},
};

const Row rows[] = {
    {Op::Connect, "connect", true},
    {Op::ConnectDetect, "connect-detect", false},
    {Op::ConfigWrite, "config-write", false},
    {Op::TableReset, "table-reset", false},
    {Op::MaintenanceWrite, "maintenance-write", false},
    {Op::SplashUpload, "splash-upload", false},
    {Op::Restart, "restart", false},
    {Op::FirmwareUpdate, "firmware-update", false},
    {Op::Export, "export", true},
    {Op::Import, "import", false},
};

QString pictureUrl()
{
    const QString path = QDir::tempPath() + QStringLiteral("/kx4-wiretrace-splash.png");
    QImage picture(124, 88, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int y = 10; y < 70; ++y)
        for (int x = 20 + y % 7; x < 100; x += 3)
            picture.setPixel(x, y, qRgb(0, 0, 0));
    picture.save(path, "PNG");
    return QUrl::fromLocalFile(path).toString();
}

// One line per carriage return; bytes outside printable ASCII as \xNN.
QByteArray transcript(const QByteArray &bytes)
{
    QByteArray out;
    for (char c : bytes) {
        const uchar u = uchar(c);
        if (u == '\r')
            out += "\\r\n";
        else if (u >= 0x20 && u < 0x7F && u != '\\')
            out += c;
        else
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
    }
    if (!out.isEmpty() && !out.endsWith('\n'))
        out += '\n';
    return out;
}

} // namespace

class tst_WireTrace : public QObject
{
    Q_OBJECT

private slots:
    void operations_data();
    void operations();

private:
    void prepare(SimSession &s);
    bool start(SimSession &s, Op op, bool adv);
};

void tst_WireTrace::operations_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("mode");
    for (int r = 0; r < int(sizeof rows / sizeof *rows); ++r) {
        for (int m = 0; m < int(sizeof modes / sizeof *modes); ++m) {
            if (modes[m].everyOperation || rows[r].everyAdapter)
                QTest::addRow("%s-%s", rows[r].name, modes[m].name) << r << m;
        }
    }
}

void tst_WireTrace::prepare(SimSession &s)
{
    s.prepareSample(Pages);
}

bool tst_WireTrace::start(SimSession &s, Op op, bool adv)
{
    CFGRunner &runner = s.runner();
    switch (op) {
    case Op::Connect:
        return runner.connectToHost(s.port(), 38400, adv);
    case Op::ConnectDetect:
        return runner.connectToHost(s.port(), 0, adv);
    case Op::ConfigWrite:
        s.startSampleWrite();
        return runner.getState() == CFGRunner::Writing;
    case Op::TableReset:
        runner.resetConfig();
        return runner.getState() != CFGRunner::Idle;
    case Op::MaintenanceWrite:
        runner.updateEeeprom(131313, 4242);
        return runner.getState() == CFGRunner::GenWrite;
    case Op::SplashUpload:
        if (!runner.loadSplash(pictureUrl()))
            return false;
        runner.uploadSplash();
        return runner.getState() == CFGRunner::Uploading;
    case Op::Restart:
        runner.mcuReset();
        return runner.getState() == CFGRunner::Rebooting;
    case Op::FirmwareUpdate:
        runner.toDFU();
        return runner.getState() == CFGRunner::Rebooting;
    case Op::Export:
        return runner.exportConfig(true);
    case Op::Import: {
        if (!SimSession::writeSampleBackup(QStringLiteral("wiretrace"), Pages))
            return false;
        return runner.importConfig(QStringLiteral("wiretrace"), true);
    }
    }
    return false;
}

void tst_WireTrace::operations()
{
    QFETCH(int, row);
    QFETCH(int, mode);
    const Row &r = rows[row];
    const Mode &m = modes[mode];

    QStandardPaths::setTestModeEnabled(true);
    QDir(BackupStorage::folder()).removeRecursively();
    QSettings().setValue(QStringLiteral("Link/FastTransfers"), m.fast);

    SimSession s;
    QVERIFY2(s.start(38400, 0, false,
                     m.network ? SimSession::Transport::Network : SimSession::Transport::Serial),
             qPrintable(s.errorString()));
    s.sim().adapter().setKind(m.kind);
    prepare(s);
    const bool connects = r.op == Op::Connect || r.op == Op::ConnectDetect;
    if (!connects)
        QVERIFY(s.connectRunner(38400, m.adv));

    QByteArray wire;
    qint64 lastByte = 0;
    QElapsedTimer clock;
    clock.start();
    connect(&s.sim(), &PtySimulator::bytesReceivedFrom, this, [&](const QByteArray &bytes) {
        wire += bytes;
        lastByte = clock.elapsed();
    });
    QVERIFY(start(s, r.op, m.adv));

    // Done when the runner rests (Idle, or closed after a restart) and the host has sent
    // nothing for a while: the configuration is read again 200 ms after a write.
    const bool settled = SimSession::waitUntil(
        [&] {
            const CFGRunner::State st = s.runner().getState();
            return (st == CFGRunner::Idle || st == CFGRunner::NotConnected) &&
                   clock.elapsed() - lastByte > 600;
        },
        30000);
    QVERIFY2(settled, "the operation did not come to rest");

    const QByteArray text = transcript(wire);
    const QString name =
        QStringLiteral("%1-%2.txt").arg(QLatin1String(r.name), QLatin1String(m.name));
    const QString path = QStringLiteral(KX4_WIRE_GOLDEN_DIR "/") + name;
    if (qEnvironmentVariableIntValue("KX4_WIRE_UPDATE") == 1) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text);
        return;
    }
    QFile golden(path);
    QVERIFY2(golden.open(QIODevice::ReadOnly), qPrintable(path + QStringLiteral(" is missing")));
    const QList<QByteArray> want = golden.readAll().split('\n');
    const QList<QByteArray> got = text.split('\n');
    for (int i = 0; i < qMin(want.size(), got.size()); ++i) {
        if (want.at(i) != got.at(i))
            QFAIL(qPrintable(
                QStringLiteral("%1 line %2: expected \"%3\", sent \"%4\"")
                    .arg(name)
                    .arg(i + 1)
                    .arg(QString::fromLatin1(want.at(i)), QString::fromLatin1(got.at(i)))));
    }
    QCOMPARE(got.size(), want.size());
    QDir(BackupStorage::folder()).removeRecursively();
}

QTEST_MAIN(tst_WireTrace)
#include "tst_wiretrace.moc"
