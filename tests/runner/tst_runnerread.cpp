// Connecting, discovery and reading the configuration, end to end through the pty against
// the simulated adapter and dashboard.

#include "config/BoardConfig.h"
#include "tests/common/RunnerRecorder.h"
#include "tests/common/SimSession.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QList<QByteArray> tableReads(int count)
{
    QList<QByteArray> reads;
    for (int a = 0; a < count * 22; a += 6)
        reads.append(SimSession::blockRead(a));
    return reads;
}

const QList<QByteArray> boardReads{SimSession::blockRead(0x200), SimSession::blockRead(0x206),
                                   SimSession::blockRead(0x20C)};
const QList<QByteArray> discoveryFrames{hex("FFFF"), hex("FE7F"), hex("FD7F"), hex("FC7F"),
                                        hex("FB7F")};

} // namespace

class tst_RunnerRead : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void discoveryAndRead();
    void tableChunks_data();
    void tableChunks();
    void unknownVersionEndsDiscovery();
    void boardRecord_data();
    void boardRecord();
    void positionsFollowDisplayType_data();
    void positionsFollowDisplayType();
    void recordsWithoutCatalogueItem();
    void matchingIsDeterministic_data();
    void matchingIsDeterministic();
    void connectionBookkeeping();
    void failedAttemptsSayWhy_data();
    void failedAttemptsSayWhy();
    void availablePortsLeavesOutCom1Only();

private:
    void presetTable(const QList<QByteArray> &records, int count = -1);

    std::unique_ptr<SimSession> s;
};

void tst_RunnerRead::init()
{
    s = std::make_unique<SimSession>();
    QVERIFY2(s->start(), qPrintable(s->errorString()));
    s->dashboard().eraseMemory();
    s->dashboard().setDisp(0);
    s->setMemory(0x200, SimSession::boardRecord(6500, 2));
    s->runner().loadDefaultConfig();
}

void tst_RunnerRead::cleanup()
{
    s.reset();
}

void tst_RunnerRead::presetTable(const QList<QByteArray> &records, int count)
{
    QByteArray table;
    for (const QByteArray &r : records)
        table += r;
    s->setMemory(0, table);
    s->dashboard().setCount(count < 0 ? records.size() : count);
}

void tst_RunnerRead::discoveryAndRead()
{
    const QJsonObject rpm = s->catalogueItem("RPM");
    const QJsonObject clt = s->catalogueItem("CLT");
    presetTable({SimSession::record(12, 2024, 4, 0), SimSession::record(5, 2024, 1, 4)});
    s->dashboard().setReserved(7, 9);
    s->dashboard().setValue(SimDashboard::SavedOdometer, 120000);
    s->dashboard().setValue(SimDashboard::Odometer, 123456);
    s->dashboard().setValue(SimDashboard::SavedEngineTime, 3000);
    s->dashboard().setValue(SimDashboard::EngineTime, 3456);

    RunnerRecorder rec(&s->runner());
    QVERIFY(s->connectRunner());

    const QStringList expected{
        "connectedToHost",
        "stateChanged:Connecting",
        "stateChanged:Reading",
        "deviceInfo",
        "deviceParam:PP_ODO_Saved",
        "deviceParam:PP_ODO_Current",
        "deviceParam:PP_TIM_Saved",
        "deviceParam:PP_TIM_Current",
        "stateChanged:Reading",
        "progress",
        "progress",
        "progress",
        "progress",
        "progress",
        "progress",
        "progress",
        "progress",
        "progress",
        "alert:Parsed the device config",
        "deviceConfig",
        "progress",
        "boardConfig",
        "stateChanged:Idle",
    };
    QCOMPARE(rec.names(), expected);

    const QVariantMap info = rec.last("deviceInfo").toMap();
    QCOMPARE(info.value("version").toInt(), 1);
    QCOMPARE(info.value("pages").toInt(), 16);
    QCOMPARE(info.value("count").toInt(), 2);
    QCOMPARE(info.value("disp").toInt(), 0);
    QCOMPARE(info.value("r4").toInt(), 7);
    QCOMPARE(info.value("r5").toInt(), 9);

    const QVariant saved = rec.last("deviceParam:PP_ODO_Saved");
    QCOMPARE(saved.userType(), int(QMetaType::UInt));
    QCOMPARE(saved.toUInt(), 120000u);
    QCOMPARE(rec.last("deviceParam:PP_ODO_Current").toUInt(), 123456u);
    QCOMPARE(rec.last("deviceParam:PP_TIM_Saved").toUInt(), 3000u);
    QCOMPARE(rec.last("deviceParam:PP_TIM_Current").toUInt(), 3456u);

    // 44 bytes in 8 chunks: 6/44 ... 42/44, then 48/44 held at 1; the board gets none.
    QList<double> progress;
    progress << 0;
    for (int a = 6; a <= 42; a += 6)
        progress << a / 44.0;
    progress << 1 << 0;
    QCOMPARE(rec.progressValues(), progress);

    QCOMPARE(s->hostFrames(), discoveryFrames + tableReads(2) + boardReads);

    const QVariantList config = rec.last("deviceConfig").toList();
    QCOMPARE(config.size(), 6);
    for (int i = 0; i < 6; ++i) {
        const QVariantMap entry = config.at(i).toMap();
        QCOMPARE(entry.value("active").toBool(), i == 0 || i == 4);
    }
    QCOMPARE(config.at(0).toMap().value("hid").toUInt(), SimSession::hashOf(rpm));
    QCOMPARE(config.at(4).toMap().value("hid").toUInt(), SimSession::hashOf(clt));
    QCOMPARE(config.at(0).toMap().value("descr").toString(),
             s->runner().describeParam(SimSession::hashOf(rpm)));
    QCOMPARE(config.at(1).toMap().value("hid").toUInt(), 0u);
    QCOMPARE(config.at(1).toMap().value("descr").toString(), QString());

    const QVariantMap board = rec.last("boardConfig").toMap();
    QCOMPARE(board.size(), 10);
    QCOMPARE(board.value("version").toInt(), 1);
    QCOMPARE(board.value("rpmlim").toInt(), 6500);
    QCOMPARE(board.value("adelay").toInt(), 650);
    QCOMPARE(board.value("engidx").toInt(), 2);
    QCOMPARE(s->runner().getState(), CFGRunner::Idle);
}

void tst_RunnerRead::tableChunks_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("chunks");
    QTest::addColumn<double>("lastButOneProgress");

    // 66 bytes end exactly on a chunk; 44 leave four bytes of the last chunk unused.
    QTest::newRow("count 2") << 2 << 8 << 42 / 44.0;
    QTest::newRow("count 3") << 3 << 11 << 60 / 66.0;
    QTest::newRow("count 1") << 1 << 4 << 18 / 22.0;
}

void tst_RunnerRead::tableChunks()
{
    QFETCH(int, count);
    QFETCH(int, chunks);
    QFETCH(double, lastButOneProgress);

    QList<QByteArray> records;
    for (int i = 0; i < count; ++i)
        records << SimSession::record(12, 2024, 4, quint8(i));
    presetTable(records);
    QVERIFY(s->connectRunner());

    RunnerRecorder rec(&s->runner());
    s->clearFrames();
    s->runner().requestConfig();
    QVERIFY(s->waitForIdle());

    QCOMPARE(s->hostFrames(), tableReads(count) + boardReads);
    QCOMPARE(tableReads(count).size(), chunks);
    const QList<double> progress = rec.progressValues();
    QCOMPARE(progress.size(), chunks + 2);
    QCOMPARE(progress.at(chunks - 1), lastButOneProgress);
    QCOMPARE(progress.at(chunks), 1.0);
    QCOMPARE(rec.names({"stateChanged"}),
             QStringList({"stateChanged:Reading", "stateChanged:Idle"}));
}

void tst_RunnerRead::unknownVersionEndsDiscovery()
{
    presetTable({SimSession::record(12, 2024, 4, 0)});
    s->dashboard().setUnknownVersion();
    RunnerRecorder rec(&s->runner());
    QVERIFY(s->connectRunner());

    QCOMPARE(s->runner().getState(), CFGRunner::Idle);
    QCOMPARE(rec.names(),
             QStringList({"connectedToHost", "stateChanged:Connecting", "stateChanged:Reading"}));
    QCOMPARE(s->hostFrames(), QList<QByteArray>{hex("FFFF")});

    // Nothing known about the device: a read request has nothing to read.
    s->runner().requestConfig();
    QVERIFY(!s->waitForState(CFGRunner::Reading, 300));
    QCOMPARE(s->hostFrames().size(), 1);
}

void tst_RunnerRead::boardRecord_data()
{
    QTest::addColumn<QByteArray>("area");
    QTest::addColumn<QVariantMap>("published");
    QTest::addColumn<int>("reads");
    QTest::addColumn<QByteArray>("writtenBack");

    const QByteArray blank(18, '\xFF');
    // A blank area stands for the default settings, and the next write stores them.
    QTest::newRow("blank") << blank << defaultBoardConfig << 1
                           << hex("120001010000000019007017581B30750000");
    const QByteArray valid = SimSession::boardRecord(7200, 0);
    QVariantMap validMap = BoardConfig::fromBytes(valid);
    QTest::newRow("version 1") << valid << validMap << 3 << valid;
    // Unknown versions and sizes are carried back unchanged, and published as nothing.
    QByteArray v2 = valid;
    v2[2] = 2;
    QTest::newRow("version 2") << v2 << QVariantMap() << 3 << v2;
    const QByteArray longer = hex("1600010100008A02010070175817307500000102AABB");
    QTest::newRow("22 bytes") << longer << QVariantMap() << 4 << longer;
    const QByteArray shorter = hex("0400017F");
    QTest::newRow("4 bytes") << shorter << QVariantMap() << 1 << shorter;
}

void tst_RunnerRead::boardRecord()
{
    QFETCH(QByteArray, area);
    QFETCH(QVariantMap, published);
    QFETCH(int, reads);
    QFETCH(QByteArray, writtenBack);

    const QJsonObject rpm = s->catalogueItem("RPM");
    presetTable({SimSession::record(12, 2024, 4, 0)});
    s->setMemory(0x200, QByteArray(64, '\xFF'));
    s->setMemory(0x200, area);
    RunnerRecorder rec(&s->runner());
    QVERIFY(s->connectRunner());

    QCOMPARE(rec.count("boardConfig"), 1);
    QCOMPARE(rec.last("boardConfig").toMap(), published);
    QList<QByteArray> expectedReads;
    for (int i = 0; i < reads; ++i)
        expectedReads << SimSession::blockRead(0x200 + 6 * i);
    QCOMPARE(s->hostFrames().mid(5 + 4), expectedReads);

    // The record goes back as read (or as the defaults), whatever board map the page sends,
    // unless it was a valid version-1 record.
    s->runner().updateConfig(s->configList(6, {{0, rpm}}),
                             published.isEmpty() ? QVariantMap{{"rpmlim", 1}} : published);
    QVERIFY(s->waitForState(CFGRunner::Idle));
    QCOMPARE(s->memory(0x200, writtenBack.size()), writtenBack);
}

void tst_RunnerRead::positionsFollowDisplayType_data()
{
    QTest::addColumn<int>("disp");
    QTest::addColumn<int>("positions");

    QTest::newRow("double display") << 1 << 13;
    QTest::newRow("single display") << 0 << 6;
    QTest::newRow("other value") << 2 << 6;
}

void tst_RunnerRead::positionsFollowDisplayType()
{
    QFETCH(int, disp);
    QFETCH(int, positions);

    s->dashboard().setDisp(quint8(disp));
    presetTable({SimSession::record(12, 2024, 4, 5), SimSession::record(13, 2024, 1, 6),
                 SimSession::record(5, 2024, 1, 12)});
    RunnerRecorder rec(&s->runner());
    QVERIFY(s->connectRunner());

    const QVariantList config = rec.last("deviceConfig").toList();
    QCOMPARE(config.size(), positions);
    int active = 0;
    for (const QVariant &entry : config)
        active += entry.toMap().value("active").toBool() ? 1 : 0;
    // Records beyond the last position are ignored.
    QCOMPARE(active, positions == 13 ? 3 : 1);
    QCOMPARE(config.at(5).toMap().value("hid").toUInt(),
             SimSession::hashOf(s->catalogueItem("RPM")));
}

void tst_RunnerRead::recordsWithoutCatalogueItem()
{
    // Records the catalogue does not know (pid, or the right pid with another divisor),
    // records not placed on the display, a later record replacing an earlier one at the
    // same position, and a table of erased memory.
    presetTable({SimSession::record(12, 2024, 4, 0), SimSession::record(999, 2024, 4, 1),
                 SimSession::record(12, 2024, 8, 2), SimSession::record(12, 2024, 4, 3, 0),
                 SimSession::record(13, 2024, 1, 0), QByteArray(22, '\xFF')});
    RunnerRecorder rec(&s->runner());
    QVERIFY(s->connectRunner());

    QVERIFY(rec.alerts().contains("Parsed the device config"));
    const QVariantList config = rec.last("deviceConfig").toList();
    QCOMPARE(config.size(), 6);
    QCOMPARE(config.at(0).toMap().value("hid").toUInt(),
             SimSession::hashOf(s->catalogueItem("SPEED")));
    for (int i = 1; i < 6; ++i)
        QVERIFY2(!config.at(i).toMap().value("active").toBool(), qPrintable(QString::number(i)));
}

void tst_RunnerRead::matchingIsDeterministic_data()
{
    QTest::addColumn<int>("engine");
    QTest::addColumn<int>("recordCid");
    QTest::addColumn<int>("expectedCid");

    // Two GEAR items share pid 164 and divisor 16: cid 2025 (engines 0-2) and cid 2024
    // (engine 3). The record's cid decides first, then the selected engine.
    QTest::newRow("cid 2024, engine 1") << 1 << 2024 << 2024;
    QTest::newRow("cid 2025, engine 3") << 3 << 2025 << 2025;
    QTest::newRow("other cid, engine 3") << 3 << 2030 << 2024;
    QTest::newRow("other cid, engine 1") << 1 << 2030 << 2025;
    QTest::newRow("other cid, engine 0") << 0 << 2030 << 2025;
    // With no engine selected neither is offered: the lower hash wins.
    QTest::newRow("other cid, no engine") << -1 << 2030 << -1;
}

void tst_RunnerRead::matchingIsDeterministic()
{
    QFETCH(int, engine);
    QFETCH(int, recordCid);
    QFETCH(int, expectedCid);

    const quint32 h2024 = SimSession::hashOf(s->catalogueItem("GEAR", 2024));
    const quint32 h2025 = SimSession::hashOf(s->catalogueItem("GEAR", 2025));
    QVERIFY(h2024 && h2025);
    const quint32 expected = expectedCid == 2024   ? h2024
                             : expectedCid == 2025 ? h2025
                                                   : qMin(h2024, h2025);

    s->runner().setEngine(engine, QVariantList());
    presetTable({SimSession::record(164, quint16(recordCid), 16, 1)});
    RunnerRecorder rec(&s->runner());
    QVERIFY(s->connectRunner());
    QCOMPARE(rec.last("deviceConfig").toList().at(1).toMap().value("hid").toUInt(), expected);
}

void tst_RunnerRead::connectionBookkeeping()
{
    CFGRunner &runner = s->runner();
    RunnerRecorder rec(&runner);

    // Disconnecting while not connected still reports the disconnection, without a state
    // change; a port that cannot be opened changes no state either, but is reported.
    runner.disconnectFromHost();
    QVERIFY(!runner.connectToHost("/nonexistent/port", 38400, false));
    QCOMPARE(rec.names(), QStringList({"disconnectedFromHost", "connectionFailed",
                                       "disconnectedFromHost"}));
    QCOMPARE(runner.getState(), CFGRunner::NotConnected);

    presetTable({SimSession::record(12, 2024, 4, 0)});
    QVERIFY(s->connectRunner(38400, true));
    QSettings settings;
    QCOMPARE(settings.value("port").toString(), s->port());
    QCOMPARE(settings.value("baud").toInt(), 38400);
    // The extended adapter kind selects its protocol by "st" commands.
    QVERIFY(s->sim().commands().contains("st p33"));

    rec.clear();
    runner.disconnectFromHost();
    QCOMPARE(rec.names(), QStringList({"stateChanged:NotConnected", "disconnectedFromHost"}));

    // A port failing to open after a session was up ends at NotConnected, announced.
    QVERIFY(s->connectRunner());
    rec.clear();
    QVERIFY(!runner.connectToHost("/nonexistent/port", 38400, false));
    QCOMPARE(rec.names({"stateChanged"}), QStringList({"stateChanged:NotConnected"}));
}

void tst_RunnerRead::failedAttemptsSayWhy_data()
{
    QTest::addColumn<QString>("port"); // "sim": the simulator's, "file": a plain file
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("adapterBaud"); // the simulated adapter's rate
    QTest::addColumn<bool>("silentDashboard");
    QTest::addColumn<QString>("reason"); // %1: the port; a trailing "*" matches any rest

    QTest::newRow("no such port") << "/nonexistent/port" << 38400 << 38400 << false
                                  << "Cannot open %1: there is no such port";
    QTest::newRow("not a serial port") << "file" << 38400 << 38400 << false
                                       << "Cannot open %1: *";
    // Nothing answers the initialisation at the chosen rate: the attempt times out.
    QTest::newRow("no adapter at the set rate")
        << "sim" << 9600 << 38400 << false
        << "No adapter answered on %1 at 9600 baud. It may still be at a faster rate from an "
           "earlier session: the rate \"Automatic\" finds it.";
    // Left at a fast transfer's rate by a session that was killed.
    QTest::newRow("adapter still at a faster rate")
        << "sim" << 38400 << 500000 << false
        << "No adapter answered on %1 at 38400 baud. It may still be at a faster rate from an "
           "earlier session: the rate \"Automatic\" finds it.";
    // 4800 is not among the rates tried.
    QTest::newRow("no adapter at any rate") << "sim" << 0 << 4800 << false
                                            << "No adapter answered on %1 at any baud rate";
    QTest::newRow("no dashboard") << "sim" << 38400 << 38400 << true
                                  << "The adapter on %1 answered, but no dashboard did: *";
}

// Every attempt that reaches no dashboard ends with one reason for the user and the
// session closed, never with the controller left connecting.
void tst_RunnerRead::failedAttemptsSayWhy()
{
    QFETCH(QString, port);
    QFETCH(int, baud);
    QFETCH(int, adapterBaud);
    QFETCH(bool, silentDashboard);
    QFETCH(QString, reason);

    QTemporaryFile plain;
    if (port == "sim") {
        port = s->port();
    } else if (port == "file") {
        QVERIFY(plain.open());
        port = plain.fileName();
        qputenv("KX4_EXTRA_PORTS", (s->port() + ":" + port).toLocal8Bit());
    }
    s->sim().setBaudRate(adapterBaud);
    if (silentDashboard)
        s->sim().faults().addFault(SimFault::DropReply, 1, 0);

    CFGRunner &runner = s->runner();
    RunnerRecorder rec(&runner);
    runner.connectToHost(port, baud, false);
    QVERIFY(SimSession::waitUntil([&] { return rec.count("disconnectedFromHost") > 0; },
                                  CFGRunner::ConnectTimeoutMs + 20000));

    QCOMPARE(rec.count("connectionFailed"), 1);
    const QString said = rec.last("connectionFailed").toString();
    const QString expected = reason.arg(port);
    if (expected.endsWith('*'))
        QVERIFY2(said.startsWith(expected.chopped(1)) && said.size() > expected.size(),
                 qPrintable(said));
    else
        QCOMPARE(said, expected);
    QCOMPARE(rec.names({"connectionFailed", "disconnectedFromHost"}),
             QStringList({"connectionFailed", "disconnectedFromHost"}));
    QVERIFY(rec.alerts().isEmpty());
    QCOMPARE(runner.getState(), CFGRunner::NotConnected);
    // Nothing of the failed attempt is left to fire later.
    QTest::qWait(100);
    QCOMPARE(rec.count("connectionFailed"), 1);
}

void tst_RunnerRead::availablePortsLeavesOutCom1Only()
{
    qputenv("KX4_EXTRA_PORTS", "COM1:COM3:com1:COM10");
    const QStringList ports = s->runner().availablePorts();
    QVERIFY(!ports.contains("COM1"));
    QVERIFY(ports.contains("COM3"));
    QVERIFY(ports.contains("com1"));
    QVERIFY(ports.contains("COM10"));
    QCOMPARE(ports.indexOf("COM3") < ports.indexOf("com1"), true);
}

QTEST_MAIN(tst_RunnerRead)
#include "tst_runnerread.moc"
