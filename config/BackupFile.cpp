#include "config/BackupFile.h"

#include "config/BackupStorage.h"
#include "config/BinaryJson.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QtEndian>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcBackup, "kx4.backup")

namespace {

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
    // good, and a link would have the export write wherever it points.
    const QFileInfo partial(BackupStorage::partialPath(finalPath));
    if (partial.isSymLink() || (partial.exists() && !partial.isFile())) {
        qCWarning(lcBackup) << "cannot create" << partial.filePath()
                            << "- the name is taken by something other than a file";
        return nullptr;
    }
    std::unique_ptr<BackupFile> backup(new BackupFile);
    backup->m_finalPath = finalPath;
    backup->m_file.setFileName(partial.filePath());
    // Unbuffered, so that a full disk shows at the write that hits it.
    if (!backup->m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        qCWarning(lcBackup) << "cannot create" << backup->m_file.fileName()
                            << backup->m_file.errorString();
        return nullptr;
    }
    return backup;
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
    ok = ok && ::fsync(m_file.handle()) == 0;
#endif
    m_file.close();
    ok = ok && m_file.error() == QFileDevice::NoError;
    if (!ok) {
        m_error = m_file.errorString();
        qCWarning(lcBackup) << "finishing" << m_file.fileName() << "failed:" << m_error;
        return false;
    }

    // QFile::rename never replaces an existing file: if another program took the
    // chosen name while the export ran, the backup moves to the next free one.
    const QString dir = QFileInfo(m_finalPath).absolutePath();
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (m_file.rename(m_finalPath)) {
            m_committed = true;
            qCInfo(lcBackup) << "saved" << m_finalPath;
            return true;
        }
        if (!QFileInfo::exists(m_finalPath))
            break;
        m_finalPath = BackupStorage::nextFreePath(dir);
    }
    m_error = m_file.errorString();
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
