#pragma once

// The real program under a display server: time from its start to the first frame of
// the main window, and its peak memory once it has connected to the simulated demo
// dashboard and shown the configuration it read. The program reports those moments
// through its start-up probe (KX4_PROBE); the times and the memory are taken from here.

#include "bench/BenchReport.h"

#include <QProcessEnvironment>
#include <QString>
#include <QTextStream>

class ProgramBench
{
public:
    struct Settings
    {
        QString program;    // veltrokx4
        QString simProgram; // kx4-sim
        int repetitions = 5;
        QProcessEnvironment environment; // for the program: display, scratch settings
    };

    ProgramBench(const Settings &settings, QTextStream &log);

    // Fills `result`; false (with result.note) when the program could not be measured.
    bool run(BenchReport::Program &result);

private:
    // One start: first frame in ms, peak memory in kB after the configuration read.
    bool measureOnce(double *firstFrameMs, qint64 *peakKb, QString *error);

    Settings m_settings;
    QTextStream &m_log;
};
