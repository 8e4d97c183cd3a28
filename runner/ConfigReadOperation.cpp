// Discovery and the configuration read.
//
// Discovery follows a successful setup: the device information (FF FF), then the four
// maintenance values (FE 7F, FD 7F, FC 7F, FB 7F), then the configuration read. The read
// takes the parameter table in block reads from 0x0000 (00 40 FF FF FF FF FF FF, 06 40 ...)
// up to count x 22 bytes, then the board record from 0x0200 (00 42 ...) up to the size it
// states; an erased board area (version byte FF) is the default record.

#include "runner/RunnerOperation.h"

#include "config/BoardConfig.h"
#include "config/DashboardMemory.h"
#include "runner/DashboardProtocol.h"

#include <QTimer>
#include <QtEndian>

bool ConfigReader::start()
{
    if (!runner.link->isOpen() || runner.state != CFGRunner::Idle)
        return false;
    const int count = runner.devInfo.value(QStringLiteral("count")).toInt();
    if (count <= 0)
        return false;
    runner.setState(CFGRunner::Reading);
    runner.phase = CFGRunner::P_Params;
    runner.paramImage.clear();
    runner.paramImage.reserve(count * DeviceConfig::recordSize());
    runner.boardImage.clear();
    runner.boardImage.reserve(boardRecordSizes.value(1));
    runner.sendBlockRead(DashboardMemory::TableAddress);
    emit runner.progress(0);
    return true;
}

int ConfigReader::exchanges() const
{
    const int count = runner.devInfo.value(QStringLiteral("count")).toInt();
    if (count <= 0)
        return 0;
    const int table = (count * DeviceConfig::recordSize() + 5) / 6;
    if (!Edition::HasBoardRecord)
        return table;
    const int board =
        runner.boardImage.isEmpty() ? boardRecordSizes.value(1) : runner.boardImage.size();
    return table + (board + 5) / 6;
}

bool ConfigReader::onBlock(int address, const QByteArray &payload)
{
    const int pages = runner.devInfo.value(QStringLiteral("pages")).toInt();
    if (address >= pages * 1024)
        return false;
    if (runner.phase == CFGRunner::P_Params)
        return onParamChunk(address, payload);
    if (runner.phase == CFGRunner::P_Config)
        return onBoardChunk(address, payload);
    return false;
}

bool ConfigReader::onParamChunk(int address, const QByteArray &payload)
{
    QByteArray &image = runner.paramImage;
    const int total =
        runner.devInfo.value(QStringLiteral("count")).toInt() * DeviceConfig::recordSize();
    if (total <= 0)
        return false;
    emit runner.progress(qMin(1.0, double(address + 6) / total));

    if (image.size() < address + 6)
        image.append(QByteArray(address + 6 - image.size(), '\0'));
    image.replace(address, 6, payload.left(6));

    if (image.size() < total) {
        runner.sendBlockRead(address + 6);
        return false;
    }

    image.truncate(total);
    runner.publishDeviceConfig();

    image.clear();
    if (!Edition::HasBoardRecord) {
        runner.phase = CFGRunner::P_Idle;
        runner.setState(CFGRunner::Idle);
        return true;
    }
    runner.phase = CFGRunner::P_Config;
    emit runner.progress(0);
    runner.sendBlockRead(DashboardMemory::BoardAddress);
    return false;
}

bool ConfigReader::onBoardChunk(int address, const QByteArray &payload)
{
    QByteArray &record = runner.boardImage;
    const int offset = address - DashboardMemory::BoardAddress;
    if (offset < 0)
        return false;
    if (offset == 0) {
        if (quint8(payload.at(2)) == 0xFF) {
            // A blank board area: the dashboard works with the default settings, and
            // the next configuration write stores them.
            runner.phase = CFGRunner::P_Idle;
            record = BoardConfig::toBytes(defaultBoardConfig);
            emit runner.boardConfig(defaultBoardConfig);
            runner.setState(CFGRunner::Idle);
            return true;
        }
        // The record states its own size; it cannot reach beyond the board area.
        const int size = qMin(int(qFromLittleEndian<quint16>(payload.constData())),
                              DashboardMemory::BoardAreaSize);
        record = QByteArray(size, '\0');
    }
    const int size = record.size();
    const int n = qMin(6, size - offset);
    if (n > 0)
        record.replace(offset, n, payload.left(n));
    if (offset + 6 < size) {
        runner.sendBlockRead(address + 6);
        return false;
    }
    return finishBoardRead();
}

bool ConfigReader::finishBoardRead()
{
    runner.phase = CFGRunner::P_Idle;
    emit runner.boardConfig(BoardConfig::fromBytes(runner.boardImage));
    runner.setState(CFGRunner::Idle);
    return true;
}

// requestConfig: the read alone.
class ReadOperation : public RunnerOperation
{
public:
    explicit ReadOperation(CFGRunner &runner)
        : RunnerOperation(runner, CFGRunner::OP_ReadConfig), reader(runner)
    {
    }
    bool start()
    {
        planExchanges(reader.exchanges());
        return reader.start();
    }
    void onBlock(int address, const QByteArray &payload) override
    {
        if (reader.onBlock(address, payload))
            finish(true);
    }

private:
    ConfigReader reader;
};

void CFGRunner::requestConfig()
{
    if (!link->isOpen() || state != Idle || devInfo.value(QStringLiteral("count")).toInt() <= 0)
        return;
    auto *op = new ReadOperation(*this);
    startOperation(op);
    op->start();
}

// From the setup to the configuration read, and the read.
class DiscoveryOperation : public RunnerOperation
{
public:
    explicit DiscoveryOperation(CFGRunner &runner)
        : RunnerOperation(runner, CFGRunner::OP_Discovery), reader(runner)
    {
    }

    void onReady() override
    {
        // The device information and the maintenance values; the read once the
        // information has said how many records there are.
        planExchanges(Edition::HasMaintenanceValues ? 5 : 1);
        runner.sendMessage(DashboardProtocol::deviceInfoRequest());
        runner.setState(CFGRunner::Reading);
    }

    void onDeviceInfo(const QByteArray &payload) override
    {
        if (quint8(payload.at(0)) == 0xFF) {
            qCInfo(lcRunner) << "device reports no valid information";
            read();
            return;
        }
        runner.devInfo = DashboardProtocol::deviceInfo(payload);
        qCInfo(lcRunner) << "device info" << runner.devInfo;
        emit runner.deviceInfo(runner.devInfo.toVariantMap());
        planExchanges(reader.exchanges());
        if (!Edition::HasMaintenanceValues) {
            read();
            return;
        }
        requestValues();
    }

    void onValue(int address, quint32 value) override
    {
        if (valueRead(address, value))
            read();
    }

    void onBlock(int address, const QByteArray &payload) override
    {
        if (reader.onBlock(address, payload))
            finish(true);
    }

private:
    // Idle without a signal, so that the read may start; with no records (or after an
    // unknown version, with no device information) there is nothing to read.
    void read()
    {
        runner.setState(CFGRunner::Idle, false);
        if (!reader.start())
            finish(true);
    }

    ConfigReader reader;
};

void CFGRunner::startDiscovery()
{
    startOperation(new DiscoveryOperation(*this));
}
