#pragma once

// The controller's side of never writing blind: what the dashboard held when it was last read
// (a read gives the configuration list, then the board map), kept in the history before each
// write, and the entry of the write under way, finished with its outcome.

#include "config/LayoutProfile.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

class HistoryKeeper
{
public:
    void configRead(const QVariantList &config)
    {
        m_config = config;
        m_board.clear();
    }
    void boardRead(const QVariantMap &board) { m_board = board; }

    // What was read, as a layout of `positions` with the engine among `engines`.
    LayoutProfile::Layout held(const QMap<int, QString> &engines, int positions) const;

    // Keeps what was read before the write `written` describes, in the history folder.
    // False with *error when the history cannot be written.
    bool record(const QMap<int, QString> &engines, int positions,
                const ParameterCatalogue::ItemTable &items, const QJsonObject &devInfo,
                const QString &written, const QString &toolVersion, QString *error);
    // How the write after the entry kept last ended; nothing when none is under way.
    void finish(bool written);
    // The entry of the write under way or last started ("" before the first).
    QString lastEntry() const { return m_last; }

    // The engine a board map names, empty when it names none of `engines`.
    static QString engineOf(const QVariantMap &board, const QMap<int, QString> &engines);

private:
    QVariantList m_config;
    QVariantMap m_board;
    QString m_entry; // of the write under way
    QString m_last;
};
