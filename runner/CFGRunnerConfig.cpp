// Moving the configuration between the dashboard and the tool: the parameter table at
// 0x0000 (22-byte records) and the board record at 0x0200, read and written in 6-byte
// chunks, plus the table reset, the maintenance-point write and the engine selection.

#include "config/BoardConfig.h"
#include "runner/CFGRunner.h"

#include "config/ParameterCatalogue.h"
#include "models/ParameterListModel.h"

#include <QJsonArray>
#include <QTimer>
#include <QtEndian>
#include <cmath>

namespace {

constexpr int TableAddress = 0x0000;
constexpr int BoardAddress = 0x0200;
// The board record may fill its area up to the splash picture at 0x0400.
constexpr int BoardAreaSize = 0x0200;
constexpr int RereadDelayMs = 200;

// Halves go up: 2.5 gives 3 and -2.5 gives -2; -2.6 gives -3.
qint16 roundOffset(double x)
{
    if (!std::isfinite(x))
        return 0;
    x = qBound(-1.0e9, x, 1.0e9);
    if (x >= 0)
        return qint16(qint64(x + 0.5));
    const qint64 d = qint64(x - 1);
    return qint16(d + qint64(x - double(d) + 0.5));
}

QByteArray chunkAt(const QByteArray &image, int offset)
{
    return image.mid(offset, 6);
}

} // namespace

int CFGRunner::displayPositions() const
{
    return devInfo.value(QStringLiteral("disp")).toInt() == 1 ? 13 : 6;
}

bool CFGRunner::boardValid() const
{
    return BoardConfig::isValid(boardImage);
}

QByteArray CFGRunner::boardToBytes(QVariantMap board)
{
    return BoardConfig::toBytes(board);
}

ConfigParameter CFGRunner::recordFromCatalogue(QJsonObject entry)
{
    ConfigParameter record;
    record.pid = quint16(entry.value(QStringLiteral("pid")).toInt());
    record.cid = quint16(entry.value(QStringLiteral("cid")).toInt());
    record.sign = entry.value(QStringLiteral("signed")).toBool() ? 1 : 0;
    record.math.offset = roundOffset(entry.value(QStringLiteral("offset")).toDouble());
    const QJsonObject scale = entry.value(QStringLiteral("scale")).toObject();
    record.math.div = quint16(scale.value(QStringLiteral("div")).toInt());
    record.math.mul = quint8(scale.value(QStringLiteral("mul")).toInt());
    record.setHeader(entry.value(QStringLiteral("name")).toString());
    record.setTail(entry.value(QStringLiteral("units")).toString());
    return record;
}

quint32 CFGRunner::matchCatalogueItem(quint16 pid, quint16 cid, quint16 div) const
{
    return ParameterCatalogue::matchRecord(catalogueItems, pid, cid, div, engineIndex);
}

void CFGRunner::requestConfig()
{
    if (!link->isOpen() || state != Idle)
        return;
    const int count = devInfo.value(QStringLiteral("count")).toInt();
    if (count <= 0)
        return;
    setState(Reading);
    phase = P_Params;
    paramImage.clear();
    paramImage.reserve(count * DeviceConfig::recordSize());
    boardImage.clear();
    boardImage.reserve(boardRecordSizes.value(1));
    sendBlockRead(TableAddress);
    emit progress(0);
}

void CFGRunner::onParamChunk(int address, const QByteArray &payload)
{
    const int total = devInfo.value(QStringLiteral("count")).toInt() * DeviceConfig::recordSize();
    if (total <= 0)
        return;
    emit progress(qMin(1.0, double(address + 6) / total));

    if (paramImage.size() < address + 6)
        paramImage.append(QByteArray(address + 6 - paramImage.size(), '\0'));
    paramImage.replace(address, 6, payload.left(6));

    if (paramImage.size() < total) {
        sendBlockRead(address + 6);
        return;
    }

    paramImage.truncate(total);
    publishDeviceConfig();

    paramImage.clear();
    if (!Edition::HasBoardRecord) {
        phase = P_Idle;
        setState(Idle);
        return;
    }
    phase = P_Config;
    emit progress(0);
    sendBlockRead(BoardAddress);
}

void CFGRunner::publishDeviceConfig()
{
    if (devConfig.fromByteArray(paramImage)) {
        emit alert(tr("Parsed the device config"));
    } else {
        emit alert(tr("Device config is corrupted"));
        devConfig.clear();
    }

    const int positions = displayPositions();
    const QVariantMap empty{{QStringLiteral("active"), false},
                            {QStringLiteral("hid"), 0},
                            {QStringLiteral("descr"), QString()}};
    QVariantList list;
    for (int i = 0; i < positions; ++i)
        list.append(empty);

    for (const ConfigParameter &record : devConfig.parameters()) {
        if (record.disp.num != 1 || record.disp.pos >= positions)
            continue;
        const quint32 hid = matchCatalogueItem(record.pid, record.cid, record.math.div);
        if (hid == 0)
            continue;
        list[record.disp.pos] = QVariantMap{{QStringLiteral("active"), true},
                                            {QStringLiteral("hid"), uint(hid)},
                                            {QStringLiteral("descr"), describeParam(hid, true)}};
    }
    emit deviceConfig(list);
}

void CFGRunner::onBoardChunk(int address, const QByteArray &payload)
{
    const int offset = address - BoardAddress;
    if (offset < 0)
        return;
    if (offset == 0) {
        if (quint8(payload.at(2)) == 0xFF) {
            // A blank board area: the dashboard works with the default settings, and
            // the next configuration write stores them.
            phase = P_Idle;
            boardImage = boardToBytes(defaultBoardConfig);
            emit boardConfig(defaultBoardConfig);
            setState(Idle);
            return;
        }
        // The record states its own size; it cannot reach beyond the board area.
        const int size = qMin(int(qFromLittleEndian<quint16>(payload.constData())), BoardAreaSize);
        boardImage = QByteArray(size, '\0');
    }
    const int size = boardImage.size();
    const int n = qMin(6, size - offset);
    if (n > 0)
        boardImage.replace(offset, n, payload.left(n));
    if (offset + 6 < size) {
        sendBlockRead(address + 6);
        return;
    }
    finishBoardRead();
}

void CFGRunner::finishBoardRead()
{
    phase = P_Idle;
    emit boardConfig(BoardConfig::fromBytes(boardImage));
    setState(Idle);
}

void CFGRunner::updateConfig(QVariantList config, QVariantMap brdcfg)
{
    // The interface offers this only while connected and idle; anything else would leave
    // the state at Writing with nothing sent.
    if (!link->isOpen())
        return;
    if (state != Idle) {
        emit alert(tr("Another operation is in progress"));
        return;
    }

    QList<ConfigParameter> records;
    for (int i = 0; i < config.size(); ++i) {
        const QVariantMap entry = config.at(i).toMap();
        if (!entry.value(QStringLiteral("active")).toBool())
            continue;
        const QJsonObject item = catalogueItems.value(entry.value(QStringLiteral("hid")).toUInt());
        if (item.isEmpty())
            continue;
        ConfigParameter record = recordFromCatalogue(item);
        record.disp.num = 1;
        record.disp.pos = quint8(i);
        records.append(record);
    }
    // The write moves on to the board record once the next chunk address reaches 0x0200;
    // a longer table would run into it and overwrite its head.
    if (records.size() * DeviceConfig::recordSize() > BoardAddress - TableAddress) {
        emit alert(tr("The configuration does not fit into the device"));
        return;
    }
    devConfig.setParameters(records);
    paramImage = devConfig.toByteArray();
    devInfo.insert(QStringLiteral("count"), devConfig.count());

    if (boardValid() && !brdcfg.isEmpty()) {
        brdcfg.insert(QStringLiteral("engidx"), qMax(engineIndex, 0));
        boardImage = boardToBytes(brdcfg);
    }

    recordHistory(tr("configuration write"));
    setState(Writing);
    emit progress(0);
    phase = P_Params;
    writeBlock(chunkAt(paramImage, 0), TableAddress);
}

void CFGRunner::continueParamWrite(int offset)
{
    emit progress(paramImage.isEmpty() ? 1.0 : qMin(1.0, double(offset) / paramImage.size()));
    if (offset < paramImage.size()) {
        writeBlock(chunkAt(paramImage, offset), TableAddress + offset);
        return;
    }
    if (boardImage.isEmpty()) {
        finishHistory(true);
        setState(Idle);
        QTimer::singleShot(RereadDelayMs, this, &CFGRunner::requestConfig);
        return;
    }
    phase = P_Config;
    writeBlock(chunkAt(boardImage, 0), BoardAddress);
}

void CFGRunner::continueBoardWrite(int address)
{
    const int offset = quint16(address - BoardAddress);
    emit progress(boardImage.isEmpty() ? 1.0 : qMin(1.0, double(offset) / boardImage.size()));
    if (offset < boardImage.size()) {
        writeBlock(chunkAt(boardImage, offset), address);
        return;
    }
    finishHistory(true);
    setState(Idle);
    QTimer::singleShot(RereadDelayMs, this, &CFGRunner::requestConfig);
}

void CFGRunner::resetConfig()
{
    if (!link->isOpen() || state != Idle)
        return;
    setState(Writing);
    paramImage.clear();
    boardImage.clear();
    writeBlock(QByteArray(2, '\xFF'), TableAddress);
}

void CFGRunner::updateEeeprom(uint km, uint time)
{
    // With the port gone nothing could be sent and the state would stay at GenWrite.
    if (!link->isOpen())
        return;
    if (state != Idle) {
        emit alert(tr("Another operation is in progress"));
        return;
    }
    setState(GenWrite);
    QByteArray odometer(4, '\0');
    qToLittleEndian<quint32>(km, odometer.data());
    QByteArray engineTime(4, '\0');
    qToLittleEndian<quint32>(time, engineTime.data());
    writeBlock(odometer, 0x3FFE);
    pendingWrites.append(qMakePair(0x3FFC, engineTime));
}

void CFGRunner::resetMaintenance()
{
    if (!link->isOpen())
        return;
    if (state != Idle) {
        emit alert(tr("Another operation is in progress"));
        return;
    }
    // The dashboard counts the distance and time since the saved points: a new interval
    // starts at the current counters, not at 0 (which would make the whole odometer due).
    if (currentValuesKnown != 3) {
        emit alert(tr("Cannot reset maintenance - the current counters have not been read"));
        return;
    }
    // The engine time runs in seconds, its saved point in minutes (as the board record's
    // "warntime" limit).
    const quint32 engineMinutes = currentEngineTime / 60;
    qCInfo(lcRunner) << "maintenance reset at" << currentOdometer << "km," << engineMinutes
                     << "min";
    rereadingMaintenance = true;
    updateEeeprom(currentOdometer, engineMinutes);
}

void CFGRunner::setEngine(int engine, QVariantList current_config)
{
    engineIndex = engine;
    QSet<uint> ids;
    paramList->setParameters(parameterList(&ids));

    // An entry the new engine does not offer leaves its position empty; the list index is
    // the display position, so the entries after it keep theirs.
    QVariantList result;
    bool changed = false;
    for (const QVariant &entry : qAsConst(current_config)) {
        const QVariantMap map = entry.toMap();
        if (map.value(QStringLiteral("active")).toBool() &&
            !ids.contains(map.value(QStringLiteral("hid")).toUInt())) {
            changed = true;
            result.append(QVariantMap{{QStringLiteral("active"), false},
                                      {QStringLiteral("hid"), 0},
                                      {QStringLiteral("descr"), QString()}});
            continue;
        }
        result.append(entry);
    }
    if (changed)
        emit deviceConfig(result);
}

void CFGRunner::setEngineByName(QString ename, QVariantList current_config)
{
    for (auto it = engineNames.cbegin(); it != engineNames.cend(); ++it) {
        if (it.value() == ename) {
            setEngine(it.key(), current_config);
            return;
        }
    }
    setEngine(0, current_config);
}

#if KX4_UPDATE_EDITION
// The update-checking edition's pages pick the engine by name and write the table only.
void CFGRunner::setEngine(QString engine, QVariantList current_config)
{
    setEngineByName(engine, current_config);
}

void CFGRunner::updateConfig(QVariantList config)
{
    updateConfig(config, QVariantMap());
}
#endif
