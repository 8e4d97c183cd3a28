#ifndef PARAMETERLISTMODEL_H
#define PARAMETERLISTMODEL_H

// The catalogue items offered for the selected engine, sorted by name, from which the
// user picks the values to show. CFGRunner owns it and refills it with setParameters
// on every catalogue load and engine change; the interface reads it and calls get/hash.

#include <QAbstractListModel>
#include <QJsonObject>
#include <QVariantList>

class ParameterListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Roles { NameRole = Qt::UserRole + 1, CommentRole = Qt::UserRole + 2 };

    explicit ParameterListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Each element holds one catalogue item (QJsonObject or QVariantMap).
    void setParameters(const QVariantList &parameters);

    Q_INVOKABLE QVariantMap get(int row) const;
    // The item's parameter hash, the same key the catalogue stores it under.
    Q_INVOKABLE uint hash(int row) const;

    // The "ru" comment, or the "en" one when the item has no (or a null) "ru" member.
    static QString commentText(const QJsonObject &item);

private:
    QJsonObject item(int row) const;

    QVariantList m_parameters;
};

#endif // PARAMETERLISTMODEL_H
