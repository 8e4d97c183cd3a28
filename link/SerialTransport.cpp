#include "link/SerialTransport.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>
#include <iterator>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {

// Devices that work as serial ports but that the system does not list (pseudo-terminals,
// rfcomm or network bridges), named by the user in KX4_EXTRA_PORTS.
QStringList extraPorts()
{
    return qEnvironmentVariable("KX4_EXTRA_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

// A name that is no port the system lists but a file that exists: a device the system does
// not count among its serial ports. Elsewhere (COM names on Windows) only listed ports open.
bool isDevicePath(const QString &name)
{
#ifdef Q_OS_WIN
    Q_UNUSED(name)
    return false;
#else
    return QFileInfo(name).isAbsolute() && QFileInfo::exists(name);
#endif
}

} // namespace

QStringList availableSerialPorts()
{
    QStringList names;
    const auto system = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : system)
        names << info.portName();
    for (const QString &path : extraPorts()) {
        if (!names.contains(path))
            names << path;
    }
    return names;
}

bool openPort(QString name, QVariantHash params, QSerialPort *port)
{
    if (!port)
        return false;
    // Listing the system's ports scans every tty of the machine (tens of milliseconds), so
    // a port named in KX4_EXTRA_PORTS is taken as it is. So is any other name the system does
    // not list: a device path (a pseudo-terminal, /dev/rfcomm0) opens as it is, and a name
    // that is nothing fails to open with DeviceNotFoundError.
    if (extraPorts().contains(name)) {
        port->setPortName(name);
    } else {
        const auto system = QSerialPortInfo::availablePorts();
        const auto found =
            std::find_if(system.cbegin(), system.cend(),
                         [&](const QSerialPortInfo &i) { return i.portName() == name; });
        if (found != system.cend())
            port->setPort(*found);
        else if (isDevicePath(name))
            port->setPortName(name);
        else
            return false;
    }

    const qint32 baud = qint32(params.value(QStringLiteral("COM/Baud"), 115200).toUInt());
    port->setBaudRate(baud, QSerialPort::Input);
    port->setBaudRate(baud, QSerialPort::Output);

    const int parity = params.value(QStringLiteral("COM/Parity"), 0).toInt();
    switch (parity) {
    case QSerialPort::EvenParity:
    case QSerialPort::OddParity:
    case QSerialPort::SpaceParity:
    case QSerialPort::MarkParity:
        port->setParity(QSerialPort::Parity(parity));
        break;
    default:
        port->setParity(QSerialPort::NoParity);
    }

    const int bits = params.value(QStringLiteral("COM/Bits"), 8).toInt();
    port->setDataBits(bits >= 5 && bits <= 8 ? QSerialPort::DataBits(bits) : QSerialPort::Data8);

    const int flow = params.value(QStringLiteral("COM/FlowCtrl"), 0).toInt();
    port->setFlowControl(flow == QSerialPort::HardwareControl ||
                                 flow == QSerialPort::SoftwareControl
                             ? QSerialPort::FlowControl(flow)
                             : QSerialPort::NoFlowControl);

    const int stop = params.value(QStringLiteral("COM/StopBits"), 1).toInt();
    port->setStopBits(stop == QSerialPort::TwoStop || stop == QSerialPort::OneAndHalfStop
                          ? QSerialPort::StopBits(stop)
                          : QSerialPort::OneStop);

    return port->open(QIODevice::ReadWrite);
}


bool serialRateIsVirtual(const QString &portName, const QString &description,
                         const QString &manufacturer)
{
    const QString name = portName.section(QLatin1Char('/'), -1);
    if (name.startsWith(QLatin1String("rfcomm"), Qt::CaseInsensitive))
        return true;
    for (const QString &text : {name, description, manufacturer}) {
        if (text.contains(QLatin1String("bluetooth"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

SerialTransport::SerialTransport(QObject *parent)
    : LinkTransport(parent), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::aboutToClose, this, &LinkTransport::aboutToClose);
    connect(m_port, &QSerialPort::readyRead, this, &LinkTransport::readyRead);
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { onError(int(error)); });
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
        if (port != m_judgedPort) {
            // Once per port: what the system says of it takes a scan of its ports.
            m_judgedPort = port;
            QString device = port;
            if (isDevicePath(port))
                device = QFileInfo(port).canonicalFilePath(); // a link to /dev/rfcomm0
            QString description;
            QString manufacturer;
            if (!extraPorts().contains(port)) {
                const QSerialPortInfo info(*m_port);
                description = info.description();
                manufacturer = info.manufacturer();
            }
            m_rateVirtual = serialRateIsVirtual(device, description, manufacturer);
        }
        return true;
    }
    // The system's reason; none when there is no such port.
    if (m_port->error() == QSerialPort::NoError || m_port->error() == QSerialPort::DeviceNotFoundError)
        setErrorString(QString(), NoSuchPort);
    else if (m_port->error() == QSerialPort::PermissionError && inUseElsewhere(port))
        setErrorString(m_port->errorString(), PortInUse);
    else
        noteError();
    return false;
}

bool SerialTransport::inUseElsewhere(const QString &port)
{
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

void SerialTransport::noteError()
{
    setErrorString(m_port->errorString(),
                   m_port->error() == QSerialPort::PermissionError ? PermissionDenied
                                                                   : OtherFailure);
}

void SerialTransport::clearError()
{
    m_port->clearError();
}

void SerialTransport::discardInput()
{
    m_port->clear(QSerialPort::Input);
}

QString SerialTransport::settingsText() const
{
    // Indexed by the values of QSerialPort's Parity, StopBits and FlowControl.
    static const char *const parity[] = {"no", "?", "even", "odd", "space", "mark"};
    static const char *const stopBits[] = {"?", "1", "2", "1.5"};
    static const char *const flow[] = {"no", "hardware", "software"};
    const QVariantMap s = settings();
    const auto name = [&s](const auto &names, const char *key) {
        const int value = s.value(QLatin1String(key)).toInt();
        return QLatin1String(value >= 0 && value < int(std::size(names)) ? names[value] : "?");
    };
    return QStringLiteral("%1 bit/s, %2 data bits, %3 parity, %4 stop bit, %5 flow control")
        .arg(s.value(QStringLiteral("baud")).toInt())
        .arg(s.value(QStringLiteral("bits")).toInt())
        .arg(name(parity, "parity"), name(stopBits, "stop"), name(flow, "flow"));
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

void SerialTransport::onError(int error)
{
    // The port announces a cleared error with NoError; that is no reason to drop the link.
    if (error == QSerialPort::NoError)
        return;
    noteError();
    emit failed();
}
