#include "runner/MaintenanceCounters.h"

#include "config/DashboardMemory.h"

int MaintenanceCounters::note(int address, quint32 value)
{
    int which = -1;
    switch (address) {
    case DashboardMemory::SavedOdometer:
        which = SavedOdometer;
        break;
    case DashboardMemory::CurrentOdometer:
        which = CurrentOdometer;
        break;
    case DashboardMemory::SavedEngineTime:
        which = SavedEngineTime;
        break;
    case DashboardMemory::CurrentEngineTime:
        which = CurrentEngineTime;
        break;
    default:
        return -1;
    }
    m_values[which] = value;
    m_known |= 1 << which;
    return which;
}
