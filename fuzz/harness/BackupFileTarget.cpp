// Input: two bytes choosing the connected dashboard (pages, display type), then the
// content of a backup file picked for import.
//
// Checked beyond the sanitizers: a file is either refused with a reason, or accepted
// with exactly the page bytes the dashboard has and, when its flags promise counters,
// with the counters; an accepted file is never shorter than what it claims to hold.

#include "fuzz/harness/FuzzInput.h"
#include "fuzz/harness/FuzzSupport.h"
#include "fuzz/harness/FuzzTargets.h"

#include "config/BackupFile.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QtEndian>

int fuzzBackupFile(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int pages = in.pick(4);
    const int disp = in.pick(2);
    const QJsonObject devInfo{{QStringLiteral("version"), 1}, {QStringLiteral("pages"), pages},
                              {QStringLiteral("count"), 3},   {QStringLiteral("disp"), disp},
                              {QStringLiteral("r4"), 0},      {QStringLiteral("r5"), 0}};
    const QByteArray content = in.rest();
    const QString path = writeScratchFile(QStringLiteral("0000.bkp"), content);

    BackupFile::Refusal refusal = BackupFile::NoRefusal;
    const auto backup = BackupFile::load(path, devInfo, &refusal);
    if (!backup) {
        if (refusal == BackupFile::NoRefusal)
            fuzzFail("a refused file without a reason");
        if (BackupFile::refusalText(refusal).isEmpty())
            fuzzFail("a refusal without a message");
        return 0;
    }
    if (refusal != BackupFile::NoRefusal)
        fuzzFail("an accepted file with a refusal");

    const qint64 infoSize = qFromLittleEndian<quint32>(content.constData() + 8);
    const bool counters = quint8(content.at(5)) & BackupFile::FlagCounters;
    if (content.size() < backupClaimedSize(content))
        fuzzFail("accepted a file shorter than it claims");
    if (backup->pageSize() != pages * BackupFile::PageSize)
        fuzzFail("accepted pages of another size than the dashboard's");
    if (backup->hasCounters() != counters || (counters && (backup->odometerBytes().size() != 4 ||
                                                           backup->engineTimeBytes().size() != 4)))
        fuzzFail("counters lost or invented");
    if (backup->pageSize() > 0 &&
        backup->pageChunk(0) != content.mid(int(BackupFile::HeaderSize + infoSize), 6))
        fuzzFail("the first page bytes are not the file's");
    for (int offset = 0; offset < backup->pageSize(); offset += 6) {
        if (backup->pageChunk(offset).size() != qMin(6, backup->pageSize() - offset))
            fuzzFail("a page chunk of the wrong size");
    }
    return 0;
}
