#pragma once

// Keeps the simulated dashboard's memory and maintenance counters in a file between runs
// of kx4-sim, so a configuration written by the tool is still there next time. The file
// is JSON (memory in Base64) and is replaced atomically: a crash never leaves half a file.

#include "sim/SimDashboard.h"

#include <QString>

class SimStateFile
{
public:
    // False with a reason when the file cannot be read or is not a state file; the
    // dashboard is then left untouched. Memory of another size is cut or padded with FF.
    static bool load(const QString &path, SimDashboard &dashboard, QString *error);
    static bool save(const QString &path, const SimDashboard &dashboard, QString *error);
};
