// Backups: the whole configuration memory copied into a file and written back.

#include "runner/CFGRunner.h"

#include <QFile>

QVariantList CFGRunner::listSavedConfigs()
{
    return QVariantList();
}

bool CFGRunner::exportConfig(bool w_odo)
{
    Q_UNUSED(w_odo)
    return false;
}

bool CFGRunner::importConfig(QString id, bool w_odo)
{
    Q_UNUSED(id)
    Q_UNUSED(w_odo)
    return false;
}

void CFGRunner::openConfigStorage() {}

QString CFGRunner::backupStoragePath() const
{
    return QString();
}

bool CFGRunner::validateBackupFile(bool &w_odo)
{
    Q_UNUSED(w_odo)
    return false;
}

void CFGRunner::onExportChunk(int address, const QByteArray &payload)
{
    Q_UNUSED(address)
    Q_UNUSED(payload)
}

void CFGRunner::onImportAcknowledge(int address)
{
    Q_UNUSED(address)
}

void CFGRunner::closeBackupFile()
{
    if (backupFile) {
        backupFile->close();
        backupFile.reset();
    }
}
