#pragma once

// What a dashboard held before each write, kept beside the backups in "history/": one
// layout profile a write, saved before the first byte of the write goes out (the tool has
// just read the dashboard, so this costs no traffic). Each entry is a profile that loads
// like any other, with a "history" member that says when it was taken, from which
// dashboard (firmware, display) and what was written after it, and how that write ended.
// The newest 200 are kept; an entry whose write did not finish is never pushed out by
// finished ones, since it may be the only record of what that dashboard held.

#include "config/LayoutProfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

class WriteHistory
{
    Q_DECLARE_TR_FUNCTIONS(WriteHistory)

public:
    static constexpr int Keep = 200;

    enum Outcome { Pending, Written, Failed };

    struct Entry
    {
        QString path;
        QDateTime taken;   // UTC
        int firmware = -1; // the dashboard's "version", -1 when unknown
        int positions = LayoutProfile::SinglePositions;
        QString engine;
        QString written; // what was written after it, in the user's words
        Outcome outcome = Pending;
    };

    // "<backup folder>/history".
    static QString folder();

    // Saves what the dashboard held (`held`, with its device information) before a write
    // that `written` describes. The file is complete on disk or absent. Returns its path,
    // or an empty text with *error set.
    static QString record(const QString &dir, const LayoutProfile::Layout &held,
                          const ParameterCatalogue::ItemTable &items, const QJsonObject &devInfo,
                          const QString &written, const QString &toolVersion, QString *error,
                          const QDateTime &now = QDateTime::currentDateTimeUtc());

    // Notes how the write after the entry at `path` ended; then prunes the folder.
    static bool finish(const QString &path, Outcome outcome);

    // The entries in `dir`, newest first. Files that are not entries are left out.
    static QList<Entry> list(const QString &dir);

    // Drops the oldest finished entries past `keep`, and the oldest unfinished ones past
    // `keep` of their own.
    static void prune(const QString &dir, int keep = Keep);

    // How an entry is shown in a list: "2026-12-09 14:03, firmware 7, single display:
    // before configuration write (written)".
    static QString describe(const Entry &entry);
};
