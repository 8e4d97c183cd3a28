// Backups as the import dialog and the menu see them: the backup folder and its files.
// The transfers are in ExportOperation.cpp and ImportOperation.cpp.

#include "runner/CFGRunner.h"

#include "config/BackupFile.h"
#include "config/BackupStorage.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QVector>

#include <algorithm>

QString CFGRunner::backupStoragePath() const
{
    return BackupStorage::folder();
}

// The backups as the import dialog offers them: each with the device information saved
// in it ("info", empty when the file cannot be read), the newest first.
QVariantList CFGRunner::listSavedConfigs()
{
    const QString dir = backupStoragePath();
    QVector<QPair<qint64, QVariantMap>> entries;
    for (const QVariant &entry : BackupStorage::list(dir)) {
        QVariantMap map = entry.toMap();
        const QFileInfo file(
            BackupStorage::pathFor(dir, map.value(QStringLiteral("name")).toString()));
        const QJsonObject info = BackupFile::readInfo(file.filePath());
        map.insert(QStringLiteral("info"), info.toVariantMap());
        // A backup is written once: its last change is when it was made.
        entries.append(qMakePair(file.lastModified().toMSecsSinceEpoch(), map));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) {
        if (a.first != b.first)
            return a.first > b.first;
        return a.second.value(QStringLiteral("name")).toString() >
               b.second.value(QStringLiteral("name")).toString();
    });
    QVariantList result;
    for (const auto &entry : qAsConst(entries))
        result.append(entry.second);
    return result;
}

void CFGRunner::openConfigStorage()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(backupStoragePath()));
}
