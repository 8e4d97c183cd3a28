#pragma once

// A serial (COM) port under the adapter link: USB and Bluetooth-serial adapters. The only
// transport with a line rate, which the link detects and may raise while the port is open.

#include "link/LinkTransport.h"

#include <QSerialPort>

class SerialTransport : public LinkTransport
{
    Q_OBJECT
public:
    explicit SerialTransport(QObject *parent = nullptr);
    ~SerialTransport() override;

    Kind kind() const override { return Serial; }
    QString portName() const override;
    QVariantMap settings() const override;

    bool open(const QString &port, qint32 rate) override;
    bool isOpen() const override;
    void close() override;

    qint64 write(const QByteArray &bytes) override;
    bool flush() override;
    QByteArray readAll() override;
    bool waitForReadyRead(int msecs) override;
    void clear() override;
    void clearError() override { m_port->clearError(); }
    void discardInput() override { m_port->clear(QSerialPort::Input); }
    bool hasFailed() const override;

    // The port's own error, for reasons only a serial port has (permission denied).
    QSerialPort::SerialPortError portError() const { return m_port->error(); }

    // Whether an open of `port` (a name as listed, or a device path) that failed with
    // `error` was refused because another program has the port open, rather than for want
    // of permission: the port reports both as PermissionError.
    static bool inUseElsewhere(QSerialPort::SerialPortError error, const QString &port);

    bool hasLineRate() const override { return true; }
    bool canChangeRate() const override { return true; }
    bool setBaudRate(qint32 rate) override;
    qint32 baudRate() const override;

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort *m_port;
};
