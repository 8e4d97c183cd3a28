// Backups: the whole configuration memory copied into a numbered file and written back.
//
// An export reads the memory in 6-byte block reads from 0x0000 (00 40 FF FF FF FF FF FF,
// then 06 40 ...) and appends each reply to a partial file that gets its ".bkp" name only
// when the last byte is in; with 1 page the last read is at 1020 (FC 43 ...) and brings 4
// bytes. An import writes the pages back in acknowledged 6-byte chunks, after the saved
// counters when asked (FE FF <odometer> FF FF, then FC FF <engine time> FF FF).

#include "runner/CFGRunner.h"

#include "config/BackupFile.h"
#include "config/BackupStorage.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QVector>

#include <algorithm>

namespace {

constexpr int SavedOdometerAddress = 0x3FFE;
constexpr int SavedEngineTimeAddress = 0x3FFC;

// Where the page transfer stops: the end of the memory, or on a 16-page dashboard the
// maintenance values at 0x3FFB. A block read at 0x3FFC is the saved engine-time request
// (FC 7F) and a block write there sets that counter, so the last chunk of 16 pages is the
// one at 16374, carrying 5 bytes.
int pageTransferEnd(int total)
{
    return qMin(total, int(BackupFile::MaintenanceValues));
}

} // namespace

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

bool CFGRunner::exportConfig(bool w_odo)
{
    if (devInfo.isEmpty()) {
        emit alert(tr("Cannot export - device is not properly connected"));
        return false;
    }
    if (state != Idle) {
        emit alert(tr("Cannot export - another operation is in progress"));
        return false;
    }
    const int pages = BackupFile::pageCount(devInfo);
    if (pages > BackupFile::MaxPages) {
        emit alert(tr("Cannot export - the device reports more memory than can be copied"));
        return false;
    }

    setState(Exporting);
    closeBackupFile();
    const QString dir = backupStoragePath();
    if (BackupStorage::ensureFolder(dir))
        backupFile = BackupFile::createIn(dir);
    if (!backupFile) {
        emit alert(tr("Config could not be saved - check permissions"));
        setState(Idle);
        return false;
    }

    // Both saved values must have come from this dashboard since the connect, or the
    // counters block would carry zeros or another dashboard's values.
    const bool withCounters = w_odo && savedValueCount > 1;
    if (!backupFile->writeHead(devInfo, withCounters, savedOdometer, savedEngineTime)) {
        failExport();
        return false;
    }
    if (pages == 0) {
        if (!backupFile->commit()) {
            failExport();
            return false;
        }
        closeBackupFile();
        setState(Idle);
        return true;
    }
    sendBlockRead(0x0000);
    emit progress(0.0);
    return true;
}

void CFGRunner::onExportChunk(int address, const QByteArray &payload)
{
    const int total = BackupFile::pageCount(devInfo) * BackupFile::PageSize;
    const int end = pageTransferEnd(total);
    if (!backupFile) {
        emit alert(tr("Export error. The saved config may be corrupt"));
        setState(Idle);
        return;
    }
    // Replies come in address order, one per read; anything else would shift every
    // following byte of the backup.
    if (address >= total || address != backupFile->pageBytesWritten()) {
        closeBackupFile();
        emit alert(tr("Export failed - invalid reply"));
        setState(Idle);
        return;
    }

    emit progress(double(address) / total);
    if (!backupFile->appendPages(payload.left(qMin(6, end - address)))) {
        failExport();
        return;
    }
    if (address + 6 < end) {
        sendBlockRead(address + 6);
        return;
    }
    // Above the transfer's end (the maintenance values) the file holds erased bytes.
    if (!backupFile->appendPages(QByteArray(total - end, '\xFF')) || !backupFile->commit()) {
        failExport();
        return;
    }
    const QString saved = QDir::toNativeSeparators(backupFile->fileName());
    closeBackupFile();
    emit alert(tr("Export complete!") + QLatin1Char('\n') + tr("Saved as %1").arg(saved));
    setState(Idle);
}

void CFGRunner::failExport()
{
    closeBackupFile();
    emit alert(tr("Export failed - the backup could not be written"));
    setState(Idle);
}

bool CFGRunner::importConfig(QString id, bool w_odo)
{
    if (devInfo.isEmpty()) {
        emit alert(tr("Cannot import - device is not properly connected"));
        return false;
    }
    return startImport(BackupStorage::pathFor(backupStoragePath(), id), w_odo);
}

bool CFGRunner::importConfigFile(QString path, bool w_odo)
{
    if (devInfo.isEmpty()) {
        emit alert(tr("Cannot import - device is not properly connected"));
        return false;
    }
    return startImport(path, w_odo);
}

bool CFGRunner::startImport(const QString &path, bool w_odo)
{
    if (!QFileInfo::exists(path)) {
        emit alert(tr("Cannot import - the source file does not exist"));
        return false;
    }
    if (state != Idle) {
        emit alert(tr("Cannot import - another operation is in progress"));
        return false;
    }
    const int pages = BackupFile::pageCount(devInfo);
    if (pages > BackupFile::MaxPages) {
        emit alert(tr("Cannot import - the device reports more memory than can be written"));
        return false;
    }

    setState(Importing);
    closeBackupFile();
    BackupFile::Refusal refusal = BackupFile::NoRefusal;
    backupFile = BackupFile::load(path, devInfo, &refusal);
    if (!backupFile) {
        emit alert(BackupFile::refusalText(refusal));
        setState(Idle);
        return false;
    }

    recordHistory(tr("import of %1").arg(QFileInfo(path).fileName()));
    pendingWrites.clear();
    emit progress(0.0);
    const bool withCounters = w_odo && backupFile->hasCounters();
    if (withCounters) {
        writeBlock(backupFile->odometerBytes(), SavedOdometerAddress);
        pendingWrites.append(qMakePair(SavedEngineTimeAddress, backupFile->engineTimeBytes()));
    }
    if (pages > 0) {
        const QByteArray first = backupFile->pageChunk(0);
        if (withCounters)
            pendingWrites.append(qMakePair(0x0000, first));
        else
            writeBlock(first, 0x0000);
    } else if (!withCounters) {
        finishImport();
    }
    return true;
}

void CFGRunner::onImportAcknowledge(int address)
{
    const int total = BackupFile::pageCount(devInfo) * BackupFile::PageSize;
    if (total == 0) {
        // No pages: this acknowledges the last counter write.
        finishImport();
        return;
    }
    // Only page writes get here (the counters go through pendingWrites first), and only
    // the one in flight; an acknowledgement beyond the pages is none of this import's.
    const int end = pageTransferEnd(total);
    if (address >= end || !backupFile)
        return;

    emit progress(double(address) / total);
    int next = address + 6;
    if (next >= end) {
        finishImport();
        return;
    }
    // The last chunk is padded with FF on the wire. Below the maintenance values that
    // padding would land on 0x3FFB, so there the last chunk is moved down to end exactly
    // at them, writing one byte of the chunk before once more with the same value.
    if (end < total && next + 6 > end)
        next = end - 6;
    writeBlock(backupFile->pageChunk(next).left(end - next), next);
}

void CFGRunner::finishImport()
{
    closeBackupFile();
    finishHistory(true);
    emit alert(tr("Import finished"));
    setState(Idle, false);
    QMetaObject::invokeMethod(
        this,
        [this] {
            requestConfig();
            // Nothing to read back (an empty parameter table): the interface still has
            // to learn that the import is over.
            if (state == Idle)
                emit stateChanged(Idle);
        },
        Qt::QueuedConnection);
}

void CFGRunner::closeBackupFile()
{
    // An unfinished export's partial file goes with it.
    backupFile.reset();
}
