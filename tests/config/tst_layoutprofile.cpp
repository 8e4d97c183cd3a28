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

    // A configuration list with the named items, "" for an empty position.
    QVariantList config(const QStringList &names) const
    {
        QVariantList list;
        for (const QString &name : names)
            list.append(QVariantMap{{"active", !name.isEmpty()}, {"hid", hashOf(name)}});
        return list;
    }

    static QVariantMap defaultBoard()
    {
        return QVariantMap{{"version", 1},   {"rpm", 1},        {"speed", 0},
                           {"aux", 0},       {"adelay", 0},     {"rflags", 25},
                           {"rpmlim", 6000}, {"warnodo", 7000}, {"warntime", 30000},
                           {"engidx", 0}};
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
        // A FIFO or a device node is not replaced by the profile.
        QVERIFY(makeFifo(fifo));
        QVERIFY(!LayoutProfile::save(fifo, text, &error));
        QCOMPARE(error, QString("The layout could not be saved: it is not a regular file"));
        QCOMPARE(fileKind(fifo), 'p');
        const QString device = dir.filePath("null.json");
        if (makeNullDevice(device)) {
            QVERIFY(!LayoutProfile::save(device, text, &error));
            QCOMPARE(fileKind(device), 'c');
        }
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
        // A number written as text is a value of the wrong kind, not one out of range.
        QTest::newRow("delay as text")
            << with("board/adelay", "650") << "\"adelay\" must be a number";
        QTest::newRow("version as text")
            << with("formatVersion", "1") << "format version must be a number";
        // A value from the file is quoted with its control characters shown, and cut.
        QTest::newRow("NUL in a name")
            << with("positions/0/name", QString("RP") + QChar(0) + "M\n")
            << "\"RP\\x00M\\x0a\" (pid 12, cid 2024) is not in the catalogue";
        QTest::newRow("900 KB name")
            << with("positions/0/name", QString(900000, 'N'))
            << "\"" + QString(60, 'N') + "... (cut after 60 of its 900000 characters)\" (pid 12";
        QTest::newRow("long engine")
            << with("engine", QString(61, 'E'))
            << "engine \"" + QString(60, 'E') + "... (cut after 60 of its 61 characters)\"";
        QTest::newRow("engine of 60")
            << with("engine", QString(60, 'E')) << "engine \"" + QString(60, 'E') + "\"";
        QTest::newRow("long unknown setting")
            << with("board/" + QString(5000, 't'), true) << "of its 5000 characters)\" is unknown";
        QTest::newRow("placeholders in a name")
            << with("positions/0/name", "%3%4") << "\"%3%4\" (pid 12, cid 2024)";
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
        QVERIFY2(message.contains(error), qPrintable(message.left(500)));
        // One line of readable length, whatever the file holds.
        QVERIFY2(message.size() < 300 && !message.contains(QChar(0)) && !message.contains('\n'),
                 qPrintable(message.left(500)));
        QCOMPARE(layout.engine, QString("untouched"));
        QCOMPARE(note, QString("untouched"));
    }

    void readBack_data()
    {
        QTest::addColumn<QVariantMap>("board");
        QTest::addColumn<int>("engine");
        QTest::addColumn<QVariantList>("readConfig");
        QTest::addColumn<QVariantMap>("readBoard");
        QTest::addColumn<QStringList>("differ");

        // The diesel dashboard's record as read before a petrol profile is applied.
        const QVariantMap diesel{{"version", 1},   {"rpm", 1},        {"speed", 0},
                                 {"aux", 2},       {"adelay", 650},   {"rflags", 13},
                                 {"rpmlim", 4500}, {"warnodo", 9000}, {"warntime", 600},
                                 {"engidx", 3}};
        const auto with = [](QVariantMap board, const QString &key, int value) {
            board.insert(key, value);
            return board;
        };
        const QVariantMap petrol = with(diesel, "engidx", 1);
        QVariantMap profile = diesel; // a profile's board settings carry no engine index
        profile.remove("engidx");
        const QVariantList written = config({"RPM", "", "SPEED"});

        // A profile without board settings writes the record read before, with the new
        // engine's index: the petrol index read back is what was meant.
        QTest::newRow("petrol after diesel, no board settings")
            << diesel << 1 << written << petrol << QStringList();
        QTest::newRow("engine index not written")
            << diesel << 1 << written << diesel << QStringList{"engidx"};
        QTest::newRow("profile's board settings")
            << profile << 3 << written << diesel << QStringList();
        QTest::newRow("profile's board settings, petrol")
            << profile << 1 << written << diesel << QStringList{"engidx"};
        QTest::newRow("engine -1 writes 0")
            << diesel << -1 << written << with(diesel, "engidx", 0) << QStringList();
        QTest::newRow("values cut to their width")
            << with(profile, "rpmlim", 70000) << 3 << written << with(diesel, "rpmlim", 4464)
            << QStringList();
        QTest::newRow("the default record instead")
            << profile << 3 << written << with(defaultBoard(), "engidx", 3)
            << QStringList{"adelay", "aux", "rflags", "rpmlim", "warnodo", "warntime"};
        QTest::newRow("record no longer understood")
            << profile << 3 << written << QVariantMap() << QStringList{"board record"};
        QTest::newRow("no board settings written")
            << QVariantMap() << 1 << written << diesel << QStringList();
        QTest::newRow("positions")
            << diesel << 3 << config({"RPM", "SPEED"}) << diesel
            << QStringList{"position 2", "position 3"};
    }

    // The read-back check after a layout was written compares what the write was meant to
    // store, the engine index included.
    void readBack()
    {
        QFETCH(QVariantMap, board);
        QFETCH(int, engine);
        QFETCH(QVariantList, readConfig);
        QFETCH(QVariantMap, readBoard);
        QFETCH(QStringList, differ);
        const QVariantList written = config({"RPM", "", "SPEED"});
        QCOMPARE(LayoutProfile::readBackDifferences(written, board, engine, readConfig, readBoard),
                 differ);
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
