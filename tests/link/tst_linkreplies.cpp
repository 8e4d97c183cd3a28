// What the link makes of the adapter's reply lines once it is up: data frames, status texts,
// "CAN ERROR" resends and lines it cannot read.

#include "LinkHarness.h"

#include <QtTest>

using Frames = QList<QByteArray>;

class LinkRepliesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("kx4.link.debug=false"));
        qRegisterMetaType<ELM327IOBase::ELM_ERROR>();
    }

    void replyLine_data();
    void replyLine();
    void canErrorResends();
    void workQueuedOnCanErrorSurvives();
    void dataLineResetsCanErrorCount();
};

void LinkRepliesTest::replyLine_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("strict");
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("reason");

    const QString none;
    const QString nonHex = QStringLiteral("non-hex reply");

    QTest::newRow("frame") << QByteArray("7E0102\r") << true
                           << Frames{QByteArray::fromHex("7e0102")} << 0 << none;
    QTest::newRow("two frames, lower case, spaces")
        << QByteArray("30 00 aa\r3001\r") << true
        << Frames{QByteArray::fromHex("3000aa"), QByteArray::fromHex("3001")} << 0 << none;
    QTest::newRow("odd digit count: leading digit alone")
        << QByteArray("7E012\r") << true << Frames{QByteArray::fromHex("07e012")} << 0 << none;
    QTest::newRow("BUFFER FULL reads as data")
        << QByteArray("BUFFER FULL\r") << true << Frames{QByteArray::fromHex("0bffef")} << 0
        << none;
    QTest::newRow("frame after a prompt")
        << QByteArray(">7E01\r") << true << Frames{QByteArray::fromHex("7e01")} << 0 << none;
    QTest::newRow("NUL padding") << QByteArray::fromHex("00374500300031003000310d00") << true
                                 << Frames{QByteArray::fromHex("7e0101")} << 0 << none;
    QTest::newRow("line feeds") << QByteArray("\n7E01\r\n") << true
                                << Frames{QByteArray::fromHex("7e01")} << 0 << none;
    QTest::newRow("line split by a read")
        << QByteArray("7E|01\r") << true << Frames{QByteArray::fromHex("7e01")} << 0 << none;
    // A line that never ends is reported once and skipped up to its end; the next line
    // reads normally.
    QTest::newRow("endless line") << QByteArray(4000, 'A') + '|' + QByteArray(4000, 'A') +
                                         "|\r7E01\r"
                                  << true << Frames{QByteArray::fromHex("7e01")}
                                  << int(ELM327IOBase::ERR_PROTOCOL)
                                  << QStringLiteral("reply line too long");

    QTest::newRow("NO DATA, strict")
        << QByteArray("NO DATA\r") << true << Frames{} << int(ELM327IOBase::ERR_NODATA)
        << QStringLiteral("trasport error no data");
    QTest::newRow("NO DATA padded, strict")
        << QByteArray(" No Data \r") << true << Frames{} << int(ELM327IOBase::ERR_NODATA)
        << QStringLiteral("trasport error no data");
    QTest::newRow("NO DATA after a prompt, strict")
        << QByteArray(">NO DATA\r") << true << Frames{} << int(ELM327IOBase::ERR_NODATA)
        << QStringLiteral("trasport error no data");
    QTest::newRow("NO DATA, lenient") << QByteArray("NO DATA\r") << false << Frames{} << 0 << none;
    QTest::newRow("STOPPED, strict")
        << QByteArray("STOPPED\r") << true << Frames{} << int(ELM327IOBase::ERR_STOPPED)
        << QStringLiteral("trasport error stopped");
    QTest::newRow("STOPPED, lenient") << QByteArray("STOPPED\r") << false << Frames{} << 0 << none;

    QTest::newRow("echoed command") << QByteArray("AT SH 74D\r") << true << Frames{} << 0 << none;
    QTest::newRow("question mark")
        << QByteArray("?\r") << true << Frames{} << int(ELM327IOBase::ERR_PROTOCOL) << nonHex;
    QTest::newRow("OK with no AT command in flight")
        << QByteArray("OK\r") << true << Frames{} << int(ELM327IOBase::ERR_PROTOCOL) << nonHex;
    QTest::newRow("prompt and OK with no AT command in flight")
        << QByteArray(">OK\r") << false << Frames{} << int(ELM327IOBase::ERR_PROTOCOL) << nonHex;
}

// A frame is in flight when the reply arrives; the prompt after it gives ready().
void LinkRepliesTest::replyLine()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, strict);
    QFETCH(Frames, frames);
    QFETCH(int, code);
    QFETCH(QString, reason);

    LinkHarness h;
    QVERIFY(h.start());
    h.link.setStrictMode(strict);
    QCOMPARE(h.link.property("strictMode").toBool(), strict);
    QSignalSpy reads(&h.link, &ELM327IOBase::read);
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QSignalSpy ready(&h.link, &ELM327IOBase::ready);

    h.link.writeHEX(QByteArray::fromHex("ffff"));
    QTRY_COMPARE(h.peer.received(), QByteArray("FFFF\r"));
    for (const QByteArray &piece : reply.split('|'))
        QVERIFY(h.feed(piece));
    QVERIFY(h.feed("\r>"));
    QCOMPARE(ready.count(), 1);

    Frames got;
    for (const QList<QVariant> &args : reads)
        got << args.at(0).toByteArray();
    QCOMPARE(got, frames);
    if (code == 0) {
        QCOMPARE(errors.count(), 0);
    } else {
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).value<ELM327IOBase::ELM_ERROR>(),
                 ELM327IOBase::ELM_ERROR(code));
        QCOMPARE(errors.at(0).at(1).toString(), reason);
    }
}

// One frame that keeps drawing "CAN ERROR" goes out five times in all; then the error is
// reported and the work queued behind it is dropped.
void LinkRepliesTest::canErrorResends()
{
    LinkHarness h;
    QVERIFY(h.start());
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QSignalSpy ready(&h.link, &ELM327IOBase::ready);

    h.link.writeHEX(QByteArray::fromHex("0102030405060708"));
    h.link.writeHEX(QByteArray::fromHex("aabb"));
    h.link.write("ATRV\r");
    const QByteArray frame("0102030405060708\r");
    QTRY_COMPARE(h.peer.received(), frame);
    for (int resend = 1; resend <= 4; ++resend) {
        QVERIFY(h.feed("CAN ERROR\r\r>"));
        QTRY_COMPARE(h.peer.received(), frame.repeated(resend + 1));
        QCOMPARE(errors.count(), 0);
    }
    QVERIFY(h.feed("CAN ERROR\r"));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).value<ELM327IOBase::ELM_ERROR>(), ELM327IOBase::ERR_CANERR);
    QCOMPARE(errors.at(0).at(1).toString(), QStringLiteral("CAN error. Retries exhausted"));
    QVERIFY(!h.link.isBusy());

    QSignalSpy written(h.port(), &QSerialPort::bytesWritten);
    QVERIFY(h.feed("\r>"));
    QCOMPARE(ready.count(), 1);
    QCOMPARE(written.count(), 0);
}

// A handler that answers the error with new work keeps it: only what was queued before the
// error is dropped, and the new frame starts with a fresh count.
void LinkRepliesTest::workQueuedOnCanErrorSurvives()
{
    LinkHarness h;
    QVERIFY(h.start());
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QObject::connect(&h.link, &ELM327IOBase::error,
                     [&] { h.link.writeHEX(QByteArray::fromHex("0909")); });

    h.link.writeHEX(QByteArray::fromHex("01"));
    h.link.writeHEX(QByteArray::fromHex("aabb"));
    QTRY_COMPARE(h.peer.received(), QByteArray("01\r"));
    for (int i = 0; i < 5; ++i)
        QVERIFY(h.feed("CAN ERROR\r\r>"));
    QCOMPARE(errors.count(), 1);
    QTRY_COMPARE(h.peer.received(), QByteArray("01\r").repeated(5) + "0909\r");
    QVERIFY(h.feed("CAN ERROR\r\r>"));
    QTRY_COMPARE(h.peer.received(), QByteArray("01\r").repeated(5) + "0909\r0909\r");
    QCOMPARE(errors.count(), 1);
}

void LinkRepliesTest::dataLineResetsCanErrorCount()
{
    LinkHarness h;
    QVERIFY(h.start());
    QSignalSpy errors(&h.link, &ELM327IOBase::error);
    QSignalSpy reads(&h.link, &ELM327IOBase::read);

    h.link.writeHEX(QByteArray::fromHex("11"));
    QTRY_COMPARE(h.peer.commands().size(), 1);
    for (int i = 1; i <= 3; ++i) {
        QVERIFY(h.feed("CAN ERROR\r\r>"));
        QTRY_COMPARE(h.peer.commands().size(), 1 + i);
    }
    QVERIFY(h.feed("3000\r\r>"));
    QCOMPARE(reads.count(), 1);

    // Four more in a row are still resent: the count started again at the data line.
    h.link.writeHEX(QByteArray::fromHex("22"));
    QTRY_COMPARE(h.peer.commands().size(), 5);
    for (int i = 1; i <= 4; ++i) {
        QVERIFY(h.feed("CAN ERROR\r\r>"));
        QTRY_COMPARE(h.peer.commands().size(), 5 + i);
        QCOMPARE(h.peer.commands().last(), QByteArray("22"));
    }
    QCOMPARE(errors.count(), 0);
    QVERIFY(h.feed("CAN ERROR\r\r>"));
    QCOMPARE(errors.count(), 1);
}

QTEST_GUILESS_MAIN(LinkRepliesTest)
#include "tst_linkreplies.moc"
