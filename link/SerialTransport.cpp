#include "link/SerialTransport.h"

#include "link/ELM327IOBase.h"

#include <QFile>
#include <QVariantHash>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

SerialTransport::SerialTransport(QObject *parent)
    : LinkTransport(parent), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::aboutToClose, this, &LinkTransport::aboutToClose);
    connect(m_port, &QSerialPort::readyRead, this, &LinkTransport::readyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &SerialTransport::onError);
}

SerialTransport::~SerialTransport()
{
    disconnect(m_port, nullptr, this, nullptr);
}

QString SerialTransport::portName() const
{
    return m_port->portName();
}

QVariantMap SerialTransport::settings() const
{
    return {{QStringLiteral("baud"), m_port->baudRate()},
            {QStringLiteral("bits"), int(m_port->dataBits())},
            {QStringLiteral("parity"), int(m_port->parity())},
            {QStringLiteral("stop"), int(m_port->stopBits())},
            {QStringLiteral("flow"), int(m_port->flowControl())}};
}

bool SerialTransport::open(const QString &port, qint32 rate)
{
    // A port name that is not listed never reaches the port: no stale error may speak for it.
    m_port->clearError();
    QVariantHash params;
    params.insert(QStringLiteral("COM/Baud"), rate);
    if (openPort(port, params, m_port)) {
        setErrorString(QString());
        return true;
    }
    // The system's reason; none when there is no such port.
    setErrorString(m_port->error() == QSerialPort::NoError ? QString() : m_port->errorString());
    return false;
}

bool SerialTransport::inUseElsewhere(QSerialPort::SerialPortError error, const QString &port)
{
    if (error != QSerialPort::PermissionError)
        return false;
#ifdef Q_OS_WIN
    // A COM port has no rights of its own to lack: access is denied while another program
    // has it open.
    Q_UNUSED(port)
    return true;
#else
    // The port's lock file held by a running program, or the device opened exclusively,
    // comes as a permission error too; if this user may read and write the device, that
    // is what it was.
    const QString path = port.startsWith(QLatin1Char('/')) ? port : QStringLiteral("/dev/") + port;
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
#endif
}

bool SerialTransport::isOpen() const
{
    return m_port->isOpen();
}

void SerialTransport::close()
{
    if (m_port->isOpen())
        m_port->close();
}

qint64 SerialTransport::write(const QByteArray &bytes)
{
    return m_port->write(bytes);
}

bool SerialTransport::flush()
{
    return m_port->flush();
}

QByteArray SerialTransport::readAll()
{
    return m_port->readAll();
}

bool SerialTransport::waitForReadyRead(int msecs)
{
    return m_port->waitForReadyRead(msecs);
}

void SerialTransport::clear()
{
    m_port->clear(QSerialPort::AllDirections);
    m_port->clearError();
}

bool SerialTransport::hasFailed() const
{
    // Errors after which the port is gone or unusable, as opposed to a time-out while waiting.
    switch (m_port->error()) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        return true;
    default:
        return false;
    }
}

bool SerialTransport::setBaudRate(qint32 rate)
{
    return m_port->setBaudRate(rate);
}

qint32 SerialTransport::baudRate() const
{
    return m_port->baudRate();
}

void SerialTransport::onError(QSerialPort::SerialPortError error)
{
    // The port announces a cleared error with NoError; that is no reason to drop the link.
    if (error == QSerialPort::NoError)
        return;
    setErrorString(m_port->errorString());
    emit failed();
}
