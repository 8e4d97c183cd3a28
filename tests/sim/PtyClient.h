#pragma once

// The host end of the simulator's line for tests: opens the slave side with plain termios
// at a given rate and trades command lines for the adapter's output up to its prompt.

#include <QByteArray>
#include <QString>

class PtyClient
{
public:
    PtyClient() = default;
    ~PtyClient();
    PtyClient(const PtyClient &) = delete;
    PtyClient &operator=(const PtyClient &) = delete;

    bool open(const QString &path, int baud);
    bool setBaud(int baud);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    bool write(const QByteArray &bytes);
    // Writes `bytes` and collects output until it ends with the prompt ">" or the time is up.
    QByteArray exchange(const QByteArray &bytes, int timeoutMs = 2000);
    // Collects output until it ends with ">", or for the whole time when `untilPrompt` is false.
    QByteArray readFor(int timeoutMs, bool untilPrompt = true);
    // True when the line is gone (the other side hung up).
    bool hungUp();

private:
    int m_fd = -1;
};
