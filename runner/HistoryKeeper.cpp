#include "runner/HistoryKeeper.h"

#include "config/WriteHistory.h"

#include <utility>

LayoutProfile::Layout HistoryKeeper::held(const QMap<int, QString> &engines, int positions) const
{
    return LayoutProfile::fromPages(engineOf(m_board, engines), positions, m_config, m_board);
}

bool HistoryKeeper::record(const QMap<int, QString> &engines, int positions,
                           const ParameterCatalogue::ItemTable &items, const QJsonObject &devInfo,
                           const QString &written, const QString &toolVersion, QString *error)
{
    finish(false);
    m_entry = WriteHistory::record(WriteHistory::folder(), held(engines, positions), items,
                                   devInfo, written, toolVersion, error);
    m_last = m_entry;
    return !m_entry.isEmpty();
}

void HistoryKeeper::finish(bool written)
{
    if (m_entry.isEmpty())
        return;
    const QString path = std::exchange(m_entry, QString());
    WriteHistory::finish(path, written ? WriteHistory::Written : WriteHistory::Failed);
}

QString HistoryKeeper::engineOf(const QVariantMap &board, const QMap<int, QString> &engines)
{
    if (!board.contains(QStringLiteral("engidx")))
        return QString();
    return engines.value(board.value(QStringLiteral("engidx")).toInt());
}
