#pragma once

// kx4-sim run as a separate process, so that a benchmark's CPU and memory figures count the
// tool alone. Starts the program with the given options, learns the pseudo-terminal it
// serves and reads its traffic counters (SIGUSR1) between runs.

#include <QProcess>
#include <QString>
#include <QStringList>

class SimProcess
{
public:
    // The simulator's counters since it started; differences give one run's traffic.
    struct Traffic
    {
        qint64 exchanges = 0; // lines the adapter interpreted (commands and frames)
        qint64 requests = 0;  // frames sent on the bus
        qint64 bytesIn = 0;   // from the tool to the adapter
        qint64 bytesOut = 0;  // from the adapter to the tool
        double lateUs = 0;    // how late paced output went out on average
        double lineUs = 0;    // the bytes each way at the rates they went at

        Traffic operator-(const Traffic &before) const;
        bool operator==(const Traffic &o) const;
        // Parses the simulator's "stats: exchanges=... requests=... ..." line.
        static bool parse(const QByteArray &line, Traffic *traffic);
    };

    explicit SimProcess(const QString &program);
    ~SimProcess();

    // Starts the simulator; false with errorString() when it does not come up.
    bool start(const QStringList &arguments);
    void stop();
    QString port() const { return m_port; }
    QString errorString() const { return m_error; }

    // The current counters. Once the tool is at rest the counters stand still; settled()
    // asks until two answers agree, so a line still on its way is counted.
    bool traffic(Traffic *traffic);
    bool settled(Traffic *traffic);

private:
    QProcess m_process;
    QString m_program;
    QString m_port;
    QString m_error;
};
