// The board record's bytes: which value a missing key gets, what a blank area stands for,
// how values wider than their field are cut, and which records count as readable.

#include "config/BoardConfig.h"

#include <QTest>

class tst_BoardConfig : public QObject
{
    Q_OBJECT

private slots:
    void encoding_data();
    void encoding();
    void decoding_data();
    void decoding();
};

void tst_BoardConfig::encoding_data()
{
    QTest::addColumn<QVariantMap>("board");
    QTest::addColumn<QByteArray>("record");

    // A page that sends no value for a key gets the record's own value for it: "adelay"
    // 650 and "rflags" 1, unlike the settings a blank area stands for (0 and 25).
    QTest::newRow("no keys") << QVariantMap()
                             << QByteArray::fromHex(
                                    "1200 01 01 00 00 8A02 0100 7017 581B 3075 0000");
    QTest::newRow("blank-area settings")
        << defaultBoardConfig
        << QByteArray::fromHex("1200 01 01 00 00 0000 1900 7017 581B 3075 0000");
    // The version byte is always 1; values are cut to the width of their field, texts
    // that are no number count as 0.
    QTest::newRow("cut to width")
        << QVariantMap{{"version", 7},      {"rpm", 0x1FF}, {"speed", -1},  {"aux", "x"},
                       {"adelay", 0x12345}, {"rflags", 0},  {"rpmlim", -2}, {"warnodo", 0},
                       {"warntime", 65535}, {"engidx", 3}}
        << QByteArray::fromHex("1200 01 FF FF 00 4523 0000 FEFF 0000 FFFF 0300");
}

void tst_BoardConfig::encoding()
{
    QFETCH(QVariantMap, board);
    QFETCH(QByteArray, record);
    QCOMPARE(BoardConfig::toBytes(board).toHex(' '), record.toHex(' '));
}

void tst_BoardConfig::decoding_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<bool>("valid");

    const QByteArray v1 = BoardConfig::toBytes(defaultBoardConfig);
    QTest::newRow("version 1") << v1 << true;
    QByteArray v2 = v1;
    v2[2] = 2;
    QTest::newRow("version 2") << v2 << false;
    QTest::newRow("one byte short") << v1.left(17) << false;
    QTest::newRow("one byte over") << v1 + '\0' << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void tst_BoardConfig::decoding()
{
    QFETCH(QByteArray, record);
    QFETCH(bool, valid);
    QCOMPARE(BoardConfig::isValid(record), valid);
    // A readable record gives back the map it was made from; anything else gives nothing.
    QCOMPARE(BoardConfig::fromBytes(record), valid ? defaultBoardConfig : QVariantMap());
}

QTEST_MAIN(tst_BoardConfig)
#include "tst_boardconfig.moc"
