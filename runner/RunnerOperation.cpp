#include "runner/RunnerOperation.h"

#include "config/DashboardMemory.h"
#include "runner/DashboardProtocol.h"

void RunnerOperation::requestValues()
{
    runner.sendMessage(DashboardProtocol::valueRequest(DashboardMemory::SavedOdometer));
}

bool RunnerOperation::valueRead(int address, quint32 value)
{
    using namespace DashboardMemory;
    runner.noteValue(address, value);
    // FE 7F, FD 7F, FC 7F, FB 7F: each value's reply asks for the next.
    switch (address) {
    case SavedOdometer:
        runner.sendMessage(DashboardProtocol::valueRequest(CurrentOdometer));
        return false;
    case CurrentOdometer:
        runner.sendMessage(DashboardProtocol::valueRequest(SavedEngineTime));
        return false;
    case SavedEngineTime:
        runner.sendMessage(DashboardProtocol::valueRequest(CurrentEngineTime));
        return false;
    case CurrentEngineTime:
        return true;
    default:
        return false;
    }
}
