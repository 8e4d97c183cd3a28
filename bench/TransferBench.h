#pragma once

// The transfer runs of the benchmark: for every line rate (and once without pacing) a
// simulated 16-page dashboard with a double display (13 positions) is read, written,
// given a splash picture, backed up and restored; a second one with a single display
// takes the other splash profile. Each run is repeated and lands in a BenchReport.

#include "bench/BenchReport.h"

#include <QList>
#include <QString>
#include <QTextStream>

class TransferBench
{
public:
    struct Settings
    {
        QString simProgram;
        QList<int> rates;    // paced runs, bit/s
        bool unpaced = true; // also once without pacing
        int repetitions = 5;
        qint64 latencyUs = 0; // the simulator's bus latency per frame
        QString pictureFile;  // the splash source
    };

    TransferBench(const Settings &settings, BenchReport &report, QTextStream &log);

    // Runs everything; failures are recorded in the report. False when any run failed.
    bool run();

    // A photo-like picture with gradients and edges, so the conversion has real work to do.
    // It fits both displays' canvases (124x88, and 173x128 after the quarter turn), so the
    // upload moves each profile's whole stream.
    static bool writePicture(const QString &path);

private:
    bool runDoubleDisplay(int baud, bool paced);
    bool runSingleDisplay(int baud, bool paced);
    QStringList simArguments(int baud, bool paced, int disp) const;
    // Thirteen catalogue items of the runner's engine, one per display position.
    static QVariantList fullConfig(BenchSession &session);
    bool fail(const QString &where, const QString &error);
    void progress(const QString &text);

    Settings m_settings;
    BenchReport &m_report;
    QTextStream &m_log;
    bool m_ok = true;
};
