#include "fuzz/harness/FuzzSupport.h"

#include "config/BackupFile.h"
#include "config/BinaryJson.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>

namespace {

QTemporaryDir *scratch = nullptr;

void quietHandler(QtMsgType, const QMessageLogContext &, const QString &) {}

QTemporaryDir &scratchRoot()
{
    if (!scratch) {
        // In memory when the system offers a memory file system: targets write a file per
        // input.
        const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm")
                                 : QDir::tempPath();
        scratch = new QTemporaryDir(base + QStringLiteral("/kx4-fuzz-XXXXXX"));
    }
    return *scratch;
}

} // namespace

void initFuzzApp(int *argc, char ***argv, FuzzApp kind)
{
    // Settings, backups and anything else stored go to a throw-away home.
    const QString home = scratchRoot().path();
    qputenv("HOME", home.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/data")).toLocal8Bit());
    if (QCoreApplication::instance()) {
        // Inside a test program, which made its own.
    } else if (kind == FuzzApp::Gui) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QGuiApplication(*argc, *argv);
    } else {
        new QCoreApplication(*argc, *argv);
    }
    QCoreApplication::setOrganizationName(QStringLiteral("Veltro"));
    QCoreApplication::setApplicationName(QStringLiteral("VeltroKX4"));
    QStandardPaths::setTestModeEnabled(true);
    if (!qEnvironmentVariableIsSet("KX4_FUZZ_VERBOSE"))
        qInstallMessageHandler(quietHandler);
}

QString scratchDir()
{
    const QString dir = scratchRoot().path() + QStringLiteral("/files");
    QDir().mkpath(dir);
    return dir;
}

void clearScratch()
{
    QDir(scratchDir()).removeRecursively();
}

QString writeScratchFile(const QString &name, const QByteArray &bytes)
{
    const QString path = scratchDir() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fuzzFail("cannot write the scratch file", path.toLocal8Bit());
    return path;
}

qint64 backupClaimedSize(const QByteArray &content)
{
    if (content.size() < BackupFile::HeaderSize)
        return content.size() + 1;
    const qint64 infoSize = qFromLittleEndian<quint32>(content.constData() + 8);
    const bool counters = quint8(content.at(5)) & BackupFile::FlagCounters;
    bool parsed = false;
    const QJsonObject info =
        BinaryJson::readObject(content.mid(BackupFile::HeaderSize, int(infoSize)), &parsed);
    return BackupFile::HeaderSize + infoSize +
           qint64(BackupFile::pageCount(info)) * BackupFile::PageSize +
           (counters ? BackupFile::CountersSize : 0);
}

void fuzzFail(const char *what, const QByteArray &detail)
{
    std::fprintf(stderr, "==kx4-fuzz== %s %s\n", what, detail.constData());
    std::fflush(stderr);
    std::abort();
}
