#ifndef VARIANTMAPMODEL_H
#define VARIANTMAPMODEL_H

// A key -> value table shown as rows of a key and its value (the connection's state
// table). CFGRunner owns it and replaces the whole content with setMap.

#include <QAbstractListModel>
#include <QJsonObject>
#include <QVariantMap>

class VariantMapModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Roles { KeyRole = Qt::UserRole + 1, ValueRole = Qt::UserRole + 2 };

    explicit VariantMapModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    void setMap(const QVariantMap &map);
    const QVariantMap &map() const { return m_map; }

    // "ENGINE" and "engine" both read "Engine".
    static QString presentKey(const QString &key);
    // Objects (also as QVariantMap) become "Key: value, Other: {Inner: x}"; the rest stays.
    static QVariant presentValue(const QVariant &value);
    static QString formatJsonObject(const QJsonObject &object);

private:
    QVariantMap m_map;
};

#endif // VARIANTMAPMODEL_H
