#include "app/CommandFiles.h"

#include "config/BackupFile.h"
#include "link/ELM327IOBase.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <QStringList>

namespace CommandLine {

QString absolute(const QString &file)
{
    return QFileInfo(file).absoluteFilePath();
}

QString resolvePort(const QString &port)
{
    const QStringList listed = availableSerialPorts();
    if (listed.contains(port) || !QFileInfo(port).isAbsolute() || !QFileInfo::exists(port))
        return port;
    const QString name = QFileInfo(port).fileName();
    if (listed.contains(name) && QFileInfo(QStringLiteral("/dev/") + name) == QFileInfo(port))
        return name;
    QStringList extra =
        qEnvironmentVariable("KX4_EXTRA_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    extra.append(port);
    qputenv("KX4_EXTRA_PORTS", extra.join(QLatin1Char(':')).toLocal8Bit());
    return port;
}

QString exportTargetProblem(const QString &path)
{
    const QFileInfo target(path);
    if (!target.exists() || target.isFile())
        return QString();
    return QStringLiteral("%1 could not be written: it is %2, not a regular file")
        .arg(path, target.isDir() ? QStringLiteral("a folder")
                                  : QStringLiteral("a device, a FIFO or a socket"));
}

QString moveBackup(const QString &from, const QString &to)
{
    // The target may have been replaced while the export ran.
    const QString problem = exportTargetProblem(to);
    if (!problem.isEmpty())
        return QStringLiteral("%1; the backup is %2").arg(problem, from);
    QFile in(from);
    QSaveFile out(to);
    const QByteArray bytes = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    if (bytes.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() ||
        !out.commit()) {
        // The backup itself is safe in the backup folder.
        return QStringLiteral("cannot write %1 (%2); the backup is %3")
            .arg(to, out.errorString(), from);
    }
    in.close();
    in.remove();
    return QString();
}

QString importProblem(const QString &file)
{
    if (!QFileInfo::exists(file))
        return QStringLiteral("Cannot import - the source file does not exist");
    BackupFile::Refusal refusal = BackupFile::NoRefusal;
    if (!BackupFile::load(file, BackupFile::readInfo(file), &refusal))
        return BackupFile::refusalText(refusal);
    return QString();
}

QString pictureProblem(const QString &file, const QString &given)
{
    QImageReader reader(file);
    if (!reader.canRead())
        return QStringLiteral("Cannot load %1\n%2").arg(given, reader.errorString());
    return QString();
}

} // namespace CommandLine
