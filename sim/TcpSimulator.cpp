#include "sim/TcpSimulator.h"

#include "sim/LineSpeed.h"
#include "sim/PtySimulator.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcSim)

TcpSimulator::TcpSimulator(PtySimulator *line, QObject *parent)
    : QObject(parent), m_line(line), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TcpSimulator::onNewConnection);
    // The adapter losing its power takes the Wi-Fi module with it.
    connect(m_line, &PtySimulator::hungUp, this, &TcpSimulator::dropClient);
}

TcpSimulator::~TcpSimulator()
{
    if (m_client) {
        disconnect(m_client, nullptr, this, nullptr);
        m_client->abort();
    }
    closeLine();
}

bool TcpSimulator::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server->listen(address, port)) {
        m_error = m_server->errorString();
        return false;
    }
    m_error.clear();
    return true;
}

QHostAddress TcpSimulator::address() const
{
    return m_server->serverAddress();
}

quint16 TcpSimulator::port() const
{
    return m_server->serverPort();
}

QString TcpSimulator::url() const
{
    const QHostAddress host = address();
    const QString name = host.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(host.toString())
                             : host.toString();
    return QStringLiteral("tcp://%1:%2").arg(name).arg(port());
}

void TcpSimulator::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const QString peer =
            QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
        if (m_client || !m_line->isRunning()) {
            // One client at a time, like the adapters' Wi-Fi modules.
            qCDebug(lcSim) << "refusing a second client" << peer;
            socket->disconnectFromHost();
            connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
            continue;
        }
        m_fd = ::open(QFile::encodeName(m_line->slavePath()).constData(),
                      O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            qCWarning(lcSim) << "cannot open" << m_line->slavePath() << strerror(errno);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // The module's side of the chip's serial line runs at the chip's rate.
        struct termios tio;
        if (tcgetattr(m_fd, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(m_fd, TCSANOW, &tio);
        }
        setLineSpeed(m_fd, m_line->baudRate());
        m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_readNotifier, &QSocketNotifier::activated, this, &TcpSimulator::onLineData);
        m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
        m_writeNotifier->setEnabled(false);
        connect(m_writeNotifier, &QSocketNotifier::activated, this, &TcpSimulator::writeLine);

        m_client = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QIODevice::readyRead, this, &TcpSimulator::onClientData);
        connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
            if (socket != m_client)
                return;
            qCDebug(lcSim) << "client closed the connection";
            m_client = nullptr;
            socket->deleteLater();
            closeLine();
            emit clientClosed();
        });
        qCDebug(lcSim) << "client connected" << peer;
        emit clientConnected(peer);
    }
}

void TcpSimulator::onClientData()
{
    if (!m_client)
        return;
    m_toLine += m_client->readAll();
    writeLine();
}

void TcpSimulator::writeLine()
{
    while (!m_toLine.isEmpty() && m_fd >= 0) {
        const ssize_t n = ::write(m_fd, m_toLine.constData(), size_t(m_toLine.size()));
        if (n > 0) {
            m_toLine.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // the line is full: go on when it takes more
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_toLine.isEmpty());
}

void TcpSimulator::onLineData()
{
    QByteArray in;
    char buf[4096];
    bool lineGone = false;
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n > 0) {
            in.append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        lineGone = n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
        break;
    }
    if (!in.isEmpty() && m_client) {
        m_client->write(in);
        m_client->flush();
    }
    if (lineGone)
        dropClient();
}

void TcpSimulator::dropClient()
{
    closeLine();
    if (!m_client)
        return;
    QTcpSocket *socket = m_client;
    m_client = nullptr;
    disconnect(socket, nullptr, this, nullptr);
    qCDebug(lcSim) << "dropping the client";
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
    else
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    emit clientClosed();
}

void TcpSimulator::closeLine()
{
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_toLine.clear();
}
