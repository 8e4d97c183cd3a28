#include "models/VariantMapModel.h"

#include <QAbstractItemModelTester>
#include <QJsonArray>
#include <QtTest>

class TstVariantMapModel : public QObject
{
    Q_OBJECT

private slots:
    void replaceAnnouncements()
    {
        VariantMapModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy removing(&model, &QAbstractItemModel::rowsAboutToBeRemoved);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserting(&model, &QAbstractItemModel::rowsAboutToBeInserted);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

        model.setMap({});
        QCOMPARE(removing.count() + inserting.count(), 0);

        model.setMap({{"b", 2}, {"a", 1}, {"c", 3}});
        QCOMPARE(inserting.count(), 1);
        QCOMPARE(inserting.first().at(1).toInt(), 0);
        QCOMPARE(inserting.first().at(2).toInt(), 2);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(removing.count(), 0);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.columnCount(), 2);
        QCOMPARE(model.data(model.index(0), VariantMapModel::KeyRole).toString(),
                 QStringLiteral("A"));
        QCOMPARE(model.data(model.index(2), Qt::DisplayRole).toInt(), 3);

        inserting.clear();
        inserted.clear();
        model.setMap({{"x", 1}, {"y", 2}});
        QCOMPARE(removing.count(), 1);
        QCOMPARE(removing.first().at(1).toInt(), 0);
        QCOMPARE(removing.first().at(2).toInt(), 2);
        QVERIFY(!removing.first().at(0).toModelIndex().isValid());
        QCOMPARE(inserting.count(), 1);
        QCOMPARE(inserting.first().at(2).toInt(), 1);

        removing.clear();
        removed.clear();
        inserting.clear();
        model.setMap({});
        QCOMPARE(removing.count(), 1);
        QCOMPARE(removing.first().at(2).toInt(), 1);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(inserting.count(), 0);
        QCOMPARE(model.rowCount(), 0);
    }

    void presentation_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("shownKey");
        QTest::addColumn<QVariant>("shownValue");

        QTest::newRow("upper key") << "ENGINE" << QVariant(5) << "Engine" << QVariant(5);
        QTest::newRow("lower key") << "engine" << QVariant("x") << "Engine" << QVariant("x");
        QTest::newRow("mixed key") << "dIsP" << QVariant(true) << "Disp" << QVariant(true);
        QTest::newRow("empty key") << "" << QVariant(1.5) << "" << QVariant(1.5);
        QTest::newRow("flat object")
            << "info" << QVariant(QJsonObject{{"a", 1}, {"b", QJsonObject{{"c", "x"}}}}) << "Info"
            << QVariant("A: 1, B: {C: x}");
        QTest::newRow("map three deep")
            << "deep"
            << QVariant(QVariantMap{{"one", QVariantMap{{"TWO", QVariantMap{{"three", 3}}}}},
                                    {"z", false}})
            << "Deep" << QVariant("One: {Two: {Three: 3}}, Z: false");
        QTest::newRow("array and null members")
            << "k"
            << QVariant(QJsonObject{{"list", QJsonArray{1, 2}}, {"none", QJsonValue()}, {"n", 2}})
            << "K" << QVariant("List: , N: 2, None: ");
        QTest::newRow("empty object")
            << "e" << QVariant(QJsonObject()) << "E" << QVariant(QString());
        QTest::newRow("list stays")
            << "l" << QVariant(QVariantList{1, 2}) << "L" << QVariant(QVariantList{1, 2});
    }

    void presentation()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(QString, shownKey);
        QFETCH(QVariant, shownValue);

        VariantMapModel model;
        model.setMap({{key, value}});
        const QModelIndex row = model.index(0);
        QCOMPARE(model.data(row, VariantMapModel::KeyRole).toString(), shownKey);
        QCOMPARE(model.data(row, VariantMapModel::ValueRole), shownValue);
        QCOMPARE(model.data(row, Qt::DisplayRole), shownValue);
        QVERIFY(!model.data(row, Qt::EditRole).isValid());
        QVERIFY(!model.data(row, Qt::UserRole + 3).isValid());
    }

    void roles()
    {
        VariantMapModel model;
        const QHash<int, QByteArray> roles = model.roleNames();
        QCOMPARE(roles.value(0), QByteArray("display"));
        QCOMPARE(roles.value(257), QByteArray("tkey"));
        QCOMPARE(roles.value(258), QByteArray("tvalue"));
        QCOMPARE(roles.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TstVariantMapModel)
#include "tst_variantmapmodel.moc"
