#pragma once

// The adapter's end of a pseudo-terminal for the fuzz targets: the link under test opens
// the other end as its serial port (listed through KX4_EXTRA_PORTS), the target writes
// what the adapter would print and reads back what the link sent. Everything is
// synchronous: after feed() the bytes have been through the link's readyRead().

#include <QByteArray>
#include <QList>
#include <QString>

class QSerialPort;

class PtyLine
{
public:
    // The one line of the process, listed in KX4_EXTRA_PORTS so that the link opens it.
    static PtyLine &shared();

    PtyLine();
    ~PtyLine();
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString path() const { return m_path; }

    // Forgets whatever either side left in the line.
    void reset();
    // Writes `bytes` as the adapter and lets `port` (the link's open port) take them in,
    // which runs the link's receive path before this returns.
    void feed(const QByteArray &bytes, QSerialPort *port);
    // Everything the link wrote since the last call.
    QByteArray take();
    // The carriage-return terminated lines the link wrote since the last call (without
    // the carriage return); an unfinished line waits for the next call.
    QList<QByteArray> takeLines();
    // What is left of an unfinished line.
    int pendingLineSize() const { return m_partial.size(); }

private:
    int pending() const;

    int m_master = -1;
    int m_slave = -1; // kept open so the line survives the link closing and reopening it
    QString m_path;
    QByteArray m_partial;
};
