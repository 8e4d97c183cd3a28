#pragma once

// The byte channel under the adapter link: a serial port (SerialTransport) or a TCP
// connection to a Wi-Fi adapter (TcpTransport). The link opens, reads, writes and closes
// through this interface and never learns which one it talks through; only the serial one
// has a line rate to detect or switch. A new kind of adapter is one more subclass and one
// line in create().

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariantMap>

class LinkTransport : public QObject
{
    Q_OBJECT
public:
    enum Kind { Serial, Network };
    Q_ENUM(Kind)
    // Why the channel could not be opened or broke, as far as the link's user must tell.
    enum Failure {
        NoFailure,
        NoSuchPort,       // nothing of that name
        PermissionDenied, // the system refuses the user (a serial port of another group)
        PortInUse,        // another program has the port open
        OtherFailure
    };
    Q_ENUM(Failure)

    // The transport for a port name: "tcp://HOST:PORT" is a network adapter, anything else
    // a serial port as the system lists it.
    static LinkTransport *create(const QString &port, QObject *parent = nullptr);
    static Kind kindOf(const QString &port);

    using QObject::QObject;

    virtual Kind kind() const = 0;
    // "serial" or "network", for logs and diagnostics.
    QString kindName() const;
    // The port name it was opened with and the settings in use (rate, framing, address),
    // for logs and diagnostics.
    virtual QString portName() const = 0;
    virtual QVariantMap settings() const = 0;
    // One line: kind, port name and settings.
    QString describe() const;
    // The settings in the user's words, for a diagnostics report ("38400 bit/s, 8 data
    // bits, no parity, 1 stop bit, no flow control" for a serial port).
    virtual QString settingsText() const;

    // Opens `port` (a serial port at `rate`; the rate means nothing to a network adapter).
    // May process events while it waits (a network connection, up to 5 s): the caller
    // must not start another open from those events. False with errorString() set.
    virtual bool open(const QString &port, qint32 rate) = 0;
    virtual bool isOpen() const = 0;
    // Closes an open channel; emits aboutToClose() first.
    virtual void close() = 0;

    // Queues `bytes` and sends them at once (no waiting to gather more).
    virtual qint64 write(const QByteArray &bytes) = 0;
    virtual bool flush() = 0;
    virtual QByteArray readAll() = 0;
    // Waits up to `msecs` for more input; true when some arrived.
    virtual bool waitForReadyRead(int msecs) = 0;
    // Drops unread input and unsent output and forgets a past error.
    virtual void clear() = 0;
    // Forgets a past error (a rate the port refused).
    virtual void clearError() = 0;
    // Drops unread input only (noise after a rate change).
    virtual void discardInput() = 0;
    // True once the channel has failed for good (unplugged, connection lost), as opposed to
    // a wait that ran out.
    virtual bool hasFailed() const = 0;
    // The reason of the last failure, for the user, and its kind.
    QString errorString() const { return m_errorString; }
    Failure failure() const { return m_failure; }

    // Line rate: only a serial port has one to detect; canChangeRate() tells whether it can
    // be changed while the channel is open.
    virtual bool hasLineRate() const = 0;
    virtual bool canChangeRate() const = 0;
    virtual bool setBaudRate(qint32 rate) = 0;
    virtual qint32 baudRate() const = 0;
    // The rate set reaches no wire (a network adapter; a Bluetooth serial port, whose module
    // talks to the chip at the chip's rate whatever the port is set to).
    virtual bool rateIsVirtual() const { return !hasLineRate(); }

signals:
    void readyRead();
    void aboutToClose();
    // The channel broke while open (port error, connection lost); the link closes it.
    void failed();

protected:
    void setErrorString(const QString &text, Failure failure = OtherFailure)
    {
        m_errorString = text;
        m_failure = text.isEmpty() && failure == OtherFailure ? NoFailure : failure;
    }

private:
    QString m_errorString;
    Failure m_failure = NoFailure;
};
