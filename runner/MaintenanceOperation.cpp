// The maintenance-point write: the saved odometer point at 0x3FFE, then the saved
// engine-time point at 0x3FFC, each a 32-bit value in an acknowledged block write
// (updateEeeprom(12345, 678) sends FE FF 39 30 00 00 FF FF, then FC FF A6 02 00 00 FF FF).
// A maintenance reset writes the current counters as the points and reads the four values
// back.

#include "runner/RunnerOperation.h"

#include "config/DashboardMemory.h"

#include <QtEndian>

class MaintenanceOperation : public RunnerOperation
{
public:
    MaintenanceOperation(CFGRunner &runner, bool readBack)
        : RunnerOperation(runner, CFGRunner::OP_WriteMaintenance), readBack(readBack)
    {
    }

    void start(quint32 km, quint32 time)
    {
        planExchanges(readBack ? 6 : 2);
        runner.setState(CFGRunner::GenWrite);
        QByteArray odometer(4, '\0');
        qToLittleEndian<quint32>(km, odometer.data());
        QByteArray engineTime(4, '\0');
        qToLittleEndian<quint32>(time, engineTime.data());
        runner.writeBlock(odometer, DashboardMemory::SavedOdometer);
        // Sent on the first acknowledgement, before this operation hears of it.
        runner.pendingWrites.append(qMakePair(DashboardMemory::SavedEngineTime, engineTime));
    }

    // The second acknowledgement: both points are written.
    void onAcknowledge(int address) override
    {
        Q_UNUSED(address)
        if (readBack) {
            requestValues();
            return;
        }
        done();
    }

    void onValue(int address, quint32 value) override
    {
        if (valueRead(address, value))
            done();
    }

private:
    void done()
    {
        runner.setState(CFGRunner::Idle);
        finish(true);
    }

    const bool readBack;
};

void CFGRunner::updateEeeprom(uint km, uint time)
{
    // With the port gone nothing could be sent and the state would stay at GenWrite.
    if (!link->isOpen())
        return;
    if (state != Idle) {
        refuseOperation(OP_WriteMaintenance, tr("Another operation is in progress"));
        return;
    }
    auto *op = new MaintenanceOperation(*this, false);
    startOperation(op);
    op->start(km, time);
}

void CFGRunner::resetMaintenance()
{
    if (!link->isOpen())
        return;
    if (state != Idle) {
        refuseOperation(OP_WriteMaintenance, tr("Another operation is in progress"));
        return;
    }
    // The dashboard counts the distance and time since the saved points: a new interval
    // starts at the current counters, not at 0 (which would make the whole odometer due).
    if (!counters.currentKnown()) {
        refuseOperation(OP_WriteMaintenance,
                        tr("Cannot reset maintenance - the current counters have not been read"));
        return;
    }
    // The engine time runs in seconds, its saved point in minutes (as the board record's
    // "warntime" limit).
    const quint32 odometer = counters.value(MaintenanceCounters::CurrentOdometer);
    const quint32 engineMinutes = counters.value(MaintenanceCounters::CurrentEngineTime) / 60;
    qCInfo(lcRunner) << "maintenance reset at" << odometer << "km," << engineMinutes << "min";
    auto *op = new MaintenanceOperation(*this, true);
    startOperation(op);
    op->start(odometer, engineMinutes);
}
