// The backup import: the file's pages written back in acknowledged 6-byte block writes
// from 0x0000, after the saved counters when asked (FE FF <odometer> FF FF, then
// FC FF <engine time> FF FF); then the configuration is read again.

#include "runner/RunnerOperation.h"

#include "config/BackupFile.h"
#include "config/BackupStorage.h"
#include "config/DashboardMemory.h"

#include <QDir>
#include <QFileInfo>
#include <utility>
#include <QTimer>

class ImportOperation : public RunnerOperation
{
public:
    explicit ImportOperation(CFGRunner &runner)
        : RunnerOperation(runner, CFGRunner::OP_Import), reader(runner)
    {
        reread.setSingleShot(true);
        QObject::connect(&reread, &QTimer::timeout, &runner, [this] {
            m_waiting = false;
            if (reader.start())
                return;
            // Nothing to read back (an empty parameter table): the interface still has
            // to learn that the import is over.
            if (this->runner.state == CFGRunner::Idle)
                emit this->runner.stateChanged(CFGRunner::Idle);
            finish(true, QString(), backupBefore);
        });
    }

    // `backup`: the backup of what the dashboard held, made just before; the end names it.
    bool start(const QString &path, bool w_odo, const QString &backup)
    {
        backupBefore = backup;
        runner.setState(CFGRunner::Importing);
        BackupFile::Refusal refusal = BackupFile::NoRefusal;
        file = BackupFile::load(path, runner.devInfo, &refusal);
        if (!file) {
            const QString text = BackupFile::refusalText(refusal);
            emit runner.alert(text);
            runner.setState(CFGRunner::Idle);
            finish(false, text);
            return false;
        }

        runner.recordHistory(
            CFGRunner::tr("import of %1").arg(QFileInfo(path).fileName()));
        const int pages = BackupFile::pageCount(runner.devInfo);
        runner.pendingWrites.clear();
        emit runner.progress(0.0);
        const bool withCounters = w_odo && file->hasCounters();
        planExchanges((withCounters ? 2 : 0) + BackupFile::transferExchanges(pages) +
                      reader.exchanges());
        if (withCounters) {
            runner.writeBlock(file->odometerBytes(), DashboardMemory::SavedOdometer);
            runner.pendingWrites.append(
                qMakePair(DashboardMemory::SavedEngineTime, file->engineTimeBytes()));
        }
        if (pages > 0) {
            const QByteArray first = file->pageChunk(0);
            if (withCounters)
                runner.pendingWrites.append(qMakePair(0x0000, first));
            else
                runner.writeBlock(first, 0x0000);
        } else if (!withCounters) {
            written();
        }
        return true;
    }

    void onAcknowledge(int address) override
    {
        const int total = BackupFile::pageCount(runner.devInfo) * BackupFile::PageSize;
        if (total == 0) {
            // No pages: this acknowledges the last counter write.
            written();
            return;
        }
        // Only page writes get here (the counters go through pendingWrites first), and
        // only the one in flight; an acknowledgement beyond the pages is none of this
        // import's.
        const int end = qMin(total, int(BackupFile::MaintenanceValues));
        if (address >= end || !file)
            return;

        emit runner.progress(double(address) / total);
        int next = address + 6;
        if (next >= end) {
            written();
            return;
        }
        // The last chunk is padded with FF on the wire. Below the maintenance values that
        // padding would land on 0x3FFB, so there the last chunk is moved down to end
        // exactly at them, writing one byte of the chunk before once more with the same
        // value.
        if (end < total && next + 6 > end)
            next = end - 6;
        runner.writeBlock(file->pageChunk(next).left(end - next), next);
    }

    void onBlock(int address, const QByteArray &payload) override
    {
        if (reader.onBlock(address, payload))
            finish(true, QString(), backupBefore);
    }

    void cutOff() override
    {
        reread.stop();
        file.reset();
    }
    bool waiting() const override { return m_waiting; }

private:
    void written()
    {
        file.reset();
        runner.history.finish(true);
        QString text = CFGRunner::tr("Import finished");
        if (!backupBefore.isEmpty())
            text += QLatin1Char('\n') +
                    CFGRunner::tr("What the dashboard held before is kept in %1")
                        .arg(QDir::toNativeSeparators(backupBefore));
        emit runner.alert(text);
        runner.setState(CFGRunner::Idle, false);
        // The read once the current event is handled.
        m_waiting = true;
        reread.start(0);
    }

    std::unique_ptr<BackupFile> file;
    QString backupBefore;
    ConfigReader reader;
    QTimer reread;
    bool m_waiting = false;
};

bool CFGRunner::importConfig(QString id, bool w_odo, bool backupFirst)
{
    return importConfigFile(BackupStorage::pathFor(backupStoragePath(), id), w_odo, backupFirst);
}

bool CFGRunner::importConfigFile(QString path, bool w_odo, bool backupFirst)
{
    if (devInfo.isEmpty()) {
        refuseOperation(OP_Import, tr("Cannot import - device is not properly connected"));
        return false;
    }
    return backupFirst ? importAfterBackup(path, w_odo) : startImport(path, w_odo);
}

int CFGRunner::backupTimeMs() const
{
    return qRound(BackupFile::transferExchanges(BackupFile::pageCount(devInfo)) *
                  exchangeTimeMs());
}

bool CFGRunner::importAfterBackup(const QString &path, bool w_odo)
{
    // What would turn the import down does so now, before the export's minutes.
    if (!importAllowed(path))
        return false;
    BackupFile::Refusal refusal = BackupFile::NoRefusal;
    if (!BackupFile::load(path, devInfo, &refusal)) {
        refuseOperation(OP_Import, BackupFile::refusalText(refusal));
        return false;
    }
    importAfterExport = path;
    importAfterExportCounters = w_odo;
    // A refused export has ended (and the import with it) when this returns.
    return exportConfig(true);
}

void CFGRunner::onBackupBeforeImport(bool ok, const QString &reason, const QString &file)
{
    const QString path = std::exchange(importAfterExport, QString());
    if (!ok) {
        refuseOperation(OP_Import, tr("The import was not started: the backup of the "
                                      "dashboard failed (%1)")
                                       .arg(reason.isEmpty() ? tr("Connection closed") : reason));
        return;
    }
    // Right on from the export's last reply: the import's first write goes out as soon as
    // the adapter is ready again.
    startImport(path, importAfterExportCounters, file);
}

bool CFGRunner::importAllowed(const QString &path)
{
    if (!QFileInfo::exists(path)) {
        refuseOperation(OP_Import, tr("Cannot import - the source file does not exist"));
        return false;
    }
    if (state != Idle) {
        refuseOperation(OP_Import, tr("Cannot import - another operation is in progress"));
        return false;
    }
    if (BackupFile::pageCount(devInfo) > BackupFile::MaxPages) {
        refuseOperation(OP_Import,
                        tr("Cannot import - the device reports more memory than can be written"));
        return false;
    }
    return true;
}

bool CFGRunner::startImport(const QString &path, bool w_odo, const QString &backup)
{
    if (!importAllowed(path))
        return false;
    auto *op = new ImportOperation(*this);
    startOperation(op);
    return op->start(path, w_odo, backup);
}
