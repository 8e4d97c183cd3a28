#include "config/WriteHistory.h"

#include "config/BackupStorage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

const QString kHistory = QStringLiteral("history");
const QString kTaken = QStringLiteral("taken");
const QString kFirmware = QStringLiteral("firmware");
const QString kWritten = QStringLiteral("written");
const QString kOutcome = QStringLiteral("outcome");
const char *const outcomeNames[] = {"pending", "written", "failed"};

// Entries are named by the UTC time they were taken, so names sort by age.
const QString NamePattern = QStringLiteral("yyyyMMdd-HHmmss-zzz");
constexpr qint64 MaxEntrySize = 1 << 20;

bool readEntry(const QString &path, QJsonObject *root)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxEntrySize)
        return false;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject() || !doc.object().value(kHistory).isObject())
        return false;
    *root = doc.object();
    return true;
}

bool writeEntry(const QString &path, const QJsonObject &root, QString *error)
{
    const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Indented);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
        if (error)
            *error = WriteHistory::tr("The dashboard's settings could not be kept in the "
                                      "history: %1")
                         .arg(file.errorString());
        return false;
    }
    return true;
}

} // namespace

QString WriteHistory::folder()
{
    return BackupStorage::folder() + QLatin1Char('/') + kHistory;
}

QString WriteHistory::record(const QString &dir, const LayoutProfile::Layout &held,
                             const ParameterCatalogue::ItemTable &items, const QJsonObject &devInfo,
                             const QString &written, const QString &toolVersion, QString *error,
                             const QDateTime &now)
{
    if (!BackupStorage::ensureFolder(dir)) {
        *error = tr("The history folder %1 could not be made").arg(dir);
        return QString();
    }
    QJsonObject root =
        QJsonDocument::fromJson(LayoutProfile::encode(held, items, toolVersion)).object();
    QJsonObject history{{kTaken, now.toUTC().toString(Qt::ISODateWithMs)},
                        {kWritten, written},
                        {kOutcome, QLatin1String(outcomeNames[Pending])}};
    if (devInfo.contains(QStringLiteral("version")))
        history.insert(kFirmware, devInfo.value(QStringLiteral("version")).toInt());
    root.insert(kHistory, history);

    // Two writes in one millisecond (or a clock set back) must not share a file; the
    // sequence number keeps such names in the order they were taken.
    const QString base = dir + QLatin1Char('/') + now.toUTC().toString(NamePattern);
    QString path;
    for (int n = 0; path.isEmpty() || QFileInfo::exists(path); ++n) {
        if (n > 99) {
            *error = tr("The history folder %1 holds too many entries of one moment").arg(dir);
            return QString();
        }
        path = base + QStringLiteral("-%1.json").arg(n, 2, 10, QLatin1Char('0'));
    }
    if (!writeEntry(path, root, error))
        return QString();
    return path;
}

bool WriteHistory::finish(const QString &path, Outcome outcome)
{
    QJsonObject root;
    if (!readEntry(path, &root))
        return false;
    QJsonObject history = root.value(kHistory).toObject();
    history.insert(kOutcome, QLatin1String(outcomeNames[outcome]));
    root.insert(kHistory, history);
    if (!writeEntry(path, root, nullptr))
        return false;
    prune(QFileInfo(path).absolutePath());
    return true;
}

QList<WriteHistory::Entry> WriteHistory::list(const QString &dir)
{
    QList<Entry> out;
    const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.json")}, QDir::Files,
                                                        QDir::Name | QDir::Reversed);
    for (const QFileInfo &info : files) {
        QJsonObject root;
        if (!readEntry(info.filePath(), &root))
            continue;
        const QJsonObject history = root.value(kHistory).toObject();
        Entry e;
        e.path = info.filePath();
        e.taken = QDateTime::fromString(history.value(kTaken).toString(), Qt::ISODateWithMs);
        e.taken.setTimeSpec(Qt::UTC);
        e.firmware = history.value(kFirmware).toInt(-1);
        e.positions = root.value(QStringLiteral("display")).toString() == QLatin1String("double")
                          ? LayoutProfile::DoublePositions
                          : LayoutProfile::SinglePositions;
        e.engine = root.value(QStringLiteral("engine")).toString();
        e.written = history.value(kWritten).toString();
        const QString outcome = history.value(kOutcome).toString();
        for (int o = Pending; o <= Failed; ++o) {
            if (outcome == QLatin1String(outcomeNames[o]))
                e.outcome = Outcome(o);
        }
        out << e;
    }
    return out;
}

void WriteHistory::prune(const QString &dir, int keep)
{
    // An entry whose write did not finish may be the only record of a dashboard that the
    // write left half-done: newer finished entries never push it out, only newer
    // unfinished ones do.
    int finished = 0;
    int unfinished = 0;
    for (const Entry &e : list(dir)) {
        int &kept = e.outcome == Written ? finished : unfinished;
        if (++kept > keep)
            QFile::remove(e.path);
    }
}

QString WriteHistory::describe(const Entry &entry)
{
    const QString when = entry.taken.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const QString display = entry.positions == LayoutProfile::DoublePositions
                                ? tr("double display")
                                : tr("single display");
    const QString firmware =
        entry.firmware >= 0 ? tr("firmware %1").arg(entry.firmware) : tr("firmware unknown");
    QString outcome;
    switch (entry.outcome) {
    case Pending:
        outcome = tr("not finished");
        break;
    case Written:
        outcome = tr("written");
        break;
    case Failed:
        outcome = tr("failed");
        break;
    }
    return tr("%1, %2, %3: before %4 (%5)").arg(when, firmware, display, entry.written, outcome);
}
