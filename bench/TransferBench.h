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
        // The real chip's timing, starting at chipBaud: every transfer with fast transfers
        // off and on against a chip that takes 500 kbit/s and the response count, then on
        // against one that refuses both (a smaller dashboard: it runs as slowly as off).
        bool chipModel = true;
        int chipBaud = 38400;
        int chipRepetitions = 1;
        int refusingPages = 4;
        // Through a Bluetooth and a Wi-Fi module (20 and 5 ms each way per burst), with fast
        // transfers off and on: discovery + read and a 16-page export.
        bool modules = true;
        bool onlyModules = false; // those and nothing else
        // Rows that are also run with the link's traffic record off, each repetition once
        // with it on and once off.
        enum class RecordingOff { None, Unpaced, All } recordingOff = RecordingOff::Unpaced;
    };

    TransferBench(const Settings &settings, BenchReport &report, QTextStream &log);

    // Runs everything; failures are recorded in the report. False when any run failed.
    bool run();

    // A photo-like picture with gradients and edges, so the conversion has real work to do.
    // It fits both displays' canvases (124x88, and 173x128 after the quarter turn), so the
    // upload moves each profile's whole stream.
    static bool writePicture(const QString &path);

    // What the traffic record costs alone, in nanoseconds per entry: a line written and a
    // reply read of an export's sizes, recorded in turn into a full ring.
    static double recorderNsPerEntry();

private:
    // Which runs: the plain ones (fast transfers off, as the link worked before them), or
    // one of the chip model's.
    struct Variant
    {
        QString mode;         // BenchReport::Row::mode
        QStringList simExtra; // more simulator options
        int pages = 16;
        int repetitions = 1;
        bool fastTransfers = false;
    };
    // What a double-display run leaves for the chip model's same-data check.
    struct Outcome
    {
        QVariantList config;
        QByteArray backup; // the first export's file
    };
    bool runDoubleDisplay(int baud, bool paced, const Variant &variant, Outcome *outcome = nullptr);
    bool runSingleDisplay(int baud, bool paced, const Variant &variant);
    void runChipModel();
    void runModules();
    bool runThroughModule(int baud, const Variant &variant, qint64 moduleUs);
    Variant plainVariant() const;
    QStringList simArguments(int baud, bool paced, int disp, const Variant &variant) const;
    // 1: every run with the traffic record on; 2: each repetition once with it on and once
    // off, as recordingOn(run) says.
    int recordingModes(bool paced) const;
    static bool recordingOn(int run, int modes);
    // Thirteen catalogue items of the runner's engine, one per display position.
    static QVariantList fullConfig(BenchSession &session);
    bool fail(const QString &where, const QString &error);
    void progress(const QString &text);

    Settings m_settings;
    BenchReport &m_report;
    QTextStream &m_log;
    bool m_ok = true;
};
