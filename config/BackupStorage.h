#pragma once

// The per-user folder that holds the backups of dashboard configuration memory:
// where it is, how a new backup is named (0000.bkp, 0001.bkp, ...) and what the
// interface lists. CFGRunner asks it for paths; it keeps no state of its own.

#include <QString>
#include <QVariantList>

class BackupStorage
{
public:
    static const QString Suffix; // ".bkp"

    // The first application-data location; the folder may not exist yet.
    static QString folder();

    // Creates the folder with its missing parents; false when that fails.
    static bool ensureFolder(const QString &dir);

    // "<dir>/<id>.bkp"; empty when `id` is not a plain file name (a path, "..").
    static QString pathFor(const QString &dir, const QString &id);

    // The path of the first counter value, from 0000 upward, for which neither the
    // backup nor its partial file exists in `dir`.
    static QString nextFreePath(const QString &dir);

    // Name under which an export is written until its last byte is in. It does
    // not end in ".bkp", so a backup in progress is never listed or imported.
    static QString partialPath(const QString &finalPath);

    // One {"name", "size", "created"} map per regular, non-hidden "*.bkp" file,
    // ordered by file name (case-sensitive); "name" is the file name without the
    // final ".bkp", so every listed entry can be passed back to pathFor().
    static QVariantList list(const QString &dir);
};
