#include "config/DataScrambler.h"
#include "config/ParameterCatalogue.h"
#include "tests/common/NonRegularFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

using Catalogue = ParameterCatalogue;

class TstCatalogue : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static QJsonObject item(int pid, int cid, const QString &name, const QJsonArray &engines,
                            int div = 1)
    {
        return QJsonObject{{"pid", pid},
                           {"cid", cid},
                           {"name", name},
                           {"units", "u"},
                           {"comment", QJsonObject{{"ru", "ру " + name}, {"en", "en " + name}}},
                           {"signed", false},
                           {"offset", 0},
                           {"scale", QJsonObject{{"div", div}, {"mul", 1}}},
                           {"engines", engines}};
    }

    static QByteArray json(const QJsonObject &engines, const QJsonArray &items)
    {
        return QJsonDocument(QJsonObject{{"engines", engines}, {"items", items}}).toJson();
    }

    QString scrambledFile(const QByteArray &content, const QString &name)
    {
        DataScrambler scrambler;
        scrambler.setKeyFromPassphrase(Catalogue::passPhrase());
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(scrambler.encode(content)) < 0)
            return QString();
        return path;
    }

    static void loadShipped(Catalogue::EngineTable &engines, Catalogue::ItemTable &items)
    {
        QCOMPARE(Catalogue::load(Catalogue::defaultPath(), engines, items), Catalogue::Loaded);
    }

private slots:
    void shippedCatalogueMatchesSource()
    {
        Catalogue::EngineTable engines;
        Catalogue::ItemTable items;
        loadShipped(engines, items); // registers the resource
        QVERIFY(QFile::exists(Catalogue::defaultPath()));

        QFile source(qEnvironmentVariable("KX4_CATALOGUE_SOURCE"));
        QVERIFY2(source.open(QIODevice::ReadOnly), qPrintable(source.fileName()));
        const QJsonDocument truth = QJsonDocument::fromJson(source.readAll());
        QVERIFY(truth.isObject());

        QFile shipped(Catalogue::defaultPath());
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        DataScrambler scrambler;
        scrambler.setKeyFromPassphrase(Catalogue::passPhrase());
        const QByteArray decoded = scrambler.decode(shipped.readAll());
        QCOMPARE(scrambler.lastError(), DataScrambler::NoError);
        QCOMPARE(QJsonDocument::fromJson(decoded), truth); // no stale resource

        QCOMPARE(engines.size(), truth.object().value("engines").toObject().size());
        QCOMPARE(items.size(), truth.object().value("items").toArray().size());
    }

    // The content itself: what users pick from and what goes into device records.
    void shippedCatalogueContent()
    {
        Catalogue::EngineTable engines;
        Catalogue::ItemTable items;
        loadShipped(engines, items);

        QVERIFY(engines.size() >= 3);
        QCOMPARE(engines.firstKey(), 0);
        QVERIFY(engines.value(0).contains("OBD"));
        QVERIFY(items.size() >= 25);

        QHash<int, QSet<QString>> pidDivPerEngine;
        QSet<QString> names;
        for (const QJsonObject &entry : items) {
            const QString name = entry.value("name").toString();
            const QString where = name + " " + QString::number(entry.value("pid").toInt(), 16);
            names.insert(name);
            for (const char *key : {"pid", "cid", "offset"})
                QVERIFY2(entry.value(key).isDouble(), qPrintable(where + " " + key));
            QVERIFY2(entry.value("name").isString() && !name.isEmpty(), qPrintable(where));
            QVERIFY2(entry.value("units").isString(), qPrintable(where));
            QVERIFY2(entry.value("signed").isBool(), qPrintable(where));
            const QJsonObject comment = entry.value("comment").toObject();
            QVERIFY2(!comment.value("ru").toString().isEmpty(), qPrintable(where));
            QVERIFY2(!comment.value("en").toString().isEmpty(), qPrintable(where));

            const int pid = entry.value("pid").toInt(-1);
            const int cid = entry.value("cid").toInt(-1);
            const int offset = entry.value("offset").toInt(INT_MIN);
            const QJsonObject scale = entry.value("scale").toObject();
            const int div = scale.value("div").toInt(-1);
            const int mul = scale.value("mul").toInt(-1);
            QVERIFY2(pid >= 0 && pid <= 0xFFFF && cid >= 0 && cid <= 0xFFFF, qPrintable(where));
            QVERIFY2(offset >= -32768 && offset <= 32767, qPrintable(where));
            QVERIFY2(div >= 1 && div <= 0xFFFF && mul >= 1 && mul <= 0xFF, qPrintable(where));

            // The record keeps 6 name and 4 unit bytes of Latin-1.
            QVERIFY2(name.size() <= 6 && QString::fromLatin1(name.toLatin1()) == name,
                     qPrintable(where));
            const QString units = entry.value("units").toString();
            QVERIFY2(units.size() <= 4 && QString::fromLatin1(units.toLatin1()) == units,
                     qPrintable(where));

            const QJsonArray list = entry.value("engines").toArray();
            QVERIFY2(!list.isEmpty(), qPrintable(where));
            for (const QJsonValue &engine : list) {
                QVERIFY2(engine.isDouble() && engines.contains(engine.toInt()), qPrintable(where));
                // Device records are matched back to items by pid and divisor.
                const QString key = QStringLiteral("%1/%2").arg(pid).arg(div);
                QVERIFY2(!pidDivPerEngine[engine.toInt()].contains(key),
                         qPrintable(where + " shares pid and div on engine " +
                                    QString::number(engine.toInt())));
                pidDivPerEngine[engine.toInt()].insert(key);
            }
        }

        // No item may hide another under the same parameter hash.
        QFile source(qEnvironmentVariable("KX4_CATALOGUE_SOURCE"));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QCOMPARE(
            items.size(),
            QJsonDocument::fromJson(source.readAll()).object().value("items").toArray().size());

        // Every engine offers something, and the values a dash needs are there.
        for (auto it = engines.constBegin(); it != engines.constEnd(); ++it)
            QVERIFY2(Catalogue::parameterList(items, it.key()).size() >= 10,
                     qPrintable(it.value()));
        for (const char *needed :
             {"RPM", "SPEED", "CLT", "IAT", "OILT", "LOAD", "TPS", "MAP", "BOOST", "MAF", "VBAT",
              "FUEL", "FRATE", "TIMING", "LAMBDA", "STFT1", "LTFT1", "GEAR"})
            QVERIFY2(names.contains(needed), needed);
    }

    void j1979Scaling()
    {
        Catalogue::EngineTable engines;
        Catalogue::ItemTable items;
        loadShipped(engines, items);
        auto find = [&](const QString &name) {
            for (const QJsonObject &entry : items)
                if (entry.value("name").toString() == name)
                    return entry;
            return QJsonObject();
        };
        // value = raw * mul / div + offset
        auto value = [](const QJsonObject &entry, double raw) {
            const QJsonObject scale = entry.value("scale").toObject();
            return raw * scale.value("mul").toDouble() / scale.value("div").toDouble() +
                   entry.value("offset").toDouble();
        };
        QCOMPARE(find("RPM").value("pid").toInt(), 0x0C);
        QCOMPARE(value(find("RPM"), 256 * 0x1A + 0xF8), 1726.0);
        QCOMPARE(find("CLT").value("pid").toInt(), 0x05);
        QCOMPARE(value(find("CLT"), 0x7B), 83.0);
        QCOMPARE(value(find("TIMING"), 0x80), 0.0);
        QCOMPARE(value(find("STFT1"), 0x80), 0.0);
        QCOMPARE(value(find("LOAD"), 255), 100.0);
        QCOMPARE(value(find("VBAT"), 0x3A98), 15.0);
        QCOMPARE(value(find("LAMBDA"), 0x8000), 1.0);
    }

    void loadFailuresKeepTables()
    {
        Catalogue::EngineTable engines{{0, "kept"}};
        Catalogue::ItemTable items{{7u, QJsonObject{{"name", "kept"}}}};

        QCOMPARE(Catalogue::load(m_dir.filePath("missing.dat"), engines, items),
                 Catalogue::NotReadable);
        QVERIFY(makeFifo(m_dir.filePath("pipe.dat")));
        {
            Watchdog watchdog("a FIFO as the catalogue");
            QCOMPARE(Catalogue::load(m_dir.filePath("pipe.dat"), engines, items),
                     Catalogue::NotReadable);
        }
        QCOMPARE(Catalogue::loadErrorText(Catalogue::NotReadable),
                 QStringLiteral("Config data could not be read"));

        const QByteArray good = json({{"0", "E"}}, {item(1, 2, "X", {0})});
        QString path = scrambledFile(good, "altered.dat");
        QFile altered(path);
        QVERIFY(altered.open(QIODevice::ReadWrite));
        QByteArray bytes = altered.readAll();
        bytes[3] = char(bytes.at(3) ^ 0x10);
        altered.seek(0);
        altered.write(bytes);
        altered.close();

        DataScrambler otherKey(0x1234);
        QFile foreign(m_dir.filePath("foreign.dat"));
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write(otherKey.encode(good));
        foreign.close();

        const QStringList corrupted = {
            path, foreign.fileName(),
            scrambledFile("{\"engines\": {\"0\": \"E\"}, \"items\": [", "truncated-json.dat"),
            scrambledFile("", "empty.dat"), scrambledFile("\"just text\"", "scalar.dat")};
        for (const QString &file : corrupted) {
            QCOMPARE(Catalogue::load(file, engines, items), Catalogue::Corrupted);
            QCOMPARE(engines.value(0), QStringLiteral("kept"));
            QCOMPARE(items.size(), 1);
        }
        QCOMPARE(Catalogue::loadErrorText(Catalogue::Corrupted),
                 QStringLiteral("Config data is corrupted"));

        QCOMPARE(Catalogue::load(scrambledFile(good, "good.dat"), engines, items),
                 Catalogue::Loaded);
        QCOMPARE(engines.value(0), QStringLiteral("E"));
        QCOMPARE(items.size(), 1);
        QVERIFY(Catalogue::loadErrorText(Catalogue::Loaded).isEmpty());
    }

    void engineTable()
    {
        Catalogue::EngineTable engines;
        Catalogue::ItemTable items;
        // Keys are taken in text order "02", "10", "2", "x", "y": "2" replaces "02",
        // and "y" (not a number, so 0) replaces "x".
        const QJsonObject table{{"10", "Ten"}, {"2", "Two"}, {"02", "Zero-two"},
                                {"x", "Ex"},   {"y", "Why"}, {"-1", "Minus"}};
        QCOMPARE(Catalogue::parse(json(table, {}), engines, items), Catalogue::Loaded);
        QCOMPARE(engines.keys(), (QList<int>{-1, 0, 2, 10}));
        QCOMPARE(Catalogue::engineNames(engines), (QStringList{"Minus", "Why", "Two", "Ten"}));
    }

    void items()
    {
        Catalogue::EngineTable engines;
        Catalogue::ItemTable items;
        QJsonObject noEngines = item(5, 2024, "CLT", {});
        noEngines.remove("engines");
        QJsonObject extra = item(13, 2024, "SPEED", {0, 2.0});
        extra.insert("source", "J1979");
        const QJsonArray list{item(12, 2024, "RPM", {0, 1}), item(12, 2024, "RPM", {3}), noEngines,
                              extra, QJsonValue(42)};
        QCOMPARE(Catalogue::parse(json({{"0", "A"}, {"2", "B"}}, list), engines, items),
                 Catalogue::Loaded);
        QCOMPARE(items.size(), 4); // the two RPM share a hash; the later one stays
        const quint32 rpm = Catalogue::parameterHash(12, 2024, "RPM");
        QCOMPARE(items.value(rpm).value("engines").toArray(), QJsonArray{3});
        QCOMPARE(items.value(Catalogue::parameterHash(extra)).value("source").toString(),
                 QStringLiteral("J1979")); // members we do not read travel along

        QSet<uint> ids{99u};
        QSet<QString> names{"kept"};
        const QVariantList engine2 = Catalogue::parameterList(items, 2, &ids, &names);
        QCOMPARE(engine2.size(), 1); // 2.0 in "engines" matches engine 2
        QCOMPARE(engine2.first().toJsonObject(), extra);
        QCOMPARE(ids, (QSet<uint>{99u, Catalogue::parameterHash(extra)}));
        QCOMPARE(names, (QSet<QString>{"kept", "SPEED"}));

        QCOMPARE(Catalogue::parameterList(items, 3).size(), 1);
        QCOMPARE(Catalogue::parameterList(items, 0).size(), 1);
        QVERIFY(Catalogue::parameterList(items, -1).isEmpty());
        for (int engine = -1; engine < 5; ++engine)
            for (const QVariant &entry : Catalogue::parameterList(items, engine))
                QVERIFY(entry.toJsonObject().contains("engines"));
    }

    void parameterHash()
    {
        // Qt 5's qHash(QString, 0): h = 31 * h + unit over "122024RPM".
        QCOMPARE(Catalogue::parameterHash(item(12, 2024, "RPM", {})), 1422764942u);
        QCOMPARE(Catalogue::parameterHash(QJsonObject()),
                 Catalogue::parameterHash(0, 0, QString()));
        QCOMPARE(Catalogue::parameterHash(QJsonObject()), 1536u); // "00"
        // Joined without separators, these two items are one to the catalogue.
        QCOMPARE(Catalogue::parameterHash(1, 23, "X"), Catalogue::parameterHash(12, 3, "X"));
        QVERIFY(Catalogue::parameterHash(1, 23, "X") != Catalogue::parameterHash(1, 23, "Y"));
        // "%1" in a name is text, not a placeholder.
        QVERIFY(Catalogue::parameterHash(1, 2, "%1") != Catalogue::parameterHash(1, 2, "1"));
        // Values Qt 5's qHash gives: negative numbers, non-Latin names, 32-bit wrap. They
        // are stored in layouts and device records, so every build must give them.
        QCOMPARE(Catalogue::parameterHash(-1, 65535, QString::fromUtf8("\xd0\x9e\xd0\xb1")),
                 2015742439u);
        QCOMPARE(Catalogue::parameterHash(164, 2025, "TRANSMISSION TEMPERATURE"), 1408609608u);
    }

    // Every item of the shipped catalogue hashes as Qt 5's qHash did.
    void parameterHashOfShippedItems()
    {
        Catalogue::EngineTable engines;
        Catalogue::ItemTable items;
        loadShipped(engines, items);
        QVERIFY(!items.isEmpty());
        quint32 sum = 0;
        for (auto it = items.cbegin(); it != items.cend(); ++it) {
            const QJsonObject &entry = it.value();
            QCOMPARE(Catalogue::parameterHash(entry), it.key());
            sum += it.key();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
            const QString text = QStringLiteral("%1%2%3").arg(
                QString::number(entry.value("pid").toInt()),
                QString::number(entry.value("cid").toInt()), entry.value("name").toString());
            QCOMPARE(Catalogue::parameterHash(entry), quint32(qHash(text, 0)));
#endif
        }
        qInfo("%d items, sum of hashes %u", int(items.size()), sum);
    }

    void describe()
    {
        QJsonObject speed{{"name", "Speed"},
                          {"units", "km/h"},
                          {"comment", QJsonObject{{"ru", "Vehicle speed"}, {"en", "English"}}}};
        const Catalogue::ItemTable items{{Catalogue::parameterHash(speed), speed}};
        const uint hash = Catalogue::parameterHash(speed);
        QCOMPARE(Catalogue::describe(items, hash), QStringLiteral("Speed (Vehicle speed, km/h)"));
        QCOMPARE(
            Catalogue::describe(items, hash, false),
            QStringLiteral("<table width=\"100%\" border=1><tr><th colspan=\"2\">Speed</th></tr>"
                           "<tr><td>Info:</td><td>Vehicle speed</td></tr>"
                           "<tr><td>Units:</td><td>km/h</td></tr></table>"));
        QVERIFY(Catalogue::describe(items, hash + 1).isNull());
        QVERIFY(Catalogue::describe({}, hash, false).isNull());

        speed["comment"] = QJsonObject{{"ru", ""}, {"en", "Road speed"}};
        QCOMPARE(Catalogue::buildDescription(speed), QStringLiteral("Speed (Road speed, km/h)"));
        speed["comment"] = QJsonObject{{"en", "Road speed"}};
        QCOMPARE(Catalogue::buildDescription(speed), QStringLiteral("Speed (Road speed, km/h)"));
        speed["comment"] = QJsonObject{{"ru", "Скорость"}, {"en", "Road speed"}};
        QCOMPARE(Catalogue::buildDescription(speed), QStringLiteral("Speed (Скорость, km/h)"));
        speed.remove("comment");
        QCOMPARE(Catalogue::buildDescription(speed), QStringLiteral("Speed (, km/h)"));
        speed["comment"] = "not an object";
        QCOMPARE(Catalogue::buildDescription(speed), QStringLiteral("Speed (, km/h)"));
    }

    void matchRecord()
    {
        Catalogue::ItemTable items;
        auto add = [&](QJsonObject entry) {
            const quint32 hash = Catalogue::parameterHash(entry);
            items.insert(hash, entry);
            return hash;
        };
        const quint32 gearTcm = add(item(0xA4, 0x7E9, "GEAR", {0, 1, 2}, 16));
        const quint32 gearEcm = add(item(0xA4, 0x7E8, "GEAR", {3}, 16));
        const quint32 map = add(item(0x0B, 0x7E8, "MAP", {0, 1, 2, 3}, 1));
        const quint32 boost = add(item(0x0B, 0x7E8, "BOOST", {0, 2, 3}, 100));
        const quint32 twinA = add(item(0x33, 0x7E8, "BARO", {1}, 1));
        const quint32 twinB = add(item(0x33, 0x7E8, "BARO2", {1}, 1));

        QCOMPARE(Catalogue::matchRecord(items, 0x0B, 0x7E8, 1, 0), map);
        QCOMPARE(Catalogue::matchRecord(items, 0x0B, 0x7E8, 100, 0), boost);
        QCOMPARE(Catalogue::matchRecord(items, 0x0B, 0x7E8, 10, 0), 0u);
        // cid first, then the engine, then the lowest hash
        QCOMPARE(Catalogue::matchRecord(items, 0xA4, 0x7E8, 16, 0), gearEcm);
        QCOMPARE(Catalogue::matchRecord(items, 0xA4, 0x000, 16, 3), gearEcm);
        QCOMPARE(Catalogue::matchRecord(items, 0xA4, 0x000, 16, 1), gearTcm);
        QCOMPARE(Catalogue::matchRecord(items, 0x33, 0x7E8, 1, 1), qMin(twinA, twinB));
    }

    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
    }
};

QTEST_GUILESS_MAIN(TstCatalogue)
#include "tst_catalogue.moc"
