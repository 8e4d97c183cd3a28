#pragma once

// The four maintenance values as this session last read them: the saved points (where the
// current service interval began) and the current odometer and engine time. A value this
// session has not read is not known: a backup keeps the counters only when both saved points
// came from this dashboard, and a new interval starts only at current values both read.

#include <QtGlobal>

class MaintenanceCounters
{
public:
    // In the order the controller names them to the pages.
    enum Which { SavedOdometer = 0, CurrentOdometer = 1, SavedEngineTime = 2, CurrentEngineTime = 3 };

    // Takes the value read at a dashboard `address`; which one it was, or -1 when the address
    // holds none of the four.
    int note(int address, quint32 value);
    // A new session: nothing is known.
    void forget() { m_known = 0; }

    bool savedKnown() const { return known(SavedOdometer) && known(SavedEngineTime); }
    bool currentKnown() const { return known(CurrentOdometer) && known(CurrentEngineTime); }
    quint32 value(Which which) const { return m_values[which]; }

private:
    bool known(Which which) const { return m_known & (1 << which); }

    quint32 m_values[4] = {0, 0, 0, 0}; // km and seconds; the saved engine time in minutes
    int m_known = 0;
};
