#include "models/VariantMapModel.h"

#include <QJsonValue>

VariantMapModel::VariantMapModel(QObject *parent) : QAbstractListModel(parent) {}

int VariantMapModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_map.size();
}

int VariantMapModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant VariantMapModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_map.size())
        return QVariant();
    const auto it = std::next(m_map.constBegin(), index.row());
    switch (role) {
    case Qt::DisplayRole:
    case ValueRole:
        return presentValue(it.value());
    case KeyRole:
        return presentKey(it.key());
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> VariantMapModel::roleNames() const
{
    return {{Qt::DisplayRole, "display"}, {KeyRole, "tkey"}, {ValueRole, "tvalue"}};
}

void VariantMapModel::setMap(const QVariantMap &map)
{
    if (!m_map.isEmpty()) {
        beginRemoveRows(QModelIndex(), 0, m_map.size() - 1);
        m_map.clear();
        endRemoveRows();
    }
    if (map.isEmpty())
        return;
    beginInsertRows(QModelIndex(), 0, map.size() - 1);
    m_map = map;
    endInsertRows();
}

QString VariantMapModel::presentKey(const QString &key)
{
    QString text = key.toLower();
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text;
}

QVariant VariantMapModel::presentValue(const QVariant &value)
{
    const QJsonValue json = QJsonValue::fromVariant(value);
    if (json.isObject())
        return formatJsonObject(json.toObject());
    return value;
}

QString VariantMapModel::formatJsonObject(const QJsonObject &object)
{
    QString text;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        text += presentKey(it.key()) + QLatin1String(": ");
        if (it.value().isObject())
            text += QLatin1Char('{') + formatJsonObject(it.value().toObject()) + QLatin1Char('}');
        else
            text += it.value().toVariant().toString();
        text += QLatin1String(", ");
    }
    if (text.endsWith(QLatin1String(", ")))
        text.chop(2);
    return text;
}
