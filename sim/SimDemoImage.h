#pragma once

// The memory a newcomer finds in the simulated dashboard: a parameter table whose records
// match items of the tool's catalogue, a version-1 board record and maintenance counters
// that are not zero.

#include "sim/SimDashboard.h"

#include <QByteArray>

class SimDemoImage
{
public:
    struct Record
    {
        quint16 pid;
        quint16 cid;
        bool sign;
        qint16 offset;
        quint16 div;
        quint8 mul;
        quint8 pos;
        const char *header; // Latin-1
        const char *tail;   // Latin-1
    };

    // One 22-byte parameter record: name left-aligned in 6 bytes, units right-aligned in 4.
    static QByteArray record(const Record &r);
    // The 18-byte version-1 board record.
    static QByteArray boardRecord(quint8 rpm, quint8 speed, quint8 aux, quint16 adelay,
                                  quint16 rflags, quint16 rpmlim, quint16 warnodo, quint16 warntime,
                                  quint16 engidx);
    static QByteArray parameterTable();

    // Erases the memory and writes the table at 0x0000, the board record at 0x0200 and the
    // maintenance counters. The device information is left as configured.
    static void install(SimDashboard &dashboard);
};
