// Layout profiles against the built-in catalogue: what a saved profile reads back as, and
// every kind of file that must be refused with a reason that names the problem.
#include "config/LayoutProfile.h"
#include "tests/common/NonRegularFiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

class TstLayoutProfile : public QObject
{
    Q_OBJECT

    ParameterCatalogue::EngineTable engines;
    ParameterCatalogue::ItemTable items;

    quint32 hashOf(const QString &name, int cid = 2024) const
    {
        for (auto it = items.cbegin(); it != items.cend(); ++it) {
            if (it.value().value("name").toString() == name &&
                it.value().value("cid").toInt() == cid)
                return it.key();
        }
        return 0;
    }

    static QJsonObject position(const QString &name, int pid, int cid = 2024)
    {
        return QJsonObject{{"name", name}, {"pid", pid}, {"cid", cid}};
    }

    // A valid single-display profile: RPM at 1, SPEED at 3, for the generic engine.
    static QJsonObject validProfile()
    {
        return QJsonObject{
            {"format", "veltrokx4-layout"},
            {"formatVersion", 1},
            {"toolVersion", "0.2.0"},
            {"engine", "OBD-II (generic)"},
            {"display", "single"},
            {"positions", QJsonArray{position("RPM", 12), QJsonValue(), position("SPEED", 13),
                                     QJsonValue(), QJsonValue(), QJsonValue()}},
            {"board", QJsonObject{{"rpm", 1},
                                  {"speed", 0},
                                  {"aux", 2},
                                  {"adelay", 650},
                                  {"rpmlim", 6500},
                                  {"warnodo", 7000},
                                  {"warntime", 30000},
                                  {"animation", true},
                                  {"menuAtStart", false},
                                  {"rpmWarning", true},
                                  {"maintenanceWarning", true},
                                  {"logoWhenStopped", false}}},
        };
    }

    // Sets `path` (keys separated by '/', array indexes as numbers) in a profile.
    static QJsonValue edited(const QJsonValue &value, QStringList path, const QJsonValue &to)
    {
        if (path.isEmpty())
            return to;
        const QString key = path.takeFirst();
        if (value.isArray()) {
            QJsonArray array = value.toArray();
            const int i = key.toInt();
            while (array.size() <= i)
                array.append(QJsonValue());
            array[i] = edited(array[i], path, to);
            return array;
        }
        QJsonObject object = value.toObject();
        if (to.isUndefined() && path.isEmpty())
            object.remove(key);
        else
            object[key] = edited(object.value(key), path, to);
        return object;
    }

    static QByteArray json(const QJsonValue &v) { return QJsonDocument(v.toObject()).toJson(); }

private slots:
    void initTestCase()
    {
        QCOMPARE(ParameterCatalogue::load(ParameterCatalogue::defaultPath(), engines, items),
                 ParameterCatalogue::Loaded);
    }

    // Saved from the pages, written through a temporary file and read back the same.
    void savedProfileReadsBack()
    {
        QVariantList config;
        for (int i = 0; i < 13; ++i)
            config.append(QVariantMap{{"active", false}, {"hid", 0}});
        config[0] = QVariantMap{{"active", true}, {"hid", hashOf("RPM")}};
        config[12] = QVariantMap{{"active", true}, {"hid", hashOf("GEAR", 2024)}};
        const QVariantMap board{{"version", 1},   {"rpm", 1},        {"speed", 1},
                                {"aux", 0},       {"adelay", 100},   {"rflags", 8 | 16},
                                {"rpmlim", 7000}, {"warnodo", 9000}, {"warntime", 600}};
        const LayoutProfile::Layout saved =
            LayoutProfile::fromPages("Diesel, common rail", 13, config, board);
        QTemporaryDir dir;
        const QString path = dir.filePath("diesel.json");
        QString error;
        QVERIFY(LayoutProfile::save(path, LayoutProfile::encode(saved, items, "0.2.0"), &error));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"diesel.json"});

        LayoutProfile::Layout loaded;
        QString note;
        QVERIFY2(LayoutProfile::load(path, engines, items, 13, &loaded, &note, &error),
                 qPrintable(error));
        QCOMPARE(note, QString());
        QCOMPARE(loaded.engine, saved.engine);
        QCOMPARE(loaded.items, saved.items);
        QCOMPARE(loaded.board, board);

        // The same file for a single display: the first 6 positions, and it says so.
        QVERIFY(LayoutProfile::load(path, engines, items, 6, &loaded, &note, &error));
        QCOMPARE(loaded.items, saved.items.mid(0, 6));
        QVERIFY2(note.contains("first 6 positions") && note.contains("1 filled"), qPrintable(note));
        const QVariantList list = LayoutProfile::configList(loaded, items);
        QCOMPARE(list.size(), 6);
        QCOMPARE(list[0].toMap().value("descr").toString(),
                 ParameterCatalogue::describe(items, hashOf("RPM")));

        // A board record the page did not understand is saved as null and loads as none.
        const LayoutProfile::Layout noBoard =
            LayoutProfile::fromPages("Diesel, common rail", 6, config, QVariantMap());
        const QByteArray text = LayoutProfile::encode(noBoard, items, "0.2.0");
        QVERIFY(text.contains("\"board\": null"));
        QVERIFY(LayoutProfile::decode(text, engines, items, 13, &loaded, &note, &error));
        QCOMPARE(loaded.board, QVariantMap());
        QCOMPARE(loaded.items.size(), 13);

        // Loading a directory or a pipe: refused at once, without waiting for a writer.
        QVERIFY(!LayoutProfile::load(dir.path(), engines, items, 6, &loaded, &note, &error));
        QCOMPARE(error, QString("The file is not a layout profile"));
        const QString fifo = dir.filePath("pipe.json");
        QVERIFY(makeFifo(fifo));
        {
            Watchdog watchdog("a FIFO as the layout profile");
            QVERIFY(!LayoutProfile::load(fifo, engines, items, 6, &loaded, &note, &error));
        }
        QCOMPARE(error, QString("The file is not a layout profile"));
        QVERIFY(QFile::remove(fifo));

        // A directory in the way: refused with the reason, nothing left behind.
        QVERIFY(QDir(dir.path()).mkdir("taken.json"));
        QVERIFY(!LayoutProfile::save(dir.filePath("taken.json"), text, &error));
        QVERIFY2(error.startsWith("The layout could not be saved"), qPrintable(error));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");

        const QJsonObject ok = validProfile();
        const auto with = [&ok](const QString &path, const QJsonValue &to) {
            return json(edited(ok, path.split('/'), to));
        };
        QTest::newRow("not JSON") << QByteArray("{\"format\": ") << "not valid JSON";
        QTest::newRow("an array") << QByteArray("[1, 2]") << "not a layout profile";
        QTest::newRow("another format")
            << with("format", "kx4-sim-state") << "not a layout profile";
        QTest::newRow("newer version")
            << with("formatVersion", 2) << "format version 2 is not supported";
        QTest::newRow("no version")
            << with("formatVersion", QJsonValue::Undefined) << "format version";
        QTest::newRow("unknown engine") << with("engine", "Steam") << "unknown engine \"Steam\"";
        QTest::newRow("unknown display")
            << with("display", "triple") << "unknown display type \"triple\"";
        QTest::newRow("7 positions, single")
            << with("positions/6", position("RPM", 12)) << "at most 6 entries";
        QTest::newRow("positions not a list") << with("positions", "RPM") << "at most 6";
        QTest::newRow("position without pid")
            << with("positions/1", QJsonObject{{"name", "RPM"}, {"cid", 2024}})
            << "Position 2 of the layout is malformed";
        QTest::newRow("position a number") << with("positions/1", 12) << "Position 2";
        QTest::newRow("item gone from the catalogue")
            << with("positions/4", position("NITRO", 200))
            << "Position 5 of the layout: \"NITRO\" (pid 200, cid 2024) is not in the catalogue";
        QTest::newRow("item renamed") << with("positions/0/name", "REVS") << "\"REVS\"";
        QTest::newRow("item not for the engine")
            << json(edited(edited(ok, {"engine"}, "Diesel, common rail"), {"positions", "3"},
                           position("CAT", 60)))
            << "Position 4 of the layout: \"CAT\" is not offered for the engine";
        QTest::newRow("board not an object") << with("board", 5) << "board settings are malformed";
        QTest::newRow("board setting missing")
            << with("board/rpmlim", QJsonValue::Undefined) << "\"rpmlim\" is missing";
        QTest::newRow("rpm limit too high")
            << with("board/rpmlim", 12000) << "\"rpmlim\" is 12000, outside 0 to 10000";
        QTest::newRow("aux gauges 3") << with("board/aux", 3) << "\"aux\" is 3";
        QTest::newRow("km limit 0") << with("board/warnodo", 0) << "\"warnodo\" is 0";
        QTest::newRow("hours as text") << with("board/warntime", "500") << "\"warntime\"";
        QTest::newRow("fractional delay") << with("board/adelay", 1.5) << "\"adelay\" is 1.5";
        QTest::newRow("switch as number")
            << with("board/animation", 1) << "\"animation\" must be true or false";
        QTest::newRow("unknown setting")
            << with("board/turbo", true) << "board setting \"turbo\" is unknown";
    }

    // Each refusal names the problem and leaves the caller's layout untouched.
    void refusals()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        LayoutProfile::Layout layout;
        layout.engine = "untouched";
        QString note = "untouched";
        QString message;
        QVERIFY(!LayoutProfile::decode(text, engines, items, 6, &layout, &note, &message));
        QVERIFY2(message.contains(error), qPrintable(message));
        QCOMPARE(layout.engine, QString("untouched"));
        QCOMPARE(note, QString("untouched"));
    }

    // The valid profile itself passes (so every refusal above is its one edit's doing).
    void validProfileLoads()
    {
        LayoutProfile::Layout layout;
        QString note;
        QString error;
        QVERIFY2(
            LayoutProfile::decode(json(validProfile()), engines, items, 6, &layout, &note, &error),
            qPrintable(error));
        QCOMPARE(layout.items, (QList<quint32>{hashOf("RPM"), 0, hashOf("SPEED"), 0, 0, 0}));
        QCOMPARE(layout.board.value("rflags").toInt(), 1 | 4 | 8);
        QCOMPARE(layout.board.value("aux").toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(TstLayoutProfile)
#include "tst_layoutprofile.moc"
