#pragma once

// Plays the adapter on the master side of a pseudo-terminal pair. The link under test opens the
// slave side as its serial port; the peer records every byte the link writes, can answer each
// command through a responder and can read the line speed the link set on its side.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <termios.h>

class QSocketNotifier;

class PtyPeer : public QObject
{
    Q_OBJECT

public:
    explicit PtyPeer(QObject *parent = nullptr);
    ~PtyPeer() override;

    bool isValid() const { return master >= 0; }
    QString slavePath() const { return path; }

    // Everything the link wrote, and the carriage-return terminated commands within it
    // (without the carriage return), each with the line speed it arrived at.
    QByteArray received() const { return rx; }
    QList<QByteArray> commands() const { return cmds; }
    QList<int> commandRates() const { return rates; }
    void clearReceived();

    // The speed the link's side of the line is set to; 0 for a rate without a termios constant.
    int baudRate() const;
    // The line settings of the link's side (parity, data bits, stop bits, flow control).
    termios lineSettings() const;

    void send(const QByteArray &bytes);
    // The adapter vanishes: the link's side of the line hangs up.
    void closeMaster();

    // Called for every complete command with the speed it arrived at; what it returns is sent
    // back at once. Unset: the peer only records.
    std::function<QByteArray(const QByteArray &command, int baud)> responder;

    // What a well-behaved adapter answers: its identification for "ati"/"atws"/"atz", a voltage
    // for "at rv", "OK" for other AT and ST commands, each followed by the prompt. Frames get an
    // empty answer.
    static QByteArray adapterAnswer(const QByteArray &command);

signals:
    void commandReceived(const QByteArray &command);

private:
    void readMaster();

    int master = -1;
    int slave = -1;
    QString path;
    QSocketNotifier *notifier = nullptr;
    QByteArray rx;
    QByteArray partial;
    QList<QByteArray> cmds;
    QList<int> rates;
};
