#include "bench/TransferBench.h"

#include "config/BackupStorage.h"
#include "config/ParameterCatalogue.h"
#include "link/LinkRecorder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>
#include <QSet>
#include <QSettings>
#include <QtEndian>

#include <algorithm>

namespace {

constexpr int kPages = 16;
constexpr qint64 kChipLatencyUs = 1000; // the chip model's dashboard latency
constexpr int kDoublePositions = 13;
constexpr int kTimingRate = 115200; // the port's rate when the line is not paced

QString rateName(int baud, bool paced)
{
    return paced ? QStringLiteral("%1 bit/s").arg(baud) : QStringLiteral("no pacing");
}

// The memory image of a backup file (after its header and device information), the first
// `bytes` of it.
QByteArray backupMemory(const QByteArray &file, int bytes)
{
    if (file.size() < 12)
        return QByteArray();
    const int info = int(qFromLittleEndian<quint32>(file.constData() + 8));
    return file.mid(12 + info, bytes);
}

} // namespace

TransferBench::TransferBench(const Settings &settings, BenchReport &report, QTextStream &log)
    : m_settings(settings), m_report(report), m_log(log)
{
}

bool TransferBench::writePicture(const QString &path)
{
    QImage image(88, 88, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 88);
    sky.setColorAt(0, QColor(30, 60, 160));
    sky.setColorAt(1, QColor(250, 200, 120));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(20, 20, 20));
    p.drawEllipse(QPointF(44, 55), 30, 20);
    p.setBrush(Qt::white);
    p.drawRect(10, 10, 68, 8);
    p.end();
    return image.save(path, "PNG");
}

bool TransferBench::run()
{
    if (m_settings.onlyModules) {
        runModules();
        return m_ok;
    }
    const Variant plain = plainVariant();
    for (int baud : qAsConst(m_settings.rates)) {
        runDoubleDisplay(baud, true, plain);
        runSingleDisplay(baud, true, plain);
    }
    if (m_settings.unpaced) {
        runDoubleDisplay(kTimingRate, false, plain);
        runSingleDisplay(kTimingRate, false, plain);
    }
    if (m_settings.chipModel)
        runChipModel();
    if (m_settings.modules)
        runModules();
    return m_ok;
}

double TransferBench::recorderNsPerEntry()
{
    LinkRecorder recorder;
    recorder.restartClock();
    const QByteArray request("0040FFFFFFFFFFFF\r");
    QByteArray reply("4000112233445566\r\r>");
    constexpr int kRounds = 200000;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kRounds; ++i) {
        recorder.sent(request);
        reply[3] = char('0' + (i & 7)); // a different buffer each time, as from the port
        recorder.received(reply);
    }
    return double(clock.nsecsElapsed()) / (2.0 * kRounds);
}

int TransferBench::recordingModes(bool paced) const
{
    using Off = Settings::RecordingOff;
    return m_settings.recordingOff == Off::All ||
                   (m_settings.recordingOff == Off::Unpaced && !paced)
               ? 2
               : 1;
}

bool TransferBench::recordingOn(int run, int modes)
{
    // On, off, off, on, on, off, ...: neither setting always goes first.
    return modes == 1 || (run + run / 2) % 2 == 0;
}

TransferBench::Variant TransferBench::plainVariant() const
{
    Variant v;
    v.pages = kPages;
    v.repetitions = m_settings.repetitions;
    return v;
}

void TransferBench::runChipModel()
{
    const QStringList model = {QStringLiteral("--chip-model"), QStringLiteral("--latency-us"),
                               QString::number(kChipLatencyUs)};
    Variant off{QStringLiteral("off"),
                model + QStringList{QStringLiteral("--kind"), QStringLiteral("genuine")}, kPages,
                m_settings.chipRepetitions, false};
    Variant on = off;
    on.mode = QStringLiteral("on");
    on.fastTransfers = true;
    Variant refusing{QStringLiteral("refusing"),
                     model + QStringList{QStringLiteral("--kind"), QStringLiteral("clone")},
                     m_settings.refusingPages, 1, true};

    Outcome offOutcome, onOutcome, refusingOutcome;
    const int baud = m_settings.chipBaud;
    const bool offDone = runDoubleDisplay(baud, true, off, &offOutcome);
    runSingleDisplay(baud, true, off);
    const bool onDone = runDoubleDisplay(baud, true, on, &onOutcome);
    runSingleDisplay(baud, true, on);
    const bool refusingDone = runDoubleDisplay(baud, true, refusing, &refusingOutcome);
    runSingleDisplay(baud, true, refusing);
    if (!offDone)
        return;

    // The same dashboard content went through every run: the configuration read back and
    // the memory in the backups must agree.
    auto check = [&](const QString &what, bool done, const Outcome &o, int pages) {
        if (!done)
            return;
        const int bytes = pages * 1024;
        const bool same = o.config == offOutcome.config && !o.backup.isEmpty() &&
                          backupMemory(o.backup, bytes) == backupMemory(offOutcome.backup, bytes);
        m_report.addCheck(BenchReport::Target{
            QStringLiteral("chip model: %1 ends with the same configuration and backup as "
                           "fast transfers off")
                .arg(what),
            same ? QStringLiteral("same") : QStringLiteral("different"), same});
    };
    check(QStringLiteral("fast transfers on"), onDone, onOutcome, kPages);
    check(QStringLiteral("a chip refusing the rate switch and the response count"), refusingDone,
          refusingOutcome, m_settings.refusingPages);
}

void TransferBench::runModules()
{
    // A Bluetooth module is a serial port on the computer; a Wi-Fi adapter is reached on a
    // TCP port, so the link knows there is no line rate to raise.
    struct Module
    {
        const char *name;
        int msEachWay;
        bool network;
    };
    for (const Module m : {Module{"bluetooth", 20, false}, Module{"wifi", 5, true}}) {
        for (const bool fast : {false, true}) {
            Variant v;
            v.mode = QStringLiteral("%1 %2").arg(
                QLatin1String(m.name), fast ? QStringLiteral("on") : QStringLiteral("off"));
            v.simExtra =
                QStringList{QStringLiteral("--chip-model"),  QStringLiteral("--latency-us"),
                            QString::number(kChipLatencyUs), QStringLiteral("--kind"),
                            QStringLiteral("genuine"),       QStringLiteral("--module"),
                            QString::fromLatin1(m.name)};
            if (m.network)
                v.simExtra << QStringLiteral("--tcp") << QStringLiteral("0");
            v.pages = kPages;
            v.repetitions = m_settings.chipRepetitions;
            v.fastTransfers = fast;
            runThroughModule(m_settings.chipBaud, v, qint64(m.msEachWay) * 2 * 1000);
        }
    }
}

// Discovery + read and a whole export through a wireless module: the runs where the
// module's latency, not the line, sets the pace.
bool TransferBench::runThroughModule(int baud, const Variant &variant, qint64 moduleUs)
{
    const QString where =
        QStringLiteral("double display, %1, %2").arg(rateName(baud, true), variant.mode);
    progress(QStringLiteral("%1: 13 positions, %2 pages").arg(where).arg(variant.pages));
    QSettings().setValue(QStringLiteral("Link/FastTransfers"), variant.fastTransfers);
    BenchSession session(m_settings.simProgram);
    BenchSession::Sample warmUp;
    if (!session.start(simArguments(baud, true, 1, variant)) ||
        !session.connectAndRead(baud, &warmUp))
        return fail(where, session.error());
    auto &read =
        m_report.row(QStringLiteral("read"), QStringLiteral("discovery + read, 13 positions"), baud,
                     true, variant.mode);
    auto &exportRow = m_report.row(QStringLiteral("export"),
                                   QStringLiteral("backup export, %1 pages").arg(variant.pages),
                                   baud, true, variant.mode);
    for (BenchReport::Row *r : {&read, &exportRow}) {
        r->latencyUs = kChipLatencyUs;
        r->moduleUs = moduleUs;
        r->rateReached = session.runner().lineRate();
    }
    for (int run = 0; run < variant.repetitions; ++run) {
        BenchSession::Sample s;
        if (!session.connectAndRead(baud, &s))
            return fail(where, session.error());
        read.samples << s;
        QString backup;
        if (!session.exportBackup(&s, &backup))
            return fail(where, session.error());
        exportRow.samples << s;
        QFile::remove(BackupStorage::pathFor(BackupStorage::folder(), backup));
    }
    return true;
}

QStringList TransferBench::simArguments(int baud, bool paced, int disp,
                                        const Variant &variant) const
{
    QStringList args = {QStringLiteral("--baud"),  QString::number(baud),
                        QStringLiteral("--disp"),  QString::number(disp),
                        QStringLiteral("--pages"), QString::number(variant.pages)};
    if (variant.mode.isEmpty())
        args << QStringLiteral("--latency-us") << QString::number(m_settings.latencyUs);
    if (paced)
        args << QStringLiteral("--pacing");
    return args + variant.simExtra;
}

QVariantList TransferBench::fullConfig(BenchSession &session)
{
    QList<QJsonObject> items;
    for (const QVariant &v : session.runner().parameterList())
        items << v.toJsonObject();
    // The catalogue's order depends on the hash table; sort for the same layout every time.
    std::sort(items.begin(), items.end(), [](const QJsonObject &a, const QJsonObject &b) {
        return ParameterCatalogue::parameterHash(a) < ParameterCatalogue::parameterHash(b);
    });
    QVariantList config;
    for (const QJsonObject &item : qAsConst(items)) {
        if (config.size() == kDoublePositions)
            break;
        const uint hid = ParameterCatalogue::parameterHash(item);
        config << QVariantMap{{QStringLiteral("active"), true},
                              {QStringLiteral("hid"), hid},
                              {QStringLiteral("descr"), session.runner().describeParam(hid)}};
    }
    return config;
}

bool TransferBench::fail(const QString &where, const QString &error)
{
    const QString text = where + QStringLiteral(": ") + error;
    m_report.addFailure(text);
    m_log << "  FAILED " << text << Qt::endl;
    m_ok = false;
    return false;
}

void TransferBench::progress(const QString &text)
{
    m_log << text << Qt::endl;
}

bool TransferBench::runDoubleDisplay(int baud, bool paced, const Variant &variant, Outcome *outcome)
{
    QString where = QStringLiteral("double display, %1").arg(rateName(baud, paced));
    if (!variant.mode.isEmpty())
        where += QStringLiteral(", chip model, %1").arg(variant.mode);
    progress(QStringLiteral("%1: 13 positions, %2 pages").arg(where).arg(variant.pages));
    QSettings().setValue(QStringLiteral("Link/FastTransfers"), variant.fastTransfers);
    BenchSession session(m_settings.simProgram);
    BenchSession::Sample warmUp;
    if (!session.start(simArguments(baud, paced, 1, variant)) ||
        !session.connectAndRead(baud, &warmUp))
        return fail(where, session.error());

    // The demo dashboard holds a few values: fill every position first, so that each read
    // below moves a full table.
    const QVariantList config = fullConfig(session);
    if (config.size() != kDoublePositions)
        return fail(where, QStringLiteral("the catalogue offers only %1 values for the engine")
                               .arg(config.size()));
    if (!session.writeConfig(config, &warmUp))
        return fail(where, session.error());
    if (session.activePositions() != kDoublePositions)
        return fail(where, QStringLiteral("%1 of 13 positions read back after the write")
                               .arg(session.activePositions()));

    const QString mode = variant.mode;
    auto &read = m_report.row(QStringLiteral("read"),
                              QStringLiteral("discovery + read, 13 positions"), baud, paced, mode);
    auto &write = m_report.row(QStringLiteral("write"),
                               QStringLiteral("write + re-read, 13 positions"), baud, paced, mode);
    auto &splash =
        m_report.row(QStringLiteral("splash-1"),
                     QStringLiteral("splash upload, profile 1 (173x128)"), baud, paced, mode);
    auto &exportRow = m_report.row(QStringLiteral("export"),
                                   QStringLiteral("backup export, %1 pages").arg(variant.pages),
                                   baud, paced, mode);
    auto &importRow = m_report.row(
        QStringLiteral("import"),
        QStringLiteral("backup import + re-read, %1 pages").arg(variant.pages), baud, paced, mode);
    if (!mode.isEmpty()) {
        for (BenchReport::Row *r : {&read, &write, &splash, &exportRow, &importRow}) {
            r->latencyUs = kChipLatencyUs;
            r->rateReached = session.runner().lineRate();
        }
    }

    bool backups = true;
    const int modes = recordingModes(paced);
    for (int run = 0; run < variant.repetitions * modes; ++run) {
        const bool recording = recordingOn(run, modes);
        session.setRecording(recording);
        progress(QStringLiteral("  repetition %1 of %2%3")
                     .arg(run / modes + 1)
                     .arg(variant.repetitions)
                     .arg(modes > 1 ? (recording ? ", recording on" : ", recording off") : ""));
        BenchSession::Sample s;
        if (!session.connectAndRead(baud, &s))
            return fail(where, session.error());
        if (session.activePositions() != kDoublePositions)
            return fail(
                where,
                QStringLiteral("the read found %1 of 13 positions").arg(session.activePositions()));
        read.samples << s;

        if (!session.writeConfig(config, &s))
            return fail(where, session.error());
        write.samples << s;

        if (!session.uploadSplash(m_settings.pictureFile, &s))
            return fail(where, session.error());
        splash.samples << s;

        if (!backups)
            continue;
        // A refused or broken backup is reported once; the other runs go on.
        QString backup;
        if (!session.exportBackup(&s, &backup)) {
            backups = fail(where, session.error());
            continue;
        }
        exportRow.samples << s;
        if (outcome && outcome->backup.isEmpty()) {
            QFile file(BackupStorage::pathFor(BackupStorage::folder(), backup));
            if (file.open(QIODevice::ReadOnly))
                outcome->backup = file.readAll();
        }
        if (!session.importBackup(backup, &s)) {
            backups = fail(where, session.error());
            continue;
        }
        importRow.samples << s;
        // The next export takes the next free number: keep the folder as it was.
        QFile::remove(BackupStorage::pathFor(BackupStorage::folder(), backup));
    }
    if (outcome)
        outcome->config = session.lastConfig();
    return backups;
}

bool TransferBench::runSingleDisplay(int baud, bool paced, const Variant &variant)
{
    QString where = QStringLiteral("single display, %1").arg(rateName(baud, paced));
    if (!variant.mode.isEmpty())
        where += QStringLiteral(", chip model, %1").arg(variant.mode);
    progress(where);
    QSettings().setValue(QStringLiteral("Link/FastTransfers"), variant.fastTransfers);
    BenchSession session(m_settings.simProgram);
    BenchSession::Sample warmUp;
    if (!session.start(simArguments(baud, paced, 0, variant)) ||
        !session.connectAndRead(baud, &warmUp))
        return fail(where, session.error());
    auto &splash = m_report.row(QStringLiteral("splash-0"),
                                QStringLiteral("splash upload, profile 0 (124x88)"), baud, paced,
                                variant.mode);
    if (!variant.mode.isEmpty()) {
        splash.latencyUs = kChipLatencyUs;
        splash.rateReached = session.runner().lineRate();
    }
    const int modes = recordingModes(paced);
    for (int run = 0; run < variant.repetitions * modes; ++run) {
        session.setRecording(recordingOn(run, modes));
        BenchSession::Sample s;
        if (!session.uploadSplash(m_settings.pictureFile, &s))
            return fail(where, session.error());
        splash.samples << s;
    }
    return true;
}
