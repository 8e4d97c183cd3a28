#include "bench/TransferBench.h"

#include "config/BackupStorage.h"
#include "config/ParameterCatalogue.h"

#include <QFile>
#include <QImage>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>
#include <QSet>

#include <algorithm>

namespace {

constexpr int kPages = 16;
constexpr int kDoublePositions = 13;
constexpr int kTimingRate = 115200; // the port's rate when the line is not paced

QString rateName(int baud, bool paced)
{
    return paced ? QStringLiteral("%1 bit/s").arg(baud) : QStringLiteral("no pacing");
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
    for (int baud : qAsConst(m_settings.rates)) {
        runDoubleDisplay(baud, true);
        runSingleDisplay(baud, true);
    }
    if (m_settings.unpaced) {
        runDoubleDisplay(kTimingRate, false);
        runSingleDisplay(kTimingRate, false);
    }
    return m_ok;
}

QStringList TransferBench::simArguments(int baud, bool paced, int disp) const
{
    QStringList args = {QStringLiteral("--baud"),       QString::number(baud),
                        QStringLiteral("--disp"),       QString::number(disp),
                        QStringLiteral("--pages"),      QString::number(kPages),
                        QStringLiteral("--latency-us"), QString::number(m_settings.latencyUs)};
    if (paced)
        args << QStringLiteral("--pacing");
    return args;
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

bool TransferBench::runDoubleDisplay(int baud, bool paced)
{
    const QString where = QStringLiteral("double display, %1").arg(rateName(baud, paced));
    progress(QStringLiteral("%1: 13 positions, %2 pages").arg(where).arg(kPages));
    BenchSession session(m_settings.simProgram);
    BenchSession::Sample warmUp;
    if (!session.start(simArguments(baud, paced, 1)) || !session.connectAndRead(baud, &warmUp))
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

    auto &read = m_report.row(QStringLiteral("read"),
                              QStringLiteral("discovery + read, 13 positions"), baud, paced);
    auto &write = m_report.row(QStringLiteral("write"),
                               QStringLiteral("write + re-read, 13 positions"), baud, paced);
    auto &splash = m_report.row(QStringLiteral("splash-1"),
                                QStringLiteral("splash upload, profile 1 (173x128)"), baud, paced);
    auto &exportRow = m_report.row(QStringLiteral("export"),
                                   QStringLiteral("backup export, 16 pages"), baud, paced);
    auto &importRow = m_report.row(
        QStringLiteral("import"), QStringLiteral("backup import + re-read, 16 pages"), baud, paced);

    bool backups = true;
    for (int rep = 0; rep < m_settings.repetitions; ++rep) {
        progress(QStringLiteral("  repetition %1 of %2").arg(rep + 1).arg(m_settings.repetitions));
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
        if (!session.importBackup(backup, &s)) {
            backups = fail(where, session.error());
            continue;
        }
        importRow.samples << s;
        // The next export takes the next free number: keep the folder as it was.
        QFile::remove(BackupStorage::pathFor(BackupStorage::folder(), backup));
    }
    return true;
}

bool TransferBench::runSingleDisplay(int baud, bool paced)
{
    const QString where = QStringLiteral("single display, %1").arg(rateName(baud, paced));
    progress(where);
    BenchSession session(m_settings.simProgram);
    BenchSession::Sample warmUp;
    if (!session.start(simArguments(baud, paced, 0)) || !session.connectAndRead(baud, &warmUp))
        return fail(where, session.error());
    auto &splash = m_report.row(QStringLiteral("splash-0"),
                                QStringLiteral("splash upload, profile 0 (124x88)"), baud, paced);
    for (int rep = 0; rep < m_settings.repetitions; ++rep) {
        BenchSession::Sample s;
        if (!session.uploadSplash(m_settings.pictureFile, &s))
            return fail(where, session.error());
        splash.samples << s;
    }
    return true;
}
