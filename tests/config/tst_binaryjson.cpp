// The backup info field writer and reader against what Qt 5.15's binary JSON writer
// gives (compared with it directly under Qt 5, with its bytes kept here under Qt 6), and
// the reader against damaged bytes: every cut and every single-byte change of a real
// info field must give either the object or a refusal, never a crash or a read outside
// the bytes.

#include "config/BinaryJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTest>

namespace {

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
QByteArray qtBinary(const QJsonDocument &document)
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    return document.toBinaryData();
    QT_WARNING_POP
}
#endif

// An object as the framework writes it (under Qt 6, as the project's writer does).
QByteArray binary(const QJsonObject &object)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    return qtBinary(QJsonDocument(object));
#else
    return BinaryJson::writeObject(object);
#endif
}

// What Qt 5.15 writes for the array [1, 2] at the top of a document, which the project's
// writer never writes.
const QByteArray arrayBytes =
    QByteArray::fromHex("71626a730100000014000000040000000c0000002a0000004a000000");

const QJsonObject deviceInfo{{"version", 1}, {"pages", 16}, {"count", 3},
                             {"disp", 0},    {"r4", 255},   {"r5", 7}};

} // namespace

class tst_BinaryJson : public QObject
{
    Q_OBJECT

    static QJsonValue randomValue(QRandomGenerator &random, int depth)
    {
        switch (random.bounded(depth < 2 ? 9 : 7)) {
        case 0:
            return QJsonValue(QJsonValue::Null);
        case 1:
            return random.bounded(2) == 1;
        case 2:
            return int(random.bounded(-70000000, 70000000)) >> random.bounded(28);
        case 3:
            return random.generateDouble() * 1e6 - 5e5;
        case 4:
        case 5:
            return randomText(random);
        case 6:
            return random.bounded(4) == 0 ? 0 : int(random.bounded(1, 300));
        case 7: {
            QJsonArray array;
            for (int n = int(random.bounded(4)); n > 0; --n)
                array.append(randomValue(random, depth + 1));
            return array;
        }
        default:
            return randomObject(random, depth + 1);
        }
    }

    static QString randomText(QRandomGenerator &random)
    {
        static const char16_t pool[] = u"abcXYZ019 _\u00e9\u00ff\u0100\u043f\u044f\u20ac";
        QString text;
        for (int n = int(random.bounded(9)); n > 0; --n)
            text.append(QChar(pool[random.bounded(int(sizeof pool / sizeof pool[0]) - 1)]));
        return text;
    }

    static QJsonObject randomObject(QRandomGenerator &random, int depth)
    {
        QJsonObject object;
        for (int n = int(random.bounded(depth == 0 ? 1 : 0, 8)); n > 0; --n)
            object.insert(randomText(random), randomValue(random, depth));
        return object;
    }

private slots:
    void readsWhatTheFrameworkWrites_data()
    {
        QTest::addColumn<QJsonObject>("object");
        QTest::newRow("device information") << deviceInfo;
        QTest::newRow("large and negative numbers")
            << QJsonObject{{"big", 123456789}, {"neg", -5}, {"min27", -67108864}, {"real", 2.5}};
        QTest::newRow("texts, booleans, null") << QJsonObject{
            {"name", "KX4"},
            {QString::fromUtf8("\xd0\xbf\xd1\x80\xd0\xb8"), QString::fromUtf8("\xd1\x8f")},
            {"on", true},
            {"off", false},
            {"none", QJsonValue::Null}};
    }

    void readsWhatTheFrameworkWrites()
    {
        QFETCH(QJsonObject, object);
        bool ok = false;
        QCOMPARE(BinaryJson::readObject(binary(object), &ok), object);
        QVERIFY(ok);
    }

    // Documents of every kind the format holds: the writer must give exactly the bytes of
    // Qt 5.15's QJsonDocument::toBinaryData(), which backups in users' hands hold.
    void writesWhatTheFrameworkWrites_data()
    {
        QTest::addColumn<QJsonObject>("object");
        QTest::newRow("device information") << deviceInfo;
        QTest::newRow("inline bounds")
            << QJsonObject{{"zero", 0},          {"one", 1},
                           {"max26", 67108863},  {"pow26", 67108864},
                           {"min26", -67108863}, {"npow26", -67108864},
                           {"half", 0.5},        {"negzero", -0.0},
                           {"big", 1e300},       {"i64", qint64(1) << 40}};
        QTest::newRow("key and text lengths")
            << QJsonObject{{"a", "b"}, {"ab", "cd"}, {"abc", "def"}, {"abcd", "efgh"}, {"", ""}};
        QTest::newRow("non-Latin keys and texts") << QJsonObject{
            {QString::fromUtf8("\xd0\xbf\xd1\x80\xd0\xb8"), QString::fromUtf8("\xd1\x8f")},
            {QString::fromUtf8("\xc3\xa9t\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9")},
            {"emoji", QString::fromUtf8("\xf0\x9f\x9a\x97!")}};
        QTest::newRow("long Latin-1 text") << QJsonObject{{"t", QString(0x8000, QChar('x'))}};
        QTest::newRow("nested") << QJsonObject{
            {"a", QJsonObject{{"b", 1}, {"c", QJsonArray{1, "two", 3.5, true, QJsonValue::Null}}}},
            {"empty", QJsonObject()},
            {"none", QJsonArray()},
            {"deep", QJsonArray{QJsonArray{QJsonObject{{"x", -1}}}}}};
        // Many random documents, the same every run.
        QRandomGenerator random(20241209);
        for (int n = 0; n < 300; ++n)
            QTest::newRow(qPrintable(QStringLiteral("random %1").arg(n)))
                << randomObject(random, 0);
    }

    void writesWhatTheFrameworkWrites()
    {
        QFETCH(QJsonObject, object);
        const QByteArray written = BinaryJson::writeObject(object);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        QCOMPARE(written.toHex(), qtBinary(QJsonDocument(object)).toHex());
#endif
        bool flat = true;
        for (const QJsonValue &value : object)
            flat = flat && !value.isArray() && !value.isObject();
        if (flat) {
            bool ok = false;
            QCOMPARE(BinaryJson::readObject(written, &ok), object);
            QVERIFY(ok);
        }
    }

    // Qt 5.15's bytes, so that the Qt 6 build checks them too.
    void writesTheKnownBytes_data()
    {
        QTest::addColumn<QJsonObject>("object");
        QTest::addColumn<QByteArray>("hex");
        QTest::newRow("empty") << QJsonObject() << QByteArray();
        QTest::newRow("device information")
            << deviceInfo
            << QByteArray("71626a7301000000700000000d000000580000007a0000000500636f756e740092040000"
                          "04006469"
                          "7370000000000000000000001a0200000500706167657300fa1f000002007234fa000000"
                          "02007235"
                          "3a000000070076657273696f6e0000000c000000180000002c0000003800000040000000"
                          "48000000");
        QTest::newRow("mixed") << QJsonObject{{QString::fromUtf8("\xd0\xbf"), 0},
                                              {"name", "KX4"},
                                              {"on", true},
                                              {"real", 2.5},
                                              {"list",
                                               QJsonArray{-5, QString::fromUtf8("\xd1\x8f")}},
                                              {"none", QJsonValue::Null}}
                               << QByteArray("71626a73010000009c0000000d000000840000001403000004006"
                                             "c69737400001c00000004000000"
                                             "14000000010000004f0400006affffff830100001b08000004006"
                                             "e616d65000003004b5834000000"
                                             "1000000004006e6f6e6500003100000002006f6e120d000004007"
                                             "265616c00000000000000000440"
                                             "820f0000010000003f04000000000000000000000c00000034000"
                                             "00048000000540000005c000000"
                                             "70000000");
    }

    void writesTheKnownBytes()
    {
        QFETCH(QJsonObject, object);
        QFETCH(QByteArray, hex);
        QCOMPARE(BinaryJson::writeObject(object).toHex(), hex);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        QCOMPARE(qtBinary(QJsonDocument(object)).toHex(), hex);
        QCOMPARE(qtBinary(QJsonDocument(QJsonArray{1, 2})), arrayBytes);
#endif
    }

    void refusesWhatItCannotHold_data()
    {
        QTest::addColumn<QByteArray>("data");
        // (The framework writes an empty object as no bytes at all.)
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("header only") << QByteArray("qbjs\x01\0\0\0", 8);
        QTest::newRow("text JSON") << QByteArray("{\"version\": 1}");
        QByteArray version2 = binary(deviceInfo);
        version2[4] = 2;
        QTest::newRow("version 2") << version2;
        QTest::newRow("array") << arrayBytes;
        QTest::newRow("nested object") << binary(QJsonObject{{"a", QJsonObject{{"b", 1}}}});
        QByteArray hugeSize = binary(deviceInfo);
        hugeSize[8] = hugeSize[9] = hugeSize[10] = hugeSize[11] = char(0xFF);
        QTest::newRow("size beyond the bytes") << hugeSize;
        QByteArray farTable = binary(deviceInfo);
        farTable[16] = farTable[17] = char(0x7F);
        QTest::newRow("table beyond the object") << farTable;
    }

    void refusesWhatItCannotHold()
    {
        QFETCH(QByteArray, data);
        bool ok = true;
        QCOMPARE(BinaryJson::readObject(data, &ok), QJsonObject());
        QVERIFY(!ok);
    }

    void survivesDamage()
    {
        const QByteArray good = binary(deviceInfo);
        for (int cut = 0; cut < good.size(); ++cut) {
            bool ok = true;
            BinaryJson::readObject(good.left(cut), &ok);
            QVERIFY2(!ok, qPrintable(QStringLiteral("cut at %1 accepted").arg(cut)));
        }
        for (int i = 0; i < good.size(); ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray bad = good;
                bad[i] = char(bad.at(i) ^ (1 << bit));
                bool ok = false;
                // Every copy is exactly as long as its content: a read past it is caught
                // by the sanitizers in the checked build.
                BinaryJson::readObject(QByteArray(bad.constData(), bad.size()), &ok);
            }
        }
    }
};

QTEST_MAIN(tst_BinaryJson)
#include "tst_binaryjson.moc"
