// The backup info field reader against what the framework writes, and against damaged
// bytes: every cut and every single-byte change of a real info field must give either
// the object or a refusal, never a crash or a read outside the bytes.

#include "config/BinaryJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

QByteArray binary(const QJsonDocument &document)
{
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    return document.toBinaryData();
    QT_WARNING_POP
}

QByteArray binary(const QJsonObject &object)
{
    return binary(QJsonDocument(object));
}

const QJsonObject deviceInfo{{"version", 1}, {"pages", 16}, {"count", 3},
                             {"disp", 0},    {"r4", 255},   {"r5", 7}};

} // namespace

class tst_BinaryJson : public QObject
{
    Q_OBJECT

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
        QTest::newRow("array") << binary(QJsonDocument(QJsonArray{1, 2}));
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
