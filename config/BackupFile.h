#pragma once

// One backup of a dashboard's configuration memory, as CFGRunner holds it while
// an export or an import runs. On disk:
//   0  magic 01 C0 BE 10 | 4 format 01 | 5 flags (bit 0: counters) | 6 00 00
//   8  N, the info length | 12 the device information, Qt binary JSON (N bytes)
//   12+N  pages x 1024 bytes of memory from 0x0000 | then 8 bytes of counters
//         (saved odometer, saved engine time) when flags bit 0 is set.
// An export is written under a partial name and only gets its ".bkp" name once
// the last byte is in, so a backup on disk is either whole or absent. An import
// is read and checked whole before anything is sent to the dashboard.

#include "config/DashboardMemory.h"
#include <QByteArray>
#include <QFile>
#include <QJsonObject>
#include <QString>

#include <memory>

class BackupFile
{
public:
    static constexpr quint32 Magic = 0x10BEC001;
    static constexpr quint8 FormatVersion = 1;
    static constexpr quint8 FlagCounters = 0x01;
    static constexpr int HeaderSize = 12;
    static constexpr int PageSize = 1024;
    static constexpr int CountersSize = 8;
    // The device information takes some hundred bytes; a longer info field is damage,
    // and reading a length of gigabytes (a large sparse file) would exhaust memory.
    static constexpr int MaxInfoSize = 64 * 1024;
    // 16 pages fill the 14-bit address space; more would wrap the address back
    // to 0. The top of the 16th page holds the maintenance values at
    // 0x3FFB-0x3FFE, whose request words the dashboard answers as values, not as
    // memory: pages are moved only below MaintenanceValues (the counters block
    // carries the saved values), and the file holds FF above it.
    static constexpr int MaxPages = 16;
    static constexpr int MaintenanceValues = DashboardMemory::MaintenanceValues;

    // Why a file cannot be imported; the order is the order of the checks.
    enum Refusal {
        NoRefusal,
        Unreadable,
        Corrupted,
        NotBackup,
        OtherApp,
        OtherBoard,
    };

    // The user-facing text of a refusal, translated in the CFGRunner context.
    static QString refusalText(Refusal refusal);

    // "pages" of a device information object, 0 when absent.
    static int pageCount(const QJsonObject &devInfo);
    // The bytes a backup moves of `pages` pages (the pages below the maintenance values)
    // and the 6-byte block exchanges that takes: 2730 for 16 pages.
    static int transferBytes(int pages);
    static int transferExchanges(int pages);

    // The 12-byte header followed by the device information.
    static QByteArray encodeHead(const QJsonObject &devInfo, bool withCounters);
    static QByteArray encodeCounters(quint32 odometer, quint32 engineTime);

    ~BackupFile();
    BackupFile(const BackupFile &) = delete;
    BackupFile &operator=(const BackupFile &) = delete;

    // --- Export ---------------------------------------------------------------
    // Opens the partial file for `finalPath` and holds it against other exports until it
    // is committed or discarded; nullptr when it cannot be created or another running
    // export has it.
    static std::unique_ptr<BackupFile> create(const QString &finalPath);
    // A new backup in the storage folder `dir`, under the next free name, after removing
    // the partial files that exports killed before their end left there (not those of
    // exports still running).
    static std::unique_ptr<BackupFile> createIn(const QString &dir);
    static void removeStaleParts(const QString &dir);
    // Each returns false when the bytes did not all reach the file.
    bool writeHead(const QJsonObject &devInfo, bool withCounters, quint32 odometer,
                   quint32 engineTime);
    bool appendPages(const QByteArray &bytes);
    qint64 pageBytesWritten() const { return m_pageBytes; }
    // Writes the counters block if asked for, flushes, closes and gives the file
    // its final name (the next free one if another program took it meanwhile).
    bool commit();
    // Closes and removes the partial file of an unfinished export.
    void discard();

    // --- Import ---------------------------------------------------------------
    // Reads and checks `path` against the connected board's information; the
    // result is null when refused, with the reason in *refusal.
    static std::unique_ptr<BackupFile> load(const QString &path, const QJsonObject &devInfo,
                                            Refusal *refusal);
    // The device information saved in the file at `path`; empty when the file is no
    // readable backup.
    static QJsonObject readInfo(const QString &path);
    bool hasCounters() const { return m_hasCounters; }
    // The saved odometer and engine-time values, 4 bytes each, as stored.
    QByteArray odometerBytes() const { return m_counters.left(4); }
    QByteArray engineTimeBytes() const { return m_counters.mid(4, 4); }
    // Up to 6 page bytes from `offset`; fewer at the end, none past it.
    QByteArray pageChunk(int offset) const;
    int pageSize() const { return m_pages.size(); }

    QString fileName() const { return m_finalPath; }
    QString errorString() const { return m_error; }

private:
    struct Head
    {
        qint64 fileSize = 0;
        qint64 infoSize = 0;
        bool hasCounters = false;
        QJsonObject info;
    };
    // Opens `file` and reads the header and the device information, checked in the order
    // of the refusals; false with *refusal set when the file is no readable backup.
    static bool readHead(QFile &file, Head *head, Refusal *refusal);

    BackupFile() = default;
    bool writeAll(const QByteArray &bytes);

    // Export
    QFile m_file;
    QString m_finalPath;
    QByteArray m_countersBlock;
    qint64 m_pageBytes = 0;
    bool m_committed = false;
    QString m_error;

    // Import
    QByteArray m_pages;
    QByteArray m_counters;
    bool m_hasCounters = false;
};
