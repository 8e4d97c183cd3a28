#include "config/DeviceConfig.h"

#include <QJsonObject>
#include <QtTest>

class TstDeviceConfig : public QObject
{
    Q_OBJECT

    static QByteArray image(int size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * 7 + 1);
        return bytes;
    }

private slots:
    void recordLayout()
    {
        ConfigParameter rpm;
        rpm.pid = 0x0C;
        rpm.cid = 0x7E8;
        rpm.math.div = 4;
        rpm.math.mul = 1;
        rpm.disp.num = 1;
        rpm.setHeader(QStringLiteral("RPM"));
        rpm.setTail(QStringLiteral("rpm"));
        QCOMPARE(rpm.toByteArray().toHex(' '),
                 QByteArray("0c 00 e8 07 00 00 00 04 00 01 01 00 52 50 4d 20 20 20 20 72 70 6d"));

        ConfigParameter temp;
        temp.pid = 0xA405;
        temp.cid = 0x18DA;
        temp.sign = 1;
        temp.math.offset = -40;
        temp.math.div = 0x1234;
        temp.math.mul = 200;
        temp.disp.num = 1;
        temp.disp.pos = 12;
        temp.setHeader(QStringLiteral("COOLANT"));
        temp.setTail(QStringLiteral("°C"));
        QCOMPARE(temp.toByteArray().toHex(' '),
                 QByteArray("05 a4 da 18 01 d8 ff 34 12 c8 01 0c 43 4f 4f 4c 41 4e 20 20 b0 43"));
        QCOMPARE(temp.header(), QStringLiteral("COOLAN"));
        QCOMPARE(temp.tail(), QStringLiteral("  °C"));

        temp.setTail(QStringLiteral("km/h/x"));
        QCOMPARE(temp.tail(), QStringLiteral("km/h"));
        temp.setHeader(QString());
        QCOMPARE(temp.header(), QStringLiteral("      "));

        ConfigParameter back;
        QVERIFY(back.fromByteArray(temp.toByteArray()));
        QCOMPARE(back.math.offset, qint16(-40));
        QCOMPARE(back.math.div, quint16(0x1234));
        QVERIFY(back == temp);
        QVERIFY(!back.fromByteArray(temp.toByteArray().left(21)));
        QVERIFY(back == temp); // nothing read from a short image
    }

    void fromByteArray_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("records");
        QTest::addColumn<bool>("whole");
        QTest::newRow("44 bytes") << 44 << 2 << true;
        QTest::newRow("45 bytes") << 45 << 2 << false;
        QTest::newRow("21 bytes") << 21 << 0 << false;
        QTest::newRow("empty") << 0 << 0 << true;
        QTest::newRow("23 records") << 506 << 23 << true;
    }

    void fromByteArray()
    {
        QFETCH(int, size);
        QFETCH(int, records);
        QFETCH(bool, whole);

        DeviceConfig config;
        config.append(ConfigParameter()); // a parse replaces, never appends
        const QByteArray bytes = image(size);
        QCOMPARE(config.fromByteArray(bytes), whole);
        QCOMPARE(config.count(), records);
        QCOMPARE(config.toByteArray(), bytes.left(records * DeviceConfig::recordSize()));
        if (records > 1) {
            QCOMPARE(config.parameters().at(1).pid,
                     quint16(quint8(bytes.at(22)) | quint8(bytes.at(23)) << 8));
            QCOMPARE(config.parameters().at(1).disp.pos, quint8(bytes.at(22 + 11)));
        }
    }

    void recordFromCatalogue_data()
    {
        QTest::addColumn<QJsonObject>("item");
        QTest::addColumn<QByteArray>("record");
        const auto item = [](double offset, const QString &name, const QString &units) {
            return QJsonObject{{"pid", 12},        {"cid", 2024},  {"signed", true},
                               {"offset", offset}, {"name", name}, {"units", units},
                               {"scale", QJsonObject{{"div", 4}, {"mul", 3}}}};
        };
        // pid, cid, sign, offset, div, mul, then num and pos (the caller's), name, units.
        QTest::newRow("RPM %, offset 2.5 gives 3")
            << item(2.5, "RPM", "%") << QByteArray("0c00e807010300040003000052504d202020202020 25");
        QTest::newRow("-2.5 gives -2")
            << item(-2.5, "RPM", "%") << QByteArray("0c00e80701feff040003000052504d202020202020 25");
        QTest::newRow("-2.6 gives -3")
            << item(-2.6, "RPM", "%") << QByteArray("0c00e80701fdff040003000052504d202020202020 25");
        QTest::newRow("eight letters keep six")
            << item(-40, "COOLANTS", "degC")
            << QByteArray("0c00e80701d8ff0400030000434f4f4c414e64656743");
        QTest::newRow("not a number gives 0")
            << item(qQNaN(), "T", "") << QByteArray("0c00e80701000004000300005420202020202020 2020");
    }

    // A catalogue item as the record the controller writes for it.
    void recordFromCatalogue()
    {
        QFETCH(QJsonObject, item);
        QFETCH(QByteArray, record);
        QCOMPARE(ConfigParameter::recordFromCatalogue(item).toByteArray().toHex(),
                 record.replace(" ", ""));
    }
};

QTEST_GUILESS_MAIN(TstDeviceConfig)
#include "tst_deviceconfig.moc"
