#pragma once

// Small file helpers shared by the backup tests: whole-file reads and writes, and a cap
// on file sizes that makes this process's writes fail the way they do on a full disk.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

inline QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

// While it lives, no file this process writes grows past `bytes`: the write that would
// cross the cap fails with EFBIG instead of raising SIGXFSZ.
class FileSizeCap
{
public:
    explicit FileSizeCap(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit cap = m_old;
        cap.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &cap);
    }
    ~FileSizeCap() { setrlimit(RLIMIT_FSIZE, &m_old); }
    FileSizeCap(const FileSizeCap &) = delete;
    FileSizeCap &operator=(const FileSizeCap &) = delete;

private:
    rlimit m_old;
};
