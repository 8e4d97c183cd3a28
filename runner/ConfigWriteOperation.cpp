// The configuration write and the table reset, each with the read that follows it.
//
// A write sends the parameter table in acknowledged 6-byte block writes from 0x0000
// (00 C0 <6 bytes>, 06 C0 ...), then, when a board record was read, the record from
// 0x0200 (00 C2 ...); each next chunk's address comes from the acknowledgement. A reset
// writes FF FF at 0x0000 (00 C0 FF FF FF FF FF FF). 200 ms after the last
// acknowledgement the configuration is read again, so the pages show what the dashboard
// now holds.

#include "runner/RunnerOperation.h"

#include "config/BoardConfig.h"
#include "config/DashboardMemory.h"
#include "runner/DashboardProtocol.h"

#include <QTimer>

namespace {

using DashboardMemory::BoardAddress;
using DashboardMemory::TableAddress;
using DashboardProtocol::chunk;
constexpr int RereadDelayMs = 200;

} // namespace

class ConfigWriteOperation : public RunnerOperation
{
public:
    ConfigWriteOperation(CFGRunner &runner, CFGRunner::Operation kind)
        : RunnerOperation(runner, kind), reader(runner)
    {
        reread.setSingleShot(true);
        QObject::connect(&reread, &QTimer::timeout, &runner, [this] {
            m_waiting = false;
            if (!reader.start())
                finish(true);
        });
    }

    // paramImage and boardImage hold what is to be written.
    void start()
    {
        const int table = qMax(1, (runner.paramImage.size() + 5) / 6);
        planExchanges(table + (runner.boardImage.size() + 5) / 6 + reader.exchanges());
        runner.setState(CFGRunner::Writing);
        emit runner.progress(0);
        runner.phase = CFGRunner::P_Params;
        runner.writeBlock(chunk(runner.paramImage, 0), TableAddress);
    }

    void startReset()
    {
        planExchanges(1 + reader.exchanges());
        runner.setState(CFGRunner::Writing);
        runner.paramImage.clear();
        runner.boardImage.clear();
        runner.writeBlock(QByteArray(2, '\xFF'), TableAddress);
    }

    void onAcknowledge(int address) override
    {
        const int next = DashboardProtocol::nextOffset(address, TableAddress);
        if (next < BoardAddress)
            continueParamWrite(next);
        else
            continueBoardWrite(next);
    }

    void onBlock(int address, const QByteArray &payload) override
    {
        if (reader.onBlock(address, payload))
            finish(true);
    }

    void cutOff() override { reread.stop(); }
    bool waiting() const override { return m_waiting; }
    int pausesLeftMs() const override
    {
        if (reread.isActive())
            return qMax(0, reread.remainingTime());
        return m_written ? 0 : RereadDelayMs;
    }

private:
    void continueParamWrite(int offset)
    {
        const QByteArray &image = runner.paramImage;
        emit runner.progress(image.isEmpty() ? 1.0 : qMin(1.0, double(offset) / image.size()));
        if (offset < image.size()) {
            runner.writeBlock(chunk(image, offset), TableAddress + offset);
            return;
        }
        if (runner.boardImage.isEmpty()) {
            written();
            return;
        }
        runner.phase = CFGRunner::P_Config;
        runner.writeBlock(chunk(runner.boardImage, 0), BoardAddress);
    }

    void continueBoardWrite(int address)
    {
        const QByteArray &record = runner.boardImage;
        const int offset = quint16(address - BoardAddress);
        emit runner.progress(record.isEmpty() ? 1.0 : qMin(1.0, double(offset) / record.size()));
        if (offset < record.size()) {
            runner.writeBlock(chunk(record, offset), address);
            return;
        }
        written();
    }

    void written()
    {
        if (kind() == CFGRunner::OP_WriteConfig)
            runner.history.finish(true);
        runner.setState(CFGRunner::Idle);
        m_waiting = true;
        m_written = true;
        reread.start(RereadDelayMs);
    }

    ConfigReader reader;
    QTimer reread;
    bool m_waiting = false;
    bool m_written = false;
};

void CFGRunner::updateConfig(QVariantList config, QVariantMap brdcfg)
{
    // The interface offers this only while connected and idle; anything else would leave
    // the state at Writing with nothing sent.
    if (!link->isOpen())
        return;
    if (state != Idle) {
        refuseOperation(OP_WriteConfig, tr("Another operation is in progress"));
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
        ConfigParameter record = ConfigParameter::recordFromCatalogue(item);
        record.disp.num = 1;
        record.disp.pos = quint8(i);
        records.append(record);
    }
    // The write moves on to the board record once the next chunk address reaches 0x0200;
    // a longer table would run into it and overwrite its head.
    if (records.size() * DeviceConfig::recordSize() > DashboardMemory::TableCapacity) {
        refuseOperation(OP_WriteConfig, tr("The configuration does not fit into the device"));
        return;
    }
    devConfig.setParameters(records);
    paramImage = devConfig.toByteArray();
    devInfo.insert(QStringLiteral("count"), devConfig.count());

    if (boardValid() && !brdcfg.isEmpty()) {
        brdcfg.insert(QStringLiteral("engidx"), qMax(engineIndex, 0));
        boardImage = BoardConfig::toBytes(brdcfg);
    }

    recordHistory(tr("configuration write"));
    auto *op = new ConfigWriteOperation(*this, OP_WriteConfig);
    startOperation(op);
    op->start();
}

void CFGRunner::resetConfig()
{
    if (!link->isOpen() || state != Idle)
        return;
    auto *op = new ConfigWriteOperation(*this, OP_ResetConfig);
    startOperation(op);
    op->startReset();
}
