#pragma once

// Files that are not what they seem, for the tests of every place that opens a file the
// user chose or a folder listed: a FIFO, whose open blocks until a writer comes, a device
// node, and a sparse file of any size that takes no disk. The watchdog turns a call that never
// returns into a failure, so that a regression fails the suite instead of hanging it.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <sys/stat.h>
#include <sys/sysmacros.h>

inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// A device node for the null device (what /dev/null is), so that a test never touches a
// real device even when the code under test wrongly writes to it. Making one takes root
// (CAP_MKNOD); false otherwise.
inline bool makeNullDevice(const QString &path)
{
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;
}

// What the name is now: 'f' a regular file, 'p' a FIFO, 'c' a character device, 'd' a
// folder, '-' nothing, '?' anything else. Links are not followed.
inline char fileKind(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return '-';
    return S_ISREG(st.st_mode)    ? 'f'
           : S_ISFIFO(st.st_mode) ? 'p'
           : S_ISCHR(st.st_mode)  ? 'c'
           : S_ISDIR(st.st_mode)  ? 'd'
                                  : '?';
}

inline bool makeSparseFile(const QString &path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.resize(size);
}

// While it lives, the calling thread has `seconds` to get past the guarded step;
// otherwise the test program ends with a failure naming `what`.
class Watchdog
{
public:
    explicit Watchdog(const QString &what, int seconds = 60)
        : m_what(what.toLocal8Bit()), m_seconds(seconds), m_thread([this] { watch(); })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

private:
    void watch()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_wake.wait_for(lock, std::chrono::seconds(m_seconds), [this] { return m_done; }))
            return;
        std::fprintf(stderr, "FAIL!  : watchdog: %s did not return within %d s\n",
                     m_what.constData(), m_seconds);
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }

    const QByteArray m_what;
    const int m_seconds;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread; // last: it starts once everything it uses exists
};
