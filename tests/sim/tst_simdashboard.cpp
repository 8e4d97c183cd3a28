#include "config/ParameterCatalogue.h"
#include "sim/SimDashboard.h"
#include "sim/SimDemoImage.h"
#include "sim/SimStateFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

// The simulated firmware's answers and memory: what the controller's tests compare with.
class tst_SimDashboard : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void writesUpdateMemoryAndCounters();
    void countFollowsTable();
    void restartAndUpdateMode();
    void demoImage();
    void demoRecordsMatchCatalogue();
    void stateFileRoundTrip();
    void badStateFileChangesNothing_data();
    void badStateFileChangesNothing();

private:
    static QByteArray ask(SimDashboard &d, const QByteArray &hex, quint32 id = 0x74D);
};

QByteArray tst_SimDashboard::ask(SimDashboard &d, const QByteArray &hex, quint32 id)
{
    const QList<SimFrame> replies = d.handleFrame({id, QByteArray::fromHex(hex)});
    if (replies.isEmpty())
        return "none";
    if (replies.size() != 1 || replies.first().id != 0x745)
        return "unexpected";
    return replies.first().data.toHex().toUpper();
}

void tst_SimDashboard::replies_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("device info") << QByteArray("FFFF") << QByteArray("FFFF011002010203");
    QTest::newRow("saved odometer") << QByteArray("FE7F") << QByteArray("FE7F40E20100FFFF");
    QTest::newRow("odometer") << QByteArray("FD7F") << QByteArray("FD7F01000000FFFF");
    QTest::newRow("saved engine time") << QByteArray("FC7F") << QByteArray("FC7FA6020000FFFF");
    QTest::newRow("engine time") << QByteArray("FB7F") << QByteArray("FB7FFFFFFFFFFFFF");
    QTest::newRow("block read 0x0000")
        << QByteArray("0040FFFFFFFFFFFF") << QByteArray("0040000102030405");
    QTest::newRow("block read 0x0200")
        << QByteArray("0042FFFFFFFFFFFF") << QByteArray("0042AABBCCDDEEFF");
    QTest::newRow("block read at the end")
        << QByteArray("FC7BFFFFFFFFFFFF") << QByteArray("FC7B06FFFFFFFFFF");
    QTest::newRow("block read beyond pages")
        << QByteArray("0050FFFFFFFFFFFF") << QByteArray("0050FFFFFFFFFFFF");
    QTest::newRow("write ack") << QByteArray("06C2112233445566") << QByteArray("30000602FFFFFFFF");
    QTest::newRow("short write ack") << QByteArray("00C411") << QByteArray("30000004FFFFFFFF");
    QTest::newRow("write without data") << QByteArray("00C4") << QByteArray("none");
    QTest::newRow("restart") << QByteArray("0111") << QByteArray("none");
    QTest::newRow("one byte") << QByteArray("FF") << QByteArray("none");
    QTest::newRow("unknown word") << QByteArray("0000") << QByteArray("none");
}

void tst_SimDashboard::replies()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    SimDashboard d(16);
    d.setPages(16);
    d.setCount(2);
    d.setDisp(1);
    d.setReserved(2, 3);
    d.writeMemory(0, QByteArray::fromHex("000102030405"));
    d.writeMemory(0x0200, QByteArray::fromHex("AABBCCDDEEFF"));
    d.writeMemory(0x3BFC, QByteArray::fromHex("06"));
    d.setPages(15); // 0x0000-0x3BFF: reads beyond give FF
    d.setValue(SimDashboard::SavedOdometer, 123456);
    d.setValue(SimDashboard::Odometer, 1);
    d.setValue(SimDashboard::SavedEngineTime, 678);
    d.setValue(SimDashboard::EngineTime, 0xFFFFFFFF);
    if (QTest::currentDataTag() == QLatin1String("device info"))
        d.setPages(16);
    QCOMPARE(ask(d, request), reply);
    // Frames to another identifier are not for this dashboard.
    QCOMPARE(ask(d, request, 0x7DF), QByteArray("none"));
}

void tst_SimDashboard::writesUpdateMemoryAndCounters()
{
    SimDashboard d;
    QCOMPARE(ask(d, "06C0112233445566"), QByteArray("30000600FFFFFFFF"));
    QCOMPARE(d.readMemory(0, 14), QByteArray::fromHex("FFFFFFFFFFFF112233445566FFFF"));
    d.setAckByte(0x01);
    QCOMPARE(ask(d, "FA7F0102030405FF" /* read: nothing changes */).left(4), QByteArray("FA7F"));
    QCOMPARE(ask(d, "F2FF0102030405FF"), QByteArray("3001F23FFFFFFFFF"));
    // A write at the end is cut at the memory's end.
    QCOMPARE(d.readMemory(0x3FF2, 6), QByteArray::fromHex("0102030405FF"));
    QCOMPARE(d.memory().size(), 16384);

    // The saved maintenance points take the 32-bit value from the first four data bytes;
    // the current counters belong to the firmware and stay.
    d.setValue(SimDashboard::Odometer, 5);
    QCOMPARE(ask(d, "FEFF39300000FFFF"), QByteArray("3001FE3FFFFFFFFF"));
    QCOMPARE(ask(d, "FCFFA6020000FFFF"), QByteArray("3001FC3FFFFFFFFF"));
    QCOMPARE(ask(d, "FDFF00000000FFFF"), QByteArray("3001FD3FFFFFFFFF"));
    QCOMPARE(d.value(SimDashboard::SavedOdometer), 12345u);
    QCOMPARE(d.value(SimDashboard::SavedEngineTime), 678u);
    QCOMPARE(d.value(SimDashboard::Odometer), 5u);
    QCOMPARE(d.writesDone(), 5);
}

void tst_SimDashboard::countFollowsTable()
{
    SimDashboard d;
    QCOMPARE(int(d.count()), 0);
    SimDemoImage::install(d);
    QCOMPARE(int(d.count()), 5);
    // The tool erases the table by writing FF at 0x0000.
    ask(d, "00C0FFFFFFFFFFFF");
    QCOMPARE(int(d.count()), 0);
    d.setCount(9);
    QCOMPARE(ask(d, "FFFF").mid(8, 2), QByteArray("09"));
    d.setCount(-1);
    d.writeMemory(0, QByteArray(23 * 22 + 10, '\x01'));
    QCOMPARE(int(d.count()), 23); // the table ends at 0x01FF
}

void tst_SimDashboard::restartAndUpdateMode()
{
    SimDashboard d;
    d.setRestartSilenceMs(60);
    QCOMPARE(ask(d, "0111"), QByteArray("none"));
    QCOMPARE(d.mode(), SimDashboard::Mode::Restarting);
    QCOMPARE(ask(d, "FFFF"), QByteArray("none"));
    QTRY_COMPARE(d.mode(), SimDashboard::Mode::Running);
    QVERIFY(ask(d, "FFFF").startsWith("FFFF"));

    // Update mode does not end with the restart time (here none at all).
    d.setRestartSilenceMs(0);
    QCOMPARE(ask(d, "0110"), QByteArray("none"));
    QCOMPARE(ask(d, "FFFF"), QByteArray("none"));
    QCOMPARE(d.mode(), SimDashboard::Mode::UpdateMode);
    d.reset();
    QVERIFY(ask(d, "FFFF").startsWith("FFFF"));

    d.setUnknownVersion();
    QCOMPARE(ask(d, "FFFF").mid(4, 2), QByteArray("FF"));
}

void tst_SimDashboard::demoImage()
{
    SimDashboard d;
    SimDemoImage::install(d);
    // A coolant temperature record: pid 5, cid 2024, offset -40, div 1, mul 1, position 0.
    QCOMPARE(d.readMemory(0, 22), QByteArray::fromHex("0500E80700D8FF0100010100") + "CLT     \xB0"
                                                                                    "C");
    // Board record version 1, 18 bytes.
    const QByteArray board = d.readMemory(0x0200, 18);
    QCOMPARE(board.left(3), QByteArray::fromHex("120001"));
    QCOMPARE(d.readMemory(0x0212, 6), QByteArray(6, '\xFF'));
    QVERIFY(d.value(SimDashboard::Odometer) > d.value(SimDashboard::SavedOdometer));
    // Seconds run against the minutes saved at the last service: some time has gone by.
    QVERIFY(d.value(SimDashboard::EngineTime) / 60 > d.value(SimDashboard::SavedEngineTime));
}

void tst_SimDashboard::demoRecordsMatchCatalogue()
{
    // A newcomer's first read must show real catalogue values, not empty positions.
    ParameterCatalogue::EngineTable engines;
    ParameterCatalogue::ItemTable items;
    QCOMPARE(ParameterCatalogue::load(ParameterCatalogue::defaultPath(), engines, items),
             ParameterCatalogue::Loaded);
    SimDashboard d;
    SimDemoImage::install(d);
    const int engine = qFromLittleEndian<quint16>(d.readMemory(0x0200 + 16, 2).constData());
    QVERIFY(engines.contains(engine));
    QSet<int> positions;
    for (int i = 0; i < d.count(); ++i) {
        const QByteArray rec = d.readMemory(i * 22, 22);
        const uchar *p = reinterpret_cast<const uchar *>(rec.constData());
        const quint32 hash = ParameterCatalogue::matchRecord(
            items, qFromLittleEndian<quint16>(p), qFromLittleEndian<quint16>(p + 2),
            qFromLittleEndian<quint16>(p + 7), engine);
        QVERIFY2(hash != 0, rec.mid(12, 6).constData());
        const QJsonObject item = items.value(hash);
        QVERIFY(ParameterCatalogue::appliesToEngine(item, engine));
        QCOMPARE(rec.mid(12, 6).trimmed(), item.value("name").toString().toLatin1().left(6));
        QCOMPARE(qint16(qFromLittleEndian<quint16>(p + 5)),
                 qint16(item.value("offset").toDouble()));
        QCOMPARE(int(p[9]), item.value("scale").toObject().value("mul").toInt());
        QCOMPARE(int(p[10]), 1);
        positions.insert(p[11]);
    }
    QCOMPARE(positions.size(), int(d.count())); // one value per display position
}

void tst_SimDashboard::stateFileRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("state.json");
    SimDashboard a(4);
    SimDemoImage::install(a);
    a.writeMemory(0x0FFA, QByteArray::fromHex("0102030405060708"));
    QString error;
    QVERIFY2(SimStateFile::save(path, a, &error), qPrintable(error));

    SimDashboard b(4);
    QVERIFY2(SimStateFile::load(path, b, &error), qPrintable(error));
    QCOMPARE(b.memory(), a.memory());
    QCOMPARE(b.value(SimDashboard::SavedOdometer), a.value(SimDashboard::SavedOdometer));
    QVERIFY(!b.changedSinceMark());

    // Another memory size: cut, or padded with erased bytes.
    SimDashboard small(2);
    QVERIFY(SimStateFile::load(path, small, &error));
    QCOMPARE(small.memory(), a.memory().left(2048));
    SimDashboard large(8);
    QVERIFY(SimStateFile::load(path, large, &error));
    QCOMPARE(large.memory(), a.memory() + QByteArray(4096, '\xFF'));
}

void tst_SimDashboard::badStateFileChangesNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not json") << QByteArray("hello");
    QTest::newRow("other format") << QByteArray("{\"format\":\"x\",\"version\":1}");
    QTest::newRow("newer version") << QByteArray("{\"format\":\"kx4-sim-state\",\"version\":2}");
    QTest::newRow("bad base64") << QByteArray(
        "{\"format\":\"kx4-sim-state\",\"version\":1,\"memory\":\"!!\",\"values\":"
        "{\"engineTime\":1,\"savedEngineTime\":1,\"odometer\":1,\"savedOdometer\":1}}");
    QTest::newRow("missing value")
        << QByteArray("{\"format\":\"kx4-sim-state\",\"version\":1,\"memory\":\"AAAA\",\"values\":"
                      "{\"engineTime\":1,\"savedEngineTime\":1,\"odometer\":1}}");
    QTest::newRow("negative value") << QByteArray(
        "{\"format\":\"kx4-sim-state\",\"version\":1,\"memory\":\"AAAA\",\"values\":"
        "{\"engineTime\":-1,\"savedEngineTime\":1,\"odometer\":1,\"savedOdometer\":1}}");
}

void tst_SimDashboard::badStateFileChangesNothing()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath("state.json");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    SimDashboard d(1);
    SimDemoImage::install(d);
    const QByteArray before = d.memory();
    QString error;
    QVERIFY(!SimStateFile::load(path, d, &error));
    QVERIFY(error.contains(path));
    QCOMPARE(d.memory(), before);
    QCOMPARE(d.value(SimDashboard::Odometer), 123456u);
    QVERIFY(!SimStateFile::load(dir.filePath("missing.json"), d, &error));
}

QTEST_GUILESS_MAIN(tst_SimDashboard)
#include "tst_simdashboard.moc"
