#pragma once

// What a write will change on the dashboard, in the user's terms: each display position
// whose value changes, each board setting that changes (with its unit), the engine; for an
// import also where the backup comes from and the counters it restores. The window's
// confirmation and the command line's dry run both show these lines, so both say the same.

#include "config/LayoutProfile.h"
#include "config/ParameterCatalogue.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

class WriteDifference
{
    Q_DECLARE_TR_FUNCTIONS(WriteDifference)

public:
    // The lines of a configuration write: `now` is what the dashboard holds (just read),
    // `next` what is about to be written. No line: nothing changes. A board map that is
    // empty on either side (a record the tool does not understand, or none to write) adds
    // no board lines.
    static QStringList between(const LayoutProfile::Layout &now, const LayoutProfile::Layout &next,
                               const ParameterCatalogue::ItemTable &items);

    // Where a backup comes from, for an import: when it was made (invalid: unknown),
    // which dashboard (the device information it carries) and its firmware.
    struct Origin
    {
        QDateTime made;
        QJsonObject devInfo;
        QString fileName;
    };
    // The counters an import restores, when it does.
    struct Counters
    {
        bool written = false;
        quint32 odometerNow = 0, odometerNext = 0;     // saved odometer point, km
        quint32 engineTimeNow = 0, engineTimeNext = 0; // saved engine-time point, minutes
    };
    // The lines of an import: its origin first, then what changes as for a write, then
    // the counters when they are written too.
    static QStringList forImport(const Origin &origin, const LayoutProfile::Layout &now,
                                 const LayoutProfile::Layout &next,
                                 const ParameterCatalogue::ItemTable &items,
                                 const Counters &counters);

    // How a position's value is named: the catalogue item's name, "(empty)" for none,
    // "unknown value" for a hash the catalogue lacks.
    static QString valueName(quint32 hash, const ParameterCatalogue::ItemTable &items);
};
