#pragma once

// Serves a PtySimulator's adapter and dashboard on a TCP port, the way a Wi-Fi adapter does:
// its Wi-Fi module takes one TCP client at a time and passes the bytes both ways over the
// serial line to the same ELM327-class chip. Here that line is the simulator's pseudo-terminal,
// opened at the adapter's rate while a client is connected, so every behaviour of the chip
// (faults, pacing, time-outs) is the pty simulator's own. A second client is closed at once.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

class PtySimulator;
class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

class TcpSimulator : public QObject
{
    Q_OBJECT
public:
    // `line` must be started and outlive this server.
    explicit TcpSimulator(PtySimulator *line, QObject *parent = nullptr);
    ~TcpSimulator() override;

    // Listens on `address`:`port` (port 0: any free one). False with errorString().
    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    QString errorString() const { return m_error; }
    QHostAddress address() const;
    quint16 port() const;
    // The port name the tool connects to: "tcp://127.0.0.1:35000", "tcp://[::1]:35000".
    QString url() const;

    bool hasClient() const { return !m_client.isNull(); }
    // Closes the client's connection, as an adapter that drops it.
    void dropClient();

signals:
    void clientConnected(const QString &peer);
    void clientClosed();

private:
    void onNewConnection();
    void onClientData();
    void onLineData();
    void writeLine();
    void closeLine();

    PtySimulator *m_line;
    QTcpServer *m_server;
    QPointer<QTcpSocket> m_client;
    int m_fd = -1; // the client's end of the serial line while a client is connected
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_toLine; // client bytes the line did not take yet
    QString m_error;
};
