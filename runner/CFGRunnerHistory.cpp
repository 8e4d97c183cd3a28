// Never writing blind: what a configuration write or an import would change against what
// the dashboard held when it was last read, and the history of writes. Before the first
// byte of a write goes out, what the dashboard held is kept as a layout profile in the
// history folder (it was just read, so this costs no traffic); the entry is finished with
// the write's outcome, and one whose write broke off says so.

#include "runner/CFGRunner.h"

#include "config/BackupFile.h"
#include "config/BackupStorage.h"
#include "config/BoardConfig.h"
#include "config/DeviceConfig.h"
#include "config/LayoutProfile.h"
#include "config/WriteDifference.h"
#include "config/WriteHistory.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

namespace {

constexpr int TableAddress = 0x0000;
constexpr int BoardAddress = 0x0200;
constexpr int BoardAreaSize = 0x0200;

QVariantMap differenceResult(const QStringList &lines)
{
    return QVariantMap{{QStringLiteral("ok"), true},
                       {QStringLiteral("lines"), lines},
                       {QStringLiteral("error"), QString()}};
}

QVariantMap differenceRefusal(const QString &error)
{
    return QVariantMap{{QStringLiteral("ok"), false},
                       {QStringLiteral("lines"), QStringList()},
                       {QStringLiteral("error"), error}};
}

// `length` bytes of a backup's pages from `address`; fewer past their end.
QByteArray pageBytes(const BackupFile &file, int address, int length)
{
    QByteArray out;
    while (out.size() < length) {
        const QByteArray chunk = file.pageChunk(address + out.size());
        if (chunk.isEmpty())
            break;
        out += chunk;
    }
    return out.left(length);
}

} // namespace

void CFGRunner::watchReadsForHistory()
{
    // A read emits the configuration list and then the board map while Reading; the same
    // signals outside a read are the pages' own edits (an engine change) and say nothing
    // about the dashboard.
    connect(this, &CFGRunner::deviceConfig, this, [this](const QVariantList &config) {
        if (state != Reading)
            return;
        history.configRead(config);
    });
#if !KX4_UPDATE_EDITION
    connect(this, &CFGRunner::boardConfig, this, [this](const QVariantMap &board) {
        if (state == Reading)
            history.boardRead(board);
    });
#endif
}

QVariantMap CFGRunner::configDifference(QVariantList config, QVariantMap board)
{
    if (devInfo.isEmpty() || !link->isOpen())
        return differenceRefusal(tr("Cannot write - device is not properly connected"));

    const int positions = displayPositions();
    const LayoutProfile::Layout now = history.held(engineNames, positions);

    // What updateConfig will write: the entries the catalogue knows, and the board
    // settings (with the selected engine) only over a record that was understood.
    QVariantList written;
    for (const QVariant &entry : qAsConst(config)) {
        QVariantMap map = entry.toMap();
        if (map.value(QStringLiteral("active")).toBool() &&
            !catalogueItems.contains(map.value(QStringLiteral("hid")).toUInt()))
            map.insert(QStringLiteral("active"), false);
        written.append(map);
    }
    const bool withBoard = boardValid() && !board.isEmpty();
    if (withBoard)
        board.insert(QStringLiteral("engidx"), qMax(engineIndex, 0));
    LayoutProfile::Layout next = LayoutProfile::fromPages(
        withBoard ? engineNames.value(qMax(engineIndex, 0)) : QString(), positions, written,
        withBoard ? board : QVariantMap());
    return differenceResult(WriteDifference::between(now, next, catalogueItems));
}

#if !KX4_UPDATE_EDITION
QVariantMap CFGRunner::importDifference(QString id, bool w_odo)
{
    return importFileDifference(BackupStorage::pathFor(backupStoragePath(), id), w_odo);
}

QVariantMap CFGRunner::importFileDifference(QString path, bool w_odo)
{
    if (devInfo.isEmpty())
        return differenceRefusal(tr("Cannot import - device is not properly connected"));
    if (!QFileInfo::exists(path))
        return differenceRefusal(tr("Cannot import - the source file does not exist"));
    BackupFile::Refusal refusal = BackupFile::NoRefusal;
    const std::unique_ptr<BackupFile> file = BackupFile::load(path, devInfo, &refusal);
    if (!file)
        return differenceRefusal(BackupFile::refusalText(refusal));

    const QFileInfo info(path);
    WriteDifference::Origin origin;
    // A backup is written once: its last change is when it was made.
    origin.made = info.lastModified();
    origin.devInfo = BackupFile::readInfo(path);
    origin.fileName = info.fileName();

    const int positions = displayPositions();
    const LayoutProfile::Layout now = history.held(engineNames, positions);

    // The backup's board record and parameter table, as a read would find them after it.
    QVariantMap board;
    const QByteArray boardHead = pageBytes(*file, BoardAddress, 3);
    if (boardHead.size() == 3 && quint8(boardHead.at(2)) == 0xFF) {
        board = defaultBoardConfig;
    } else if (boardHead.size() == 3) {
        const int size =
            qMin(int(qFromLittleEndian<quint16>(boardHead.constData())), BoardAreaSize);
        board = BoardConfig::fromBytes(pageBytes(*file, BoardAddress, size));
    }
    const int engine = board.value(QStringLiteral("engidx"), engineIndex).toInt();
    const int count = origin.devInfo.value(QStringLiteral("count")).toInt();
    DeviceConfig table;
    QVariantList config;
    for (int i = 0; i < positions; ++i)
        config.append(QVariantMap{{QStringLiteral("active"), false}});
    if (count > 0 &&
        table.fromByteArray(pageBytes(*file, TableAddress, count * DeviceConfig::recordSize()))) {
        for (const ConfigParameter &record : table.parameters()) {
            if (record.disp.num != 1 || record.disp.pos >= positions)
                continue;
            const quint32 hid = ParameterCatalogue::matchRecord(
                catalogueItems, record.pid, record.cid, record.math.div, engine);
            if (hid != 0)
                config[record.disp.pos] = QVariantMap{{QStringLiteral("active"), true},
                                                      {QStringLiteral("hid"), uint(hid)}};
        }
    }
    const LayoutProfile::Layout next =
        LayoutProfile::fromPages(HistoryKeeper::engineOf(board, engineNames), positions, config,
                                 board);

    WriteDifference::Counters change;
    change.written = w_odo && file->hasCounters();
    if (change.written) {
        change.odometerNow = counters.value(MaintenanceCounters::SavedOdometer);
        change.engineTimeNow = counters.value(MaintenanceCounters::SavedEngineTime);
        change.odometerNext = qFromLittleEndian<quint32>(file->odometerBytes().constData());
        change.engineTimeNext = qFromLittleEndian<quint32>(file->engineTimeBytes().constData());
    }
    return differenceResult(WriteDifference::forImport(origin, now, next, catalogueItems, change));
}
#endif

QVariantList CFGRunner::historyList()
{
    static const char *const outcomes[] = {"pending", "written", "failed"};
    QVariantList out;
    for (const WriteHistory::Entry &entry : WriteHistory::list(WriteHistory::folder())) {
        out.append(QVariantMap{
            {QStringLiteral("path"), entry.path},
            {QStringLiteral("text"), WriteHistory::describe(entry)},
            {QStringLiteral("outcome"), QLatin1String(outcomes[entry.outcome])}});
    }
    return out;
}

QVariantMap CFGRunner::loadHistoryEntry(QString path)
{
    // Only the history's own entries: the window passes back what historyList gave.
    const QFileInfo file(path);
    if (file.absolutePath() != QFileInfo(WriteHistory::folder()).absoluteFilePath()) {
        emit alert(tr("Not an entry of the history: %1").arg(LayoutProfile::quoted(path)));
        return QVariantMap();
    }
    return loadLayout(file.absoluteFilePath());
}

QString CFGRunner::lastHistoryEntry()
{
    return history.lastEntry();
}

void CFGRunner::recordHistory(const QString &written)
{
    QString error;
    // The user asked for the write; a history folder that cannot be written (a full disk)
    // is said, and does not hold the write back.
    if (!history.record(engineNames, displayPositions(), catalogueItems, devInfo, written,
                        version(), &error))
        emit alert(error);
}
