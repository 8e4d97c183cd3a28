#pragma once

// One CFGRunner of this process against one kx4-sim process: connects, drives a transfer
// from its start to the moment the link is back at rest, and measures that run (wall
// time, this process's CPU time, peak memory, and the simulator's count of the traffic).

#include "bench/SimProcess.h"
#include "runner/CFGRunner.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>

class BenchSession : public QObject
{
    Q_OBJECT
public:
    struct Sample
    {
        SimProcess::Traffic traffic;
        double wallUs = 0;
        double cpuUs = 0;           // user + system time of this process
        qint64 peakRssKb = 0;       // of this process so far
        bool recording = true;      // the link's traffic record was on
        qint64 recordedEntries = 0; // by the traffic record
    };

    BenchSession(const QString &simProgram, QObject *parent = nullptr);
    ~BenchSession() override;

    // Starts the simulator with `simArguments` and creates the runner. False with error().
    bool start(const QStringList &simArguments);
    QString error() const { return m_error; }
    CFGRunner &runner() { return *m_runner; }
    // Switches the link's traffic record (on in the program) for the runs that follow.
    void setRecording(bool on);

    // The runs. Each returns false with error() when the tool does not finish it, or
    // finishes it with a message of failure.
    bool connectAndRead(int baud, Sample *sample); // discovery and the configuration read
    bool writeConfig(const QVariantList &config, Sample *sample); // with the re-read after it
    bool uploadSplash(const QString &pictureFile, Sample *sample);
    bool exportBackup(Sample *sample, QString *backupId);
    bool importBackup(const QString &backupId, Sample *sample);

    // What the last configuration read delivered.
    QVariantList lastConfig() const { return m_config; }
    QVariantMap lastBoard() const { return m_board; }
    int activePositions() const;
    QVariantMap lastDeviceInfo() const { return m_deviceInfo; }

private:
    // Runs `begin` (false: refused at once) and waits until `done` holds at a moment the link is at
    // rest (its prompt came back with nothing queued while the runner was Idle), or `timeoutMs`.
    bool measure(const QString &what, const std::function<bool()> &begin,
                 const std::function<bool()> &done, int timeoutMs, Sample *sample);
    bool sawState(CFGRunner::State s) const { return m_states.contains(s); }
    bool sawAlert(const QString &text) const { return m_alerts.contains(text); }

    SimProcess m_sim;
    CFGRunner *m_runner = nullptr;
    QString m_error;

    // What the current run has seen.
    QList<CFGRunner::State> m_states;
    QStringList m_alerts;
    bool m_rested = false;
    bool m_lost = false;
    bool m_recording = true;

    QVariantList m_config;
    QVariantMap m_board;
    QVariantMap m_deviceInfo;
};
