#pragma once

// The kx4-sim program: reads its options, serves a PtySimulator until SIGINT or SIGTERM (with
// --tcp also on a TCP port, as a Wi-Fi adapter), keeps the --link symlink and the --state file,
// and logs the traffic with --verbose.
// SIGUSR1 prints the traffic counters to standard error (the benchmark reads them);
// SIGHUP switches the dashboard off and on.

#include "sim/PtySimulator.h"
#include "sim/TcpSimulator.h"

#include <QHostAddress>
#include <memory>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class SimProgram : public QObject
{
    Q_OBJECT
public:
    explicit SimProgram(QObject *parent = nullptr);
    ~SimProgram() override;

    // Applies the command line. Returns false with a message for bad options; `done` is
    // set when the program has nothing more to do (--help).
    bool configure(const QStringList &arguments, QString *message, bool *done);
    // Starts serving (pty, symlink, TCP port) and prints the slave path, or with --tcp the
    // address as "tcp://ADDR:PORT". False with a message.
    bool start(QString *message);
    // Saves the state and removes the symlink; safe to call twice.
    void stop();

    PtySimulator &simulator() { return m_sim; }
    // The TCP server with --tcp once started, else null.
    TcpSimulator *tcpServer() { return m_tcp.get(); }
    QString linkPath() const { return m_linkPath; }
    QString statePath() const { return m_statePath; }

    // Prints "stats: exchanges=... requests=... bytes-in=... bytes-out=... late-us=...
    // line-us=..." to
    // standard error: the traffic since the start, for a caller that takes differences.
    void printStats();
    // Switches the dashboard off and on (SIGHUP): it leaves update mode or a restart.
    void powerCycle();

    // Makes SIGINT and SIGTERM quit the application's event loop, SIGUSR1 print the
    // counters and SIGHUP power-cycle the dashboard of the program that exists then.
    static bool installSignalHandlers();

private:
    void saveState();
    bool makeLink(QString *message);
    void removeLink();
    void logLine(const QString &text);

    PtySimulator m_sim;
    std::unique_ptr<TcpSimulator> m_tcp;
    bool m_serveTcp = false;
    QHostAddress m_tcpAddress = QHostAddress(QHostAddress::LocalHost);
    quint16 m_tcpPort = 0;
    QString m_linkPath;
    QString m_statePath;
    bool m_blank = false;
    bool m_verbose = false;
    bool m_linkMade = false;
    QTimer m_saveTimer;
};
