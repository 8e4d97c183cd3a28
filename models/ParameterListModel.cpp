#include "models/ParameterListModel.h"

#include "config/ParameterCatalogue.h"

#include <algorithm>

namespace {

QJsonObject toObject(const QVariant &value)
{
    if (value.userType() == QMetaType::QJsonObject)
        return value.toJsonObject();
    return QJsonObject::fromVariantMap(value.toMap());
}

QString nameOf(const QVariant &value)
{
    return toObject(value).value(QLatin1String("name")).toString();
}

} // namespace

ParameterListModel::ParameterListModel(QObject *parent) : QAbstractListModel(parent) {}

int ParameterListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_parameters.size();
}

int ParameterListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant ParameterListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_parameters.size())
        return QVariant();
    switch (role) {
    case NameRole:
        return item(index.row()).value(QLatin1String("name")).toString();
    case CommentRole:
        return commentText(item(index.row()));
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> ParameterListModel::roleNames() const
{
    return {{NameRole, "name"}, {CommentRole, "comment"}};
}

void ParameterListModel::setParameters(const QVariantList &parameters)
{
    if (!m_parameters.isEmpty()) {
        beginRemoveRows(QModelIndex(), 0, m_parameters.size() - 1);
        m_parameters.clear();
        endRemoveRows();
    }
    if (parameters.isEmpty())
        return;
    beginInsertRows(QModelIndex(), 0, parameters.size() - 1);
    m_parameters = parameters;
    // QString's operator< compares UTF-16 code units: "B" < "a" < "b".
    std::stable_sort(m_parameters.begin(), m_parameters.end(),
                     [](const QVariant &a, const QVariant &b) { return nameOf(a) < nameOf(b); });
    endInsertRows();
}

QVariantMap ParameterListModel::get(int row) const
{
    return item(row).toVariantMap();
}

uint ParameterListModel::hash(int row) const
{
    return ParameterCatalogue::parameterHash(item(row));
}

QString ParameterListModel::commentText(const QJsonObject &item)
{
    const QJsonObject comment = item.value(QLatin1String("comment")).toObject();
    const QJsonValue ru = comment.value(QLatin1String("ru"));
    if (ru.isUndefined() || ru.isNull())
        return comment.value(QLatin1String("en")).toString();
    return ru.toString();
}

QJsonObject ParameterListModel::item(int row) const
{
    if (row < 0 || row >= m_parameters.size())
        return QJsonObject();
    return toObject(m_parameters.at(row));
}
