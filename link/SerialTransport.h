#pragma once

// A serial (COM) port under the adapter link: USB and Bluetooth-serial adapters. The only
// transport with a line rate, which the link detects and may raise while the port is open.
// Everything about serial ports lives here: which there are, opening them by name or by
// device path, their rates and their errors.

#include "link/LinkTransport.h"

#include <QStringList>
#include <QVariantHash>

class QSerialPort;

// Serial ports the link can open: the system's ports in the system's order, then the device paths
// listed in KX4_EXTRA_PORTS (separated by ':'), each named by its path.
QStringList availableSerialPorts();

// Points `port` at the port called `name` (one the system lists, or any existing device path:
// a pseudo-terminal, /dev/rfcomm0), applies the "COM/..." parameters and opens it for reading
// and writing.
bool openPort(QString name, QVariantHash params, QSerialPort *port);

// Whether a serial port is a Bluetooth one, whose rate means nothing: the computer's side of
// a serial-profile link, with the module talking to the chip at the chip's own rate. Known
// from the device's name (Linux /dev/rfcomm*, names with "Bluetooth" as macOS gives them) or
// from what the system says of the port (Windows: "Standard Serial over Bluetooth link",
// in the system's language; the description or the maker names Bluetooth).
bool serialRateIsVirtual(const QString &portName, const QString &description,
                         const QString &manufacturer);

class SerialTransport : public LinkTransport
{
    Q_OBJECT
public:
    explicit SerialTransport(QObject *parent = nullptr);
    ~SerialTransport() override;

    Kind kind() const override { return Serial; }
    QString portName() const override;
    QVariantMap settings() const override;
    QString settingsText() const override;

    bool open(const QString &port, qint32 rate) override;
    bool isOpen() const override;
    void close() override;

    qint64 write(const QByteArray &bytes) override;
    bool flush() override;
    QByteArray readAll() override;
    bool waitForReadyRead(int msecs) override;
    void clear() override;
    void clearError() override;
    void discardInput() override;
    bool hasFailed() const override;

    bool hasLineRate() const override { return true; }
    bool canChangeRate() const override { return true; }
    bool setBaudRate(qint32 rate) override;
    qint32 baudRate() const override;
    bool rateIsVirtual() const override { return m_rateVirtual; }

    // Whether an open of `port` (a name as listed, or a device path) refused for want of
    // permission was refused because another program has the port open: the port reports
    // both alike.
    static bool inUseElsewhere(const QString &port);

private:
    void onError(int error);
    void noteError();

    QSerialPort *m_port;
    bool m_rateVirtual = false;
    QString m_judgedPort; // the port m_rateVirtual was judged for
};
