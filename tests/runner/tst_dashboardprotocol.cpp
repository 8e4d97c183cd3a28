// The dashboard's messages as bytes, with no link: every request, the reading of every
// reply, which reply answers which request, and the offsets of a chunked transfer.

#include "runner/DashboardProtocol.h"
#include "runner/ExchangeTimer.h"

#include <QTest>

using namespace DashboardProtocol;

class tst_DashboardProtocol : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void replies_data();
    void replies();
    void answers_data();
    void answers();
    void chunking_data();
    void chunking();
    void exchangeTime();
};

void tst_DashboardProtocol::requests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("replies");

    QTest::newRow("device information") << deviceInfoRequest() << QByteArray("ff ff") << 1;
    QTest::newRow("saved odometer") << valueRequest(0x3FFE) << QByteArray("fe 7f") << 1;
    QTest::newRow("current odometer") << valueRequest(0x3FFD) << QByteArray("fd 7f") << 1;
    QTest::newRow("saved engine time") << valueRequest(0x3FFC) << QByteArray("fc 7f") << 1;
    QTest::newRow("current engine time") << valueRequest(0x3FFB) << QByteArray("fb 7f") << 1;
    QTest::newRow("block read at 0") << blockRead(0) << QByteArray("00 40 ff ff ff ff ff ff") << 1;
    QTest::newRow("block read at 0x0200")
        << blockRead(0x0200) << QByteArray("00 42 ff ff ff ff ff ff") << 1;
    QTest::newRow("block read at 0x3FFF")
        << blockRead(0x3FFF) << QByteArray("ff 7f ff ff ff ff ff ff") << 1;
    // Above 14 bits the address would run into the operation bits.
    QTest::newRow("block read at 0x4000") << blockRead(0x4000) << QByteArray() << 1;
    QTest::newRow("block read at -6") << blockRead(-6) << QByteArray() << 1;
    QTest::newRow("write of FF FF at 0")
        << blockWrite(0, QByteArray(2, '\xFF')) << QByteArray("00 c0 ff ff ff ff ff ff") << 1;
    QTest::newRow("write of 4 bytes: FF FF padding")
        << blockWrite(0x3FFE, QByteArray::fromHex("39300000"))
        << QByteArray("fe ff 39 30 00 00 ff ff") << 1;
    QTest::newRow("write of 6 bytes at 0x0400")
        << blockWrite(0x0400, QByteArray::fromHex("010203040506"))
        << QByteArray("00 c4 01 02 03 04 05 06") << 1;
    // The last chunk of a 2773-byte splash stream: one byte and five of padding.
    QTest::newRow("last chunk of a splash stream")
        << blockWrite(0x0400 + 2772, QByteArray(1, '\x5A')) << QByteArray("d4 ce 5a ff ff ff ff ff")
        << 1;
    QTest::newRow("write of 7 bytes") << blockWrite(0, QByteArray(7, '\0')) << QByteArray() << 1;
    QTest::newRow("write at 0x4000") << blockWrite(0x4000, QByteArray(1, '\0')) << QByteArray() << 1;
    QTest::newRow("restart into update mode") << restartRequest(true) << QByteArray("01 10") << 0;
    QTest::newRow("restart") << restartRequest(false) << QByteArray("01 11") << 0;
}

void tst_DashboardProtocol::requests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, bytes);
    QFETCH(int, replies);
    QCOMPARE(request.toHex(' '), bytes);
    if (!request.isEmpty())
        QCOMPARE(repliesTo(request), replies);
}

void tst_DashboardProtocol::replies_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("withValues");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("address");
    QTest::addColumn<uint>("value");

    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("7 bytes") << hex("ffff01040506") + '\0' << true << int(Reply::Ignored) << 0
                             << 0u;
    QTest::newRow("9 bytes") << hex("3000000000000000ff") << true << int(Reply::Ignored) << 0
                             << 0u;
    QTest::newRow("device information")
        << hex("ffff010405010000") << true << int(Reply::DeviceInfo) << 0 << 0u;
    QTest::newRow("saved odometer")
        << hex("fe7f40e20100ffff") << true << int(Reply::Value) << 0x3FFE << 123456u;
    QTest::newRow("current engine time")
        << hex("fb7fe1100000ffff") << true << int(Reply::Value) << 0x3FFB << 4321u;
    // The update-checking edition reads no values: there the word is a block reply.
    QTest::newRow("value word without values")
        << hex("fe7f40e20100ffff") << false << int(Reply::Block) << 0x3FFE << 0u;
    QTest::newRow("acknowledgement 30 00")
        << hex("30000602ffffffff") << true << int(Reply::Acknowledge) << 0x0206 << 0u;
    QTest::newRow("acknowledgement 30 01")
        << hex("30010602ffffffff") << true << int(Reply::Acknowledge) << 0x0206 << 0u;
    QTest::newRow("30 02 is a block reply at 0x0230")
        << hex("3002000000000000") << true << int(Reply::Block) << 0x0230 << 0u;
    // The top two bits of a block reply's word are not looked at.
    QTest::newRow("block 10 40") << hex("1040010203040506") << true << int(Reply::Block) << 0x0010
                                 << 0u;
    QTest::newRow("block 10 00") << hex("1000010203040506") << true << int(Reply::Block) << 0x0010
                                 << 0u;
    QTest::newRow("block 10 C0") << hex("10c0010203040506") << true << int(Reply::Block) << 0x0010
                                 << 0u;
}

void tst_DashboardProtocol::replies()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, withValues);
    QFETCH(int, kind);
    QFETCH(int, address);
    QFETCH(uint, value);
    const Reply reply = parseReply(frame, withValues);
    QCOMPARE(int(reply.kind), kind);
    QCOMPARE(reply.address, address);
    QCOMPARE(reply.value, quint32(value));
    if (kind != Reply::Ignored)
        QCOMPARE(reply.payload, frame.mid(2));
    if (kind == Reply::DeviceInfo) {
        const QJsonObject info = deviceInfo(reply.payload);
        QCOMPARE(info, (QJsonObject{{"version", 1}, {"pages", 4}, {"count", 5},
                                    {"disp", 1},    {"r4", 0},    {"r5", 0}}));
    }
}

void tst_DashboardProtocol::answers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("answers");

    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    const QByteArray write = blockWrite(0x0206, QByteArray(6, '\0'));
    const QByteArray read = blockRead(0x0206);
    QTest::newRow("acknowledgement of the write") << write << hex("30000602ffffffff") << true;
    QTest::newRow("acknowledgement of another write") << write << hex("30000002ffffffff") << false;
    QTest::newRow("acknowledgement while reading") << read << hex("30000602ffffffff") << false;
    QTest::newRow("block reply to the read") << read << hex("0642000000000000") << true;
    QTest::newRow("late block reply") << read << hex("0042000000000000") << false;
    QTest::newRow("block reply while writing") << write << hex("0642000000000000") << false;
    QTest::newRow("device information") << deviceInfoRequest() << hex("ffff010405010000") << true;
    QTest::newRow("device information unasked")
        << valueRequest(0x3FFE) << hex("ffff010405010000") << false;
    QTest::newRow("value asked") << valueRequest(0x3FFD) << hex("fd7f01000000ffff") << true;
    QTest::newRow("another value") << valueRequest(0x3FFD) << hex("fe7f01000000ffff") << false;
    QTest::newRow("nothing in flight") << QByteArray() << hex("30000602ffffffff") << false;
}

void tst_DashboardProtocol::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, frame);
    QFETCH(bool, answers);
    QCOMPARE(DashboardProtocol::answers(request, parseReply(frame)), answers);
}

void tst_DashboardProtocol::chunking_data()
{
    QTest::addColumn<int>("acknowledged");
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("next");

    // The table write: the acknowledgement of the chunk at 42 goes on at 48.
    QTest::newRow("table") << 42 << 0x0000 << 48;
    // The board record of 18 bytes: the chunk at 0x020C is its last.
    QTest::newRow("board record") << 0x020C << 0x0200 << 18;
    QTest::newRow("splash") << 0x0ED4 << 0x0400 << 2778;
    // Computed in 16 bits: an address below the base wraps.
    QTest::newRow("below the base") << 0x01FE << 0x0400 << 0xFE04;
}

void tst_DashboardProtocol::chunking()
{
    QFETCH(int, acknowledged);
    QFETCH(int, base);
    QFETCH(int, next);
    QCOMPARE(nextOffset(acknowledged, base), next);
    const QByteArray image = QByteArray::fromHex("0102030405060708");
    QCOMPARE(chunk(image, 0).toHex(), QByteArray("010203040506"));
    QCOMPARE(chunk(image, 6).toHex(), QByteArray("0708"));
}

void tst_DashboardProtocol::exchangeTime()
{
    ExchangeTimer timer;
    QCOMPARE(timer.medianMs(), 0.0);
    for (const qint64 us : {3000, 1000, 2000})
        timer.record(us);
    QCOMPARE(timer.medianMs(), 2.0);
    timer.record(9000); // an even count: between the two in the middle
    QCOMPARE(timer.medianMs(), 2.5);
    // A slower link takes over once it fills the ring's half, whatever came before.
    for (size_t i = 0; i < ExchangeTimer::Kept / 2 + 1; ++i)
        timer.record(60000);
    QCOMPARE(timer.medianMs(), 60.0);
    for (size_t i = 0; i < ExchangeTimer::Kept; ++i)
        timer.record(5000);
    QCOMPARE(timer.count(), ExchangeTimer::Kept);
    QCOMPARE(timer.medianMs(), 5.0);
    // A reply to a request sent again is no measure.
    timer.sent();
    timer.spoiled();
    timer.answered();
    QCOMPARE(timer.medianMs(), 5.0);
    timer.clear();
    QCOMPARE(timer.count(), size_t(0));
}

QTEST_GUILESS_MAIN(tst_DashboardProtocol)
#include "tst_dashboardprotocol.moc"
