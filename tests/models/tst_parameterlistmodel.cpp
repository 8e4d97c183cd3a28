#include "config/ParameterCatalogue.h"
#include "models/ParameterListModel.h"

#include <QAbstractItemModelTester>
#include <QJsonArray>
#include <QtTest>

class TstParameterListModel : public QObject
{
    Q_OBJECT

    static QVariant entry(const QString &name, const QJsonObject &comment = {})
    {
        return QJsonObject{
            {"pid", name.size()}, {"cid", 2024}, {"name", name}, {"comment", comment}};
    }

    static QStringList names(const ParameterListModel &model)
    {
        QStringList list;
        for (int row = 0; row < model.rowCount(); ++row)
            list << model.data(model.index(row), ParameterListModel::NameRole).toString();
        return list;
    }

private slots:
    void orderAndAnnouncements()
    {
        ParameterListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy removing(&model, &QAbstractItemModel::rowsAboutToBeRemoved);
        QSignalSpy inserting(&model, &QAbstractItemModel::rowsAboutToBeInserted);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

        // Code-unit order: capitals first, no locale; "É" (U+00C9) after "z".
        model.setParameters(
            {entry("b"), entry("B"), entry("a"), entry("É"), entry("z"), entry("Ab")});
        QCOMPARE(names(model), (QStringList{"Ab", "B", "a", "b", "z", "É"}));
        QCOMPARE(removing.count(), 0);
        QCOMPARE(inserting.count(), 1);
        QCOMPARE(inserting.first().at(2).toInt(), 5);
        QCOMPARE(inserted.count(), 1);

        model.setParameters({entry("b"), entry("B"), entry("a")});
        QCOMPARE(names(model), (QStringList{"B", "a", "b"}));
        QCOMPARE(removing.count(), 1);
        QCOMPARE(removing.first().at(2).toInt(), 5);
        QCOMPARE(inserting.count(), 2);

        model.setParameters({});
        QCOMPARE(removing.count(), 2);
        QCOMPARE(removing.last().at(1).toInt(), 0);
        QCOMPARE(removing.last().at(2).toInt(), 2);
        QCOMPARE(inserting.count(), 2);
        QCOMPARE(model.rowCount(), 0);

        model.setParameters({});
        QCOMPARE(removing.count(), 2);
        QCOMPARE(model.columnCount(), 1);
    }

    void comment_data()
    {
        QTest::addColumn<QJsonObject>("comment");
        QTest::addColumn<QString>("shown");
        QTest::newRow("both") << QJsonObject{{"ru", "Обороты"}, {"en", "Engine speed"}}
                              << "Обороты";
        QTest::newRow("only en") << QJsonObject{{"en", "Engine speed"}} << "Engine speed";
        QTest::newRow("null ru") << QJsonObject{{"ru", QJsonValue()}, {"en", "Engine speed"}}
                                 << "Engine speed";
        // Present but empty "ru" is shown as it is (the description falls back instead).
        QTest::newRow("empty ru") << QJsonObject{{"ru", ""}, {"en", "Engine speed"}} << "";
        QTest::newRow("none") << QJsonObject() << "";
    }

    void comment()
    {
        QFETCH(QJsonObject, comment);
        QFETCH(QString, shown);
        ParameterListModel model;
        model.setParameters({entry("RPM", comment)});
        QCOMPARE(model.data(model.index(0), ParameterListModel::CommentRole).toString(), shown);
        QVERIFY(!model.data(model.index(0), Qt::DisplayRole).isValid());
    }

    void roles()
    {
        ParameterListModel model;
        const QHash<int, QByteArray> roles = model.roleNames();
        QCOMPARE(roles.value(257), QByteArray("name"));
        QCOMPARE(roles.value(258), QByteArray("comment"));
        QCOMPARE(roles.size(), 2);
    }

    // The interface picks rows by hash and asks the controller to describe them.
    void rowsFromShippedCatalogue()
    {
        ParameterCatalogue::EngineTable engines;
        ParameterCatalogue::ItemTable items;
        QCOMPARE(ParameterCatalogue::load(ParameterCatalogue::defaultPath(), engines, items),
                 ParameterCatalogue::Loaded);
        ParameterListModel model;
        for (auto engine = engines.constBegin(); engine != engines.constEnd(); ++engine) {
            const QVariantList list = ParameterCatalogue::parameterList(items, engine.key());
            model.setParameters(list);
            QCOMPARE(model.rowCount(), list.size());
            QStringList shown = names(model);
            QStringList sorted = shown;
            std::sort(sorted.begin(), sorted.end());
            QCOMPARE(shown, sorted);
            for (int row = 0; row < model.rowCount(); ++row) {
                const uint hash = model.hash(row);
                QVERIFY(items.contains(hash));
                QCOMPARE(QJsonObject::fromVariantMap(model.get(row)), items.value(hash));
                QVERIFY(ParameterCatalogue::describe(items, hash).startsWith(shown.at(row) + " ("));
            }
        }
    }

    void getKeepsEveryMember()
    {
        ParameterListModel model;
        QJsonObject item = entry("Speed").toJsonObject();
        item.insert("engines", QJsonArray{0, 3});
        item.insert("scale", QJsonObject{{"div", 4}, {"mul", 1}});
        item.insert("vendor", "extra");
        model.setParameters({QVariant(item), QVariant(QVariantMap{{"name", "Alpha"}, {"pid", 1}})});
        QCOMPARE(model.get(1).value("vendor").toString(), QStringLiteral("extra"));
        QCOMPARE(model.get(1).value("scale").toMap().value("div").toInt(), 4);
        QCOMPARE(model.get(0).value("name").toString(), QStringLiteral("Alpha"));
        QCOMPARE(model.hash(1), ParameterCatalogue::parameterHash(item));
        QCOMPARE(model.hash(0), ParameterCatalogue::parameterHash(1, 0, "Alpha"));
    }
};

QTEST_GUILESS_MAIN(TstParameterListModel)
#include "tst_parameterlistmodel.moc"
