#pragma once

// The figures of a benchmark: every repetition of every run, reduced to medians, printed
// as a table (plain or Markdown), checked against the targets and written as JSON.

#include "bench/BenchSession.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTextStream>

class BenchReport
{
public:
    struct Row
    {
        QString id;    // "splash-1", "export", ...
        QString title; // "splash upload, profile 1 (173x128)"
        int baud = 0;
        bool paced = true;
        // The chip model's runs: "off" and "on" (fast transfers) against a chip that takes
        // 500 kbit/s and the response count, "refusing" (on) against one that refuses
        // both; empty for the other runs.
        QString mode;
        int rateReached = 0;   // the line rate the session ran at, when it changed
        qint64 latencyUs = -1; // the dashboard latency of this run, -1: the report's
        // A wireless module's latency per exchange, both ways together (0: none); the
        // module runs name it in their mode ("bluetooth on", "wifi off").
        qint64 moduleUs = 0;
        QList<BenchSession::Sample> samples;

        // Medians over the repetitions.
        qint64 exchanges() const;
        qint64 requests() const;
        qint64 bytesToAdapter() const;
        qint64 bytesFromAdapter() const;
        double wallMs() const;
        // Over the samples with the link's traffic record on (as in the program), or off.
        double cpuUsPerExchange(bool recording = true) const;
        bool comparesRecording() const; // has samples both ways
        // CPU per exchange with the record on minus with it off.
        double recordingCostUs() const;
        // Entries the traffic record took per exchange (median over the runs with it on).
        double entriesPerExchange() const;
        double wallUsPerExchange() const;
        double simLateUs() const;
        qint64 peakRssKb() const;
        // The least time the line allows: every byte each way at 10 bits a byte, plus the
        // simulator's bus latency for each frame on the bus. 0 without pacing. The chip
        // model's runs count the bytes at the rates they went at (the simulator's line time).
        // Behind a module every exchange also waits for the module both ways.
        double boundMs(qint64 latencyUs) const;
        double lineUs() const;
        double ratio(qint64 latencyUs) const;
    };

    // The real program under a display server.
    struct Program
    {
        bool measured = false;
        QString note; // why it was not measured, or how
        QList<double> firstFrameMs;
        QList<qint64> peakRssKb; // after connecting and reading the configuration
        double firstFrameMedianMs() const;
        qint64 peakRssMedianKb() const;
    };

    struct Target
    {
        QString what;
        QString reached;
        bool met = false;
    };

    static double median(QList<double> values);

    Row &row(const QString &id, const QString &title, int baud, bool paced,
             const QString &mode = QString());
    // A check the transfer runs made themselves (the chip model's same-data check).
    void addCheck(const Target &target) { m_checks << target; }
    const QList<Row> &rows() const { return m_rows; }
    Program &program() { return m_program; }

    void setRepetitions(int n) { m_repetitions = n; }
    void setLatencyUs(qint64 us) { m_latencyUs = us; }
    void setRecorderNsPerEntry(double ns) { m_recorderNs = ns; }
    // Load averages (1, 5, 15 minutes) before and after, and the number of cores.
    void setLoad(const QList<double> &before, const QList<double> &after, int cores);
    void addFailure(const QString &text) { m_failures << text; }
    QStringList failures() const { return m_failures; }

    QList<Target> targets() const;
    void printTable(QTextStream &out, bool markdown) const;
    QJsonObject toJson() const;

private:
    const Row *chipRow(const QString &id, const QString &mode) const;
    void printChipComparison(QTextStream &out) const;

    QList<Row> m_rows;
    QList<Target> m_checks;
    Program m_program;
    int m_repetitions = 0;
    qint64 m_latencyUs = 0;
    double m_recorderNs = 0;
    QList<double> m_loadBefore;
    QList<double> m_loadAfter;
    int m_cores = 0;
    QStringList m_failures;
};
