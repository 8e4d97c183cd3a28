#include "config/BackupStorage.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QVariantMap>

#include <algorithm>

const QString BackupStorage::Suffix = QStringLiteral(".bkp");

QString BackupStorage::folder()
{
    const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
    return dirs.isEmpty() ? QString() : dirs.first();
}

bool BackupStorage::ensureFolder(const QString &dir)
{
    return !dir.isEmpty() && QDir().mkpath(dir);
}

QString BackupStorage::pathFor(const QString &dir, const QString &id)
{
    // An identifier is a file name in the storage folder, never a path: one that could
    // reach another folder ("../x", "a/b", "C:\\x") names no backup.
    if (id.isEmpty() || id.contains(QLatin1Char('/')) || id.contains(QLatin1Char('\\'))
        || id.contains(QLatin1Char(':')) || id == QLatin1String("..") || id == QLatin1String("."))
        return QString();
    return dir + QLatin1Char('/') + id + Suffix;
}

QString BackupStorage::nextFreePath(const QString &dir)
{
    for (int counter = 0;; ++counter) {
        const QString path =
            pathFor(dir, QStringLiteral("%1").arg(counter, 4, 10, QLatin1Char('0')));
        const QFileInfo partial(partialPath(path));
        if (!QFileInfo::exists(path) && !partial.exists() && !partial.isSymLink())
            return path;
    }
}

QString BackupStorage::partialPath(const QString &finalPath)
{
    return finalPath + QStringLiteral(".part");
}

QVariantList BackupStorage::list(const QString &dir)
{
    QVariantList result;
    QDir folder(dir);
    if (dir.isEmpty() || !folder.exists())
        return result;

    QFileInfoList files = folder.entryInfoList({QLatin1Char('*') + Suffix}, QDir::Files);
    std::sort(files.begin(), files.end(),
              [](const QFileInfo &a, const QFileInfo &b) { return a.fileName() < b.fileName(); });
    for (const QFileInfo &info : qAsConst(files)) {
        // QDir::Files lets links through whatever they point to; only what an import
        // can read is offered (no FIFO, no device).
        if (!info.isFile())
            continue;
        // Not every file system records a birth time; the last change is the
        // nearest we have there.
        QDateTime created = info.birthTime();
        if (!created.isValid())
            created = info.lastModified();
        const QString name = info.fileName();
        result.append(QVariantMap{
            {QStringLiteral("name"), name.left(name.size() - Suffix.size())},
            {QStringLiteral("size"), qint64(info.size())},
            {QStringLiteral("created"),
             created.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"))},
        });
    }
    return result;
}
