#include "config/BackupFile.h"

#include "config/BackupStorage.h"
#include "config/BinaryJson.h"
#include "runner/DashboardProtocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcBackup, "kx4.backup")

namespace {

// An export holds a lock on its partial file while it writes it, so that the next export
// (of this program or another) can tell a running export's file from one left by an
// export that was killed. False when another open file holds it. Windows needs none: a
// file open in another program cannot be deleted there.
bool lockPartial(QFile &file)
{
#ifdef Q_OS_UNIX
    return ::flock(file.handle(), LOCK_EX | LOCK_NB) == 0;
#else
    Q_UNUSED(file)
    return true;
#endif
}

// Whether `file` (open) is still the file its name leads to: a partial file removed as
// stale between its open and its lock is not.
bool stillNamed(QFile &file)
{
#ifdef Q_OS_UNIX
    struct stat byName, byHandle;
    return ::fstat(file.handle(), &byHandle) == 0 &&
           ::stat(QFile::encodeName(file.fileName()).constData(), &byName) == 0 &&
           byName.st_dev == byHandle.st_dev && byName.st_ino == byHandle.st_ino;
#else
    Q_UNUSED(file)
    return true;
#endif
}

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

} // namespace

QString BackupFile::refusalText(Refusal refusal)
{
    switch (refusal) {
    case NoRefusal:
        break;
    case Unreadable:
        return QCoreApplication::translate("CFGRunner",
                                           "Cannot import - the source file could not be read");
    case Corrupted:
        return QCoreApplication::translate("CFGRunner",
                                           "Cannot import - the source file is corrupted");
    case NotBackup:
        return QCoreApplication::translate("CFGRunner",
                                           "Cannot import - the source file is not a backup file");
    case OtherApp:
        return QCoreApplication::translate(
            "CFGRunner", "Cannot import - the source file has been created by another app");
    case OtherBoard:
        return QCoreApplication::translate(
            "CFGRunner", "Cannot import - the source file was created for another board");
    }
    return QString();
}

int BackupFile::transferBytes(int pages)
{
    return qMin(qBound(0, pages, int(MaxPages)) * PageSize, int(MaintenanceValues));
}

int BackupFile::transferExchanges(int pages)
{
    return (transferBytes(pages) + DashboardProtocol::ChunkSize - 1) / DashboardProtocol::ChunkSize;
}

int BackupFile::pageCount(const QJsonObject &devInfo)
{
    return devInfo.value(QStringLiteral("pages")).toInt(0);
}

QByteArray BackupFile::encodeHead(const QJsonObject &devInfo, bool withCounters)
{
    // The info field is the framework's old binary JSON, which the files in users' hands
    // use; the project's own writer gives the same bytes with any Qt.
    const QByteArray info = BinaryJson::writeObject(devInfo);
    QByteArray head = le32(Magic);
    head.append(char(FormatVersion));
    head.append(char(withCounters ? FlagCounters : 0));
    head.append(2, '\0');
    head.append(le32(quint32(info.size())));
    head.append(info);
    return head;
}

QByteArray BackupFile::encodeCounters(quint32 odometer, quint32 engineTime)
{
    return le32(odometer) + le32(engineTime);
}

BackupFile::~BackupFile()
{
    discard();
}

std::unique_ptr<BackupFile> BackupFile::create(const QString &finalPath)
{
    // A stale partial file of an export that never ended is overwritten; anything else
    // under that name is left alone: opening a FIFO for writing waits for a reader for
    // good, and a link would have the export write wherever it points. So is the
    // partial file of an export still running.
    const QFileInfo partial(BackupStorage::partialPath(finalPath));
    if (partial.isSymLink() || (partial.exists() && !partial.isFile())) {
        qCWarning(lcBackup) << "cannot create" << partial.filePath()
                            << "- the name is taken by something other than a file";
        return nullptr;
    }
    std::unique_ptr<BackupFile> backup(new BackupFile);
    backup->m_finalPath = finalPath;
    backup->m_file.setFileName(partial.filePath());
    for (int attempt = 0;; ++attempt) {
        // Unbuffered, so that a full disk shows at the write that hits it. Not truncated
        // before the lock is held: the file may be another export's.
        if (!backup->m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
            qCWarning(lcBackup) << "cannot create" << backup->m_file.fileName()
                                << backup->m_file.errorString();
            backup->m_file.setFileName(QString());
            return nullptr;
        }
        if (!lockPartial(backup->m_file)) {
            qCWarning(lcBackup) << "cannot create" << backup->m_file.fileName()
                                << "- another export is writing it";
            backup->m_file.close();
            backup->m_file.setFileName(QString());
            return nullptr;
        }
        if (stillNamed(backup->m_file))
            break;
        backup->m_file.close();
        if (attempt == 2) {
            qCWarning(lcBackup) << "cannot create" << backup->m_file.fileName()
                                << "- removed each time it was opened";
            backup->m_file.setFileName(QString());
            return nullptr;
        }
    }
    if (!backup->m_file.resize(0)) {
        qCWarning(lcBackup) << "cannot empty" << backup->m_file.fileName()
                            << backup->m_file.errorString();
        return nullptr;
    }
    return backup;
}

std::unique_ptr<BackupFile> BackupFile::createIn(const QString &dir)
{
    removeStaleParts(dir);
    // The name is the first one free of both the backup and a partial file; another
    // export may take it between the look and the open, and then the next one is used.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString path = BackupStorage::nextFreePath(dir);
        if (auto backup = create(path))
            return backup;
        if (!QFileInfo::exists(BackupStorage::partialPath(path)) &&
            !QFileInfo(BackupStorage::partialPath(path)).isSymLink())
            break; // not taken: the folder refuses new files
    }
    return nullptr;
}

void BackupFile::removeStaleParts(const QString &dir)
{
    const QFileInfoList parts = QDir(dir).entryInfoList(
        {QLatin1Char('*') + BackupStorage::Suffix + QStringLiteral(".part")},
        QDir::Files | QDir::Hidden);
    for (const QFileInfo &info : parts) {
        // A FIFO would hold the open for good, and a link points at something else.
        if (info.isSymLink() || !info.isFile())
            continue;
        QFile part(info.filePath());
        if (!part.open(QIODevice::ReadOnly) || !lockPartial(part))
            continue; // a running export's
#ifdef Q_OS_WIN
        part.close(); // open here, it could not be removed
#endif
        if (QFile::remove(info.filePath()))
            qCInfo(lcBackup) << "removed the stale" << info.fileName();
        else
            qCWarning(lcBackup) << "cannot remove the stale" << info.fileName();
    }
}

bool BackupFile::writeAll(const QByteArray &bytes)
{
    if (!m_file.isOpen())
        return false;
    if (m_file.write(bytes) == bytes.size())
        return true;
    // A write cut short by a full disk may come back without an error code.
    m_error = m_file.error() != QFileDevice::NoError ? m_file.errorString()
                                                     : QStringLiteral("short write");
    qCWarning(lcBackup) << "write to" << m_file.fileName() << "failed:" << m_error;
    return false;
}

bool BackupFile::writeHead(const QJsonObject &devInfo, bool withCounters, quint32 odometer,
                           quint32 engineTime)
{
    m_countersBlock = withCounters ? encodeCounters(odometer, engineTime) : QByteArray();
    return writeAll(encodeHead(devInfo, withCounters));
}

bool BackupFile::appendPages(const QByteArray &bytes)
{
    if (!writeAll(bytes))
        return false;
    m_pageBytes += bytes.size();
    return true;
}

bool BackupFile::commit()
{
    if (!m_file.isOpen() || !writeAll(m_countersBlock))
        return false;
    bool ok = m_file.flush();
#ifdef Q_OS_UNIX
    // Renamed while still open and locked, so that no other export takes it for stale.
    ok = ok && ::fsync(m_file.handle()) == 0;
#else
    // Windows renames no file that is open.
    m_file.close();
    ok = ok && m_file.error() == QFileDevice::NoError;
#endif
    if (!ok) {
        m_error = m_file.errorString();
        qCWarning(lcBackup) << "finishing" << m_file.fileName() << "failed:" << m_error;
        return false;
    }

    // QFile::rename never replaces an existing file: if another program took the
    // chosen name while the export ran, the backup moves to the next free one.
    QFile partial(m_file.fileName());
    const QString dir = QFileInfo(m_finalPath).absolutePath();
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (partial.rename(m_finalPath)) {
            m_committed = true;
            m_file.close();
            qCInfo(lcBackup) << "saved" << m_finalPath;
            return true;
        }
        if (!QFileInfo::exists(m_finalPath))
            break;
        m_finalPath = BackupStorage::nextFreePath(dir);
    }
    m_error = partial.errorString();
    qCWarning(lcBackup) << "cannot rename" << m_file.fileName() << "to" << m_finalPath << m_error;
    return false;
}

void BackupFile::discard()
{
    if (m_committed || m_file.fileName().isEmpty())
        return;
    m_file.close();
    if (m_file.exists() && !m_file.remove())
        qCWarning(lcBackup) << "cannot remove" << m_file.fileName() << m_file.errorString();
    m_file.setFileName(QString());
}

bool BackupFile::readHead(QFile &file, Head *head, Refusal *refusal)
{
    auto refuse = [refusal](Refusal why) {
        *refusal = why;
        return false;
    };
    // Only a regular file is opened: a FIFO named like a backup would block the open
    // for good, and a device would never end.
    if (!QFileInfo(file.fileName()).isFile() || !file.open(QIODevice::ReadOnly))
        return refuse(Unreadable);
    head->fileSize = file.size();
    const QByteArray bytes = file.read(HeaderSize);
    if (head->fileSize < HeaderSize || bytes.size() < HeaderSize)
        return refuse(Corrupted);
    if (qFromLittleEndian<quint32>(bytes.constData()) != Magic)
        return refuse(NotBackup);
    if (quint8(bytes.at(4)) != FormatVersion)
        return refuse(OtherApp);
    head->hasCounters = quint8(bytes.at(5)) & FlagCounters;
    head->infoSize = qFromLittleEndian<quint32>(bytes.constData() + 8);
    if (head->infoSize > MaxInfoSize || head->fileSize < HeaderSize + head->infoSize)
        return refuse(Corrupted);

    const QByteArray infoBytes = file.read(head->infoSize);
    // Not the framework's reader: it crashes on some damaged info fields.
    bool parsed = false;
    head->info = BinaryJson::readObject(infoBytes, &parsed);
    if (infoBytes.size() != head->infoSize || !parsed)
        return refuse(Corrupted);
    return true;
}

QJsonObject BackupFile::readInfo(const QString &path)
{
    QFile file(path);
    Head head;
    Refusal refusal = NoRefusal;
    return readHead(file, &head, &refusal) ? head.info : QJsonObject();
}

std::unique_ptr<BackupFile> BackupFile::load(const QString &path, const QJsonObject &devInfo,
                                             Refusal *refusal)
{
    auto refuse = [refusal](Refusal why) {
        *refusal = why;
        return nullptr;
    };

    QFile file(path);
    Head head;
    if (!readHead(file, &head, refusal))
        return nullptr;
    const qint64 size = head.fileSize;
    const qint64 infoSize = head.infoSize;
    const bool hasCounters = head.hasCounters;
    const QJsonObject &saved = head.info;
    for (const char *key : {"version", "pages", "disp"}) {
        if (saved.value(QLatin1String(key)) != devInfo.value(QLatin1String(key)))
            return refuse(OtherBoard);
    }

    const qint64 pageBytes = qint64(pageCount(saved)) * PageSize;
    if (pageBytes < 0 ||
        size < HeaderSize + infoSize + pageBytes + (hasCounters ? CountersSize : 0))
        return refuse(Corrupted);

    std::unique_ptr<BackupFile> backup(new BackupFile);
    backup->m_finalPath = path;
    backup->m_pages = file.read(pageBytes);
    backup->m_hasCounters = hasCounters;
    if (hasCounters)
        backup->m_counters = file.read(CountersSize);
    if (backup->m_pages.size() != pageBytes ||
        backup->m_counters.size() != (hasCounters ? CountersSize : 0))
        return refuse(Unreadable);
    *refusal = NoRefusal;
    return backup;
}

QByteArray BackupFile::pageChunk(int offset) const
{
    if (offset < 0 || offset >= m_pages.size())
        return QByteArray();
    return m_pages.mid(offset, 6);
}
