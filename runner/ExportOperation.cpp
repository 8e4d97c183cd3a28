// The backup export: the whole configuration memory in 6-byte block reads from 0x0000
// (00 40 FF FF FF FF FF FF, then 06 40 ...), each reply appended to a partial file that
// gets its ".bkp" name only when the last byte is in. With 1 page the last read is at 1020
// (FC 43 ...) and brings 4 bytes.

#include "runner/RunnerOperation.h"

#include "config/BackupFile.h"
#include "config/BackupStorage.h"

#include <QDir>

namespace {

// Where the page transfer stops: the end of the memory, or on a 16-page dashboard the
// maintenance values at 0x3FFB. A block read at 0x3FFC is the saved engine-time request
// (FC 7F), so the last chunk of 16 pages is the one at 16374, carrying 5 bytes.
int pageTransferEnd(int total)
{
    return BackupFile::transferBytes(total / BackupFile::PageSize);
}

} // namespace

class ExportOperation : public RunnerOperation
{
public:
    explicit ExportOperation(CFGRunner &runner) : RunnerOperation(runner, CFGRunner::OP_Export) {}

    bool start(bool withCounters)
    {
        runner.setState(CFGRunner::Exporting);
        const QString dir = runner.backupStoragePath();
        if (BackupStorage::ensureFolder(dir))
            file = BackupFile::createIn(dir);
        if (!file)
            return fail(CFGRunner::tr("Config could not be saved - check permissions"));
        const MaintenanceCounters &c = runner.counters;
        if (!file->writeHead(runner.devInfo, withCounters, c.value(MaintenanceCounters::SavedOdometer),
                             c.value(MaintenanceCounters::SavedEngineTime)))
            return fail(notWritten());
        if (BackupFile::pageCount(runner.devInfo) == 0) {
            if (!file->commit())
                return fail(notWritten());
            const QString path = file->fileName();
            file.reset();
            runner.setState(CFGRunner::Idle);
            finish(true, QString(), path);
            return true;
        }
        planExchanges(BackupFile::transferExchanges(BackupFile::pageCount(runner.devInfo)));
        runner.sendBlockRead(0x0000);
        emit runner.progress(0.0);
        return true;
    }

    void onBlock(int address, const QByteArray &payload) override
    {
        const int total = BackupFile::pageCount(runner.devInfo) * BackupFile::PageSize;
        const int end = pageTransferEnd(total);
        if (!file) {
            fail(CFGRunner::tr("Export error. The saved config may be corrupt"));
            return;
        }
        // Replies come in address order, one per read; anything else would shift every
        // following byte of the backup.
        if (address >= total || address != file->pageBytesWritten()) {
            fail(CFGRunner::tr("Export failed - invalid reply"));
            return;
        }

        emit runner.progress(double(address) / total);
        if (!file->appendPages(payload.left(qMin(6, end - address)))) {
            fail(notWritten());
            return;
        }
        if (address + 6 < end) {
            runner.sendBlockRead(address + 6);
            return;
        }
        // Above the transfer's end (the maintenance values) the file holds erased bytes.
        if (!file->appendPages(QByteArray(total - end, '\xFF')) || !file->commit()) {
            fail(notWritten());
            return;
        }
        const QString path = file->fileName();
        file.reset();
        emit runner.alert(CFGRunner::tr("Export complete!") + QLatin1Char('\n') +
                          CFGRunner::tr("Saved as %1").arg(QDir::toNativeSeparators(path)));
        runner.setState(CFGRunner::Idle);
        finish(true, QString(), path);
    }

    // An unfinished backup's partial file goes with it.
    void cutOff() override { file.reset(); }

private:
    static QString notWritten()
    {
        return CFGRunner::tr("Export failed - the backup could not be written");
    }

    bool fail(const QString &text)
    {
        file.reset();
        emit runner.alert(text);
        runner.setState(CFGRunner::Idle);
        finish(false, text);
        return false;
    }

    std::unique_ptr<BackupFile> file;
};

bool CFGRunner::exportConfig(bool w_odo)
{
    if (devInfo.isEmpty()) {
        refuseOperation(OP_Export, tr("Cannot export - device is not properly connected"));
        return false;
    }
    if (state != Idle) {
        refuseOperation(OP_Export, tr("Cannot export - another operation is in progress"));
        return false;
    }
    if (BackupFile::pageCount(devInfo) > BackupFile::MaxPages) {
        refuseOperation(OP_Export,
                        tr("Cannot export - the device reports more memory than can be copied"));
        return false;
    }
    // Both saved values must have come from this dashboard since the connect, or the
    // counters block would carry zeros or another dashboard's values.
    const bool withCounters = w_odo && counters.savedKnown();
    auto *op = new ExportOperation(*this);
    startOperation(op);
    return op->start(withCounters);
}
