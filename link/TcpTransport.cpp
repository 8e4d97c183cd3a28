#include "link/TcpTransport.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

Q_DECLARE_LOGGING_CATEGORY(lcLink)

namespace {
const QLatin1String Scheme("tcp://");
}

TcpTransport::TcpTransport(QObject *parent) : LinkTransport(parent) {}

TcpTransport::~TcpTransport()
{
    // A wait in progress returns at once; it notices that the transport is gone.
    if (m_loop)
        m_loop->quit();
    if (m_socket) {
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->abort();
    }
}

bool TcpTransport::isNetworkPort(const QString &port)
{
    return port.startsWith(Scheme, Qt::CaseInsensitive);
}

bool TcpTransport::parse(const QString &port, QString *host, quint16 *tcpPort)
{
    if (!isNetworkPort(port))
        return false;
    // QUrl takes "[fe80::1]" as an IPv6 host; a bare IPv6 address has no port to tell apart.
    const QUrl url(port.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.port() < 1 || url.port() > 65535 ||
        !url.path().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment())
        return false;
    *host = url.host();
    *tcpPort = quint16(url.port());
    return true;
}

QString TcpTransport::portForAddress(const QString &address)
{
    const QString text = address.trimmed();
    // A name or IPv4 address, or an IPv6 address in brackets, then ":" and the port. Serial
    // port names (COM3, ttyUSB0, /dev/rfcomm0, cu.usbserial-1410) never have that shape.
    static const QRegularExpression shape(
        QStringLiteral("^(\\[[0-9A-Fa-f:.%]+\\]|[A-Za-z0-9][A-Za-z0-9.-]*):[0-9]{1,5}$"));
    if (shape.match(text).hasMatch())
        return Scheme + text;
    return address;
}

QVariantMap TcpTransport::settings() const
{
    QVariantMap s{{QStringLiteral("host"), m_host}, {QStringLiteral("port"), m_port}};
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
        s.insert(QStringLiteral("peer"), m_socket->peerAddress().toString());
        s.insert(QStringLiteral("nodelay"),
                 m_socket->socketOption(QAbstractSocket::LowDelayOption).toInt() != 0);
    }
    return s;
}

bool TcpTransport::open(const QString &port, qint32 rate)
{
    Q_UNUSED(rate)
    close();
    m_name = port;
    m_failed = false;
    if (!parse(port, &m_host, &m_port)) {
        setErrorString(tr("\"%1\" is not a network address: expected HOST:PORT, for instance "
                          "192.168.0.10:35000")
                           .arg(port.mid(Scheme.size())));
        return false;
    }

    m_socket = new QTcpSocket(this);
    QAbstractSocket::SocketError failure = QAbstractSocket::UnknownSocketError;
    bool done = false;
    connect(m_socket, &QAbstractSocket::connected, this, [this, &done] {
        done = true;
        if (m_loop)
            m_loop->quit();
    });
    connect(m_socket, &QAbstractSocket::errorOccurred, this,
            [this, &done, &failure](QAbstractSocket::SocketError error) {
                done = true;
                failure = error;
                if (m_loop)
                    m_loop->quit();
            });
    m_socket->connectToHost(m_host, m_port);

    QPointer<TcpTransport> self(this);
    if (!done)
        runLoop(AnswerTimeoutMs);
    if (!self)
        return false; // deleted by an event handled while waiting: nothing may be touched
    if (!m_socket) {
        // close() from an event handled while waiting
        setErrorString(tr("The connection to %1 was cancelled").arg(m_name.mid(Scheme.size())));
        return false;
    }
    disconnect(m_socket, nullptr, this, nullptr);
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        if (failure == QAbstractSocket::UnknownSocketError)
            failure = QAbstractSocket::SocketTimeoutError;
        setErrorString(failureText(failure));
        qCWarning(lcLink) << "cannot connect to" << m_name << m_socket->errorString();
        dropSocket();
        return false;
    }

    // One command, one answer: Nagle's algorithm would hold every short command back until
    // the previous answer's acknowledgement, and the adapter waits for the whole line.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    connect(m_socket, &QIODevice::readyRead, this, &LinkTransport::readyRead);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &TcpTransport::onError);
    connect(m_socket, &QAbstractSocket::disconnected, this, &TcpTransport::onDisconnected);
    m_open = true;
    setErrorString(QString());
    qCDebug(lcLink) << "connected to" << m_name << "at" << m_socket->peerAddress();
    return true;
}

QString TcpTransport::failureText(QAbstractSocket::SocketError error) const
{
    const QString address = m_name.mid(Scheme.size());
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return tr("%1 refused the connection: nothing listens on that port").arg(address);
    case QAbstractSocket::HostNotFoundError:
        return tr("%1 could not be found").arg(m_host);
    case QAbstractSocket::NetworkError:
        return tr("No route to %1 (%2): is this computer on the adapter's Wi-Fi network?")
            .arg(address, m_socket ? m_socket->errorString() : QString());
    case QAbstractSocket::SocketTimeoutError:
        return tr("No answer from %1 within 5 s: is this computer on the adapter's Wi-Fi "
                  "network?")
            .arg(address);
    case QAbstractSocket::RemoteHostClosedError:
        return tr("The adapter at %1 closed the connection").arg(address);
    default:
        return QStringLiteral("%1: %2").arg(address,
                                            m_socket ? m_socket->errorString() : QString());
    }
}

void TcpTransport::close()
{
    if (m_loop)
        m_loop->quit();
    if (!m_socket)
        return;
    if (m_open) {
        m_open = false;
        emit aboutToClose();
    }
    dropSocket();
}

void TcpTransport::dropSocket()
{
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    m_open = false;
    if (!socket)
        return;
    disconnect(socket, nullptr, this, nullptr);
    // What was written last (the adapter's reset) still goes out; an adapter that never
    // takes it does not keep the socket for long.
    if (socket->state() == QAbstractSocket::ConnectedState) {
        socket->flush();
        socket->disconnectFromHost();
    }
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(2000, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

qint64 TcpTransport::write(const QByteArray &bytes)
{
    if (!m_socket || !m_open)
        return -1;
    return m_socket->write(bytes);
}

bool TcpTransport::flush()
{
    return m_socket && m_socket->flush();
}

QByteArray TcpTransport::readAll()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

bool TcpTransport::waitForReadyRead(int msecs)
{
    if (!m_socket || !m_open || m_failed)
        return false;
    if (m_socket->bytesAvailable() > 0)
        return true;
    QPointer<TcpTransport> self(this);
    const auto quit = connect(m_socket, &QIODevice::readyRead, this, [this] {
        if (m_loop)
            m_loop->quit();
    });
    runLoop(msecs);
    if (!self)
        return false;
    disconnect(quit);
    return m_socket && m_socket->bytesAvailable() > 0;
}

void TcpTransport::runLoop(int msecs)
{
    QEventLoop loop;
    m_loop = &loop;
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    loop.exec();
}

void TcpTransport::clear()
{
    if (m_socket)
        m_socket->readAll();
}

void TcpTransport::onError(QAbstractSocket::SocketError error)
{
    if (m_failed || !m_open)
        return;
    m_failed = true;
    setErrorString(failureText(error));
    qCWarning(lcLink) << "connection error" << m_name << error << m_socket->errorString();
    if (m_loop)
        m_loop->quit();
    emit failed();
}

void TcpTransport::onDisconnected()
{
    onError(QAbstractSocket::RemoteHostClosedError);
}
