#pragma once

// A TCP connection to a Wi-Fi adapter ("tcp://192.168.0.10:35000"): the adapter's Wi-Fi
// module serves the chip's serial line on a TCP port. There is no line rate to set or find,
// and every write leaves at once (Nagle's delay off), since the link sends one short command
// and waits for its answer.

#include "link/LinkTransport.h"

#include <QAbstractSocket>
#include <QPointer>

class QEventLoop;
class QTcpSocket;

class TcpTransport : public LinkTransport
{
    Q_OBJECT
public:
    // How long opening waits for the connection, and the link for the adapter's first answer.
    static constexpr int AnswerTimeoutMs = 5000;

    explicit TcpTransport(QObject *parent = nullptr);
    ~TcpTransport() override;

    // Whether `port` names a network adapter ("tcp://..."), valid or not.
    static bool isNetworkPort(const QString &port);
    // Splits "tcp://HOST:PORT" (HOST a name, an IPv4 address or an IPv6 address in
    // brackets); false when it is not such a name with a port from 1 to 65535.
    static bool parse(const QString &port, QString *host, quint16 *tcpPort);
    // "tcp://" + address for "HOST:PORT" as a user types it; other text comes back unchanged.
    static QString portForAddress(const QString &address);

    Kind kind() const override { return Network; }
    QString portName() const override { return m_name; }
    QVariantMap settings() const override;

    bool open(const QString &port, qint32 rate) override;
    bool isOpen() const override { return m_open; }
    void close() override;

    qint64 write(const QByteArray &bytes) override;
    bool flush() override;
    QByteArray readAll() override;
    // Processes events while it waits, so that a simulator in the same thread can answer.
    bool waitForReadyRead(int msecs) override;
    void clear() override;
    void clearError() override {}
    void discardInput() override { clear(); }
    bool hasFailed() const override { return m_failed; }

    bool hasLineRate() const override { return false; }
    bool canChangeRate() const override { return false; }
    bool setBaudRate(qint32) override { return false; }
    qint32 baudRate() const override { return 0; }

private:
    void onError(QAbstractSocket::SocketError error);
    void onDisconnected();
    // The user's reason for a failure `error` of the connection to the adapter.
    QString failureText(QAbstractSocket::SocketError error) const;
    // Runs a local event loop until it is quit, `msecs` pass or the transport goes.
    void runLoop(int msecs);
    void dropSocket();

    QTcpSocket *m_socket = nullptr;
    QString m_name;
    QString m_host;
    quint16 m_port = 0;
    bool m_open = false;
    bool m_failed = false;
    QPointer<QEventLoop> m_loop;
};
