// Writing the configuration, erasing the table, the maintenance points and the engine
// selection, end to end through the pty; the dashboard's memory is checked afterwards.

#include "tests/common/RunnerRecorder.h"
#include "tests/common/SimSession.h"

#include "config/WriteHistory.h"
#include "models/ParameterListModel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// Engine speed at position 0 and coolant temperature at position 4, as the dashboard keeps
// them: pid, cid, sign, offset, div, mul, num, pos, name (6, left), units (4, right).
const QByteArray rpmRecord = hex("0C00E807000000040001010052504D2020202072706D");
const QByteArray cltRecord = hex("0500E80700D8FF0100010104434C542020202020B043");

} // namespace

class tst_RunnerWrite : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writeTwoEntries_data();
    void writeTwoEntries();
    void writeWithoutActiveEntry();
    void writeRefusedOutsideIdle();
    void resetConfig();
    void maintenancePoints();
    void maintenanceReset();
    void engineSelection();
    void engineByName();
    void scriptedSessionWithDetection();
    void operationResults_data();
    void operationResults();
    void differenceAndHistoryAroundWrites();

private:
    std::unique_ptr<SimSession> s;
};

void tst_RunnerWrite::init()
{
    s = std::make_unique<SimSession>();
    QVERIFY2(s->start(), qPrintable(s->errorString()));
    s->dashboard().eraseMemory();
    s->dashboard().setDisp(0);
    s->dashboard().setCount(1);
    s->setMemory(0, SimSession::record(13, 2024, 1, 2));
    s->setMemory(0x200, SimSession::boardRecord(6500, 0));
    s->runner().loadDefaultConfig();
}

void tst_RunnerWrite::cleanup()
{
    s.reset();
}

void tst_RunnerWrite::writeTwoEntries_data()
{
    QTest::addColumn<int>("ackByte");
    // The dashboard acknowledges with 30 00 or 30 01; both mean the same.
    QTest::newRow("ack 30 00") << 0;
    QTest::newRow("ack 30 01") << 1;
}

void tst_RunnerWrite::writeTwoEntries()
{
    QFETCH(int, ackByte);
    s->dashboard().setAckByte(quint8(ackByte));
    QVERIFY(s->connectRunner());
    CFGRunner &runner = s->runner();
    runner.setEngine(2, QVariantList());

    const QVariantList config =
        s->configList(6, {{0, s->catalogueItem("RPM")}, {4, s->catalogueItem("CLT")}});
    QVariantMap board{{"version", 1},   {"rpm", 2},         {"speed", 1},
                      {"aux", 3},       {"adelay", 700},    {"rflags", 0x10005},
                      {"rpmlim", 7000}, {"warnodo", 10000}, {"warntime", 20000},
                      {"engidx", 0}};

    RunnerRecorder rec(&runner);
    s->clearFrames();
    runner.updateConfig(config, board);
    QVERIFY(s->waitForState(CFGRunner::Idle));

    // 44 bytes in 8 chunks, the last one padded with FF; then the board record in 3.
    const QByteArray table = rpmRecord + cltRecord;
    QList<QByteArray> expected;
    for (int a = 0; a < 44; a += 6)
        expected << SimSession::blockWrite(a, table.mid(a, 6));
    // "engidx" is always the selected engine; values are cut to their field width.
    const QByteArray boardRecord = hex("120001020103BC020500581B1027204E0200");
    for (int a = 0; a < 18; a += 6)
        expected << SimSession::blockWrite(0x200 + a, boardRecord.mid(a, 6));
    QCOMPARE(s->hostFrames(), expected);
    QCOMPARE(expected.at(7), hex("2AC0B043FFFFFFFF"));

    QCOMPARE(s->memory(0, 48), table + hex("FFFFFFFF"));
    QCOMPARE(s->memory(0x200, 18), boardRecord);

    QList<double> progress{0};
    for (int c = 6; c <= 42; c += 6)
        progress << c / 44.0;
    progress << 1 << 6 / 18.0 << 12 / 18.0 << 1;
    QCOMPARE(rec.progressValues(), progress);
    QCOMPARE(rec.names({"stateChanged"}),
             QStringList({"stateChanged:Writing", "stateChanged:Idle"}));

    // 200 ms later the configuration is read back as the dashboard now holds it.
    rec.clear();
    s->clearFrames();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(s->waitForState(CFGRunner::Reading, 2000));
    QVERIFY(clock.elapsed() >= 150);
    QVERIFY(s->waitForIdle());
    QCOMPARE(s->hostFrames().size(), 8 + 3);
    const QVariantList reread = rec.last("deviceConfig").toList();
    QCOMPARE(reread.size(), 6);
    QCOMPARE(reread.at(0).toMap().value("hid"), config.at(0).toMap().value("hid"));
    QCOMPARE(reread.at(4).toMap().value("hid"), config.at(4).toMap().value("hid"));
    QCOMPARE(rec.last("boardConfig").toMap().value("rflags").toInt(), 5);
    QCOMPARE(rec.last("boardConfig").toMap().value("engidx").toInt(), 2);
}

void tst_RunnerWrite::writeWithoutActiveEntry()
{
    QVERIFY(s->connectRunner());
    CFGRunner &runner = s->runner();
    RunnerRecorder rec(&runner);
    s->clearFrames();

    // No entry: one block of six FF bytes at 0, then the board record as it was read (the
    // board map given is empty).
    runner.updateConfig(s->configList(6, {}), QVariantMap());
    QVERIFY(s->waitForState(CFGRunner::Idle));
    const QByteArray board = SimSession::boardRecord(6500, 0);
    QCOMPARE(s->hostFrames(), QList<QByteArray>({hex("00C0FFFFFFFFFFFF"),
                                                 SimSession::blockWrite(0x200, board.mid(0, 6)),
                                                 SimSession::blockWrite(0x206, board.mid(6, 6)),
                                                 SimSession::blockWrite(0x20C, board.mid(12, 6))}));
    QCOMPARE(rec.progressValues().mid(0, 2), QList<double>({0, 1}));
    QCOMPARE(s->memory(0, 6), QByteArray(6, '\xFF'));

    // The re-read finds no record to read: count is now 0.
    QVERIFY(!s->waitForState(CFGRunner::Reading, 500));
}

void tst_RunnerWrite::writeRefusedOutsideIdle()
{
    CFGRunner &runner = s->runner();
    RunnerRecorder rec(&runner);
    const QVariantList config = s->configList(6, {{0, s->catalogueItem("RPM")}});

    // Not connected: nothing happens at all.
    runner.updateConfig(config, QVariantMap());
    QCOMPARE(runner.getState(), CFGRunner::NotConnected);
    QVERIFY(rec.names().isEmpty());

    // While a read runs: refused with a message, the read goes on undisturbed.
    QVERIFY(s->connectRunner());
    const QByteArray before = s->memory(0, 64);
    rec.clear();
    runner.requestConfig();
    QCOMPARE(runner.getState(), CFGRunner::Reading);
    runner.updateConfig(config, QVariantMap());
    QCOMPARE(runner.getState(), CFGRunner::Reading);
    QCOMPARE(rec.alerts(), QStringList({"Another operation is in progress"}));
    QVERIFY(s->waitForIdle());
    QCOMPARE(rec.count("deviceConfig"), 1);
    QCOMPARE(s->memory(0, 64), before);

    // 24 records would run past 0x01FF into the board record.
    QMap<int, QJsonObject> many;
    for (int i = 0; i < 24; ++i)
        many.insert(i, s->catalogueItem("RPM"));
    rec.clear();
    s->clearFrames();
    runner.updateConfig(s->configList(24, many), QVariantMap());
    QCOMPARE(rec.names(), QStringList({"alert:The configuration does not fit into the device"}));
    QCOMPARE(runner.getState(), CFGRunner::Idle);
    runner.updateConfig(s->configList(23, many), QVariantMap());
    QVERIFY(s->waitForState(CFGRunner::Idle));
    QCOMPARE(s->hostFrames().size(), 85 + 3); // 506 bytes, then the board record
    QCOMPARE(s->memory(0x200, 18), SimSession::boardRecord(6500, 0));
}

void tst_RunnerWrite::resetConfig()
{
    CFGRunner &runner = s->runner();
    runner.resetConfig(); // not connected: nothing
    QCOMPARE(runner.getState(), CFGRunner::NotConnected);

    QVERIFY(s->connectRunner());
    RunnerRecorder rec(&runner);
    s->clearFrames();
    runner.resetConfig();
    QVERIFY(s->waitForState(CFGRunner::Idle));
    QCOMPARE(s->hostFrames(), QList<QByteArray>{hex("00C0FFFFFFFFFFFF")});
    QCOMPARE(s->memory(0, 8), hex("FFFFFFFFFFFF0001"));

    // Then the table is read again with the old count.
    QVERIFY(s->waitForState(CFGRunner::Reading, 2000));
    QVERIFY(s->waitForIdle());
    QCOMPARE(rec.names({"stateChanged"}),
             QStringList({"stateChanged:Writing", "stateChanged:Idle", "stateChanged:Reading",
                          "stateChanged:Idle"}));
    const QVariantList config = rec.last("deviceConfig").toList();
    QCOMPARE(config.size(), 6);
    for (const QVariant &entry : config)
        QVERIFY(!entry.toMap().value("active").toBool());

    // Refused silently while another operation runs.
    runner.requestConfig();
    s->clearFrames();
    runner.resetConfig();
    QVERIFY(s->waitForIdle());
    for (const QByteArray &frame : s->hostFrames())
        QVERIFY(frame.at(1) != char(0xC0));
}

void tst_RunnerWrite::maintenancePoints()
{
    QVERIFY(s->connectRunner());
    CFGRunner &runner = s->runner();
    RunnerRecorder rec(&runner);
    s->clearFrames();

    runner.updateEeeprom(12345, 678);
    QCOMPARE(runner.getState(), CFGRunner::GenWrite);
    QVERIFY(s->waitForIdle());
    QCOMPARE(s->hostFrames(),
             QList<QByteArray>({hex("FEFF39300000FFFF"), hex("FCFFA6020000FFFF")}));
    QCOMPARE(s->dashboard().value(SimDashboard::SavedOdometer), 12345u);
    QCOMPARE(s->dashboard().value(SimDashboard::SavedEngineTime), 678u);
    QCOMPARE(rec.names(), QStringList({"stateChanged:GenWrite", "stateChanged:Idle"}));

    // Refused while a read runs, with a message.
    runner.requestConfig();
    rec.clear();
    runner.updateEeeprom(1, 2);
    QCOMPARE(rec.alerts(), QStringList({"Another operation is in progress"}));
    QVERIFY(s->waitForIdle());
    QCOMPARE(s->dashboard().value(SimDashboard::SavedOdometer), 12345u);
}

// A maintenance reset starts the interval at the current counters (0 would make the whole
// odometer due) and reads the four values back, so the interface shows the new state.
void tst_RunnerWrite::maintenanceReset()
{
    SimDashboard &dash = s->dashboard();
    dash.setValue(SimDashboard::SavedOdometer, 12000);
    dash.setValue(SimDashboard::Odometer, 15250);
    dash.setValue(SimDashboard::SavedEngineTime, 2400);
    dash.setValue(SimDashboard::EngineTime, 90000);
    CFGRunner &runner = s->runner();

    // Not connected: nothing to reset.
    RunnerRecorder idle(&runner);
    runner.resetMaintenance();
    QVERIFY(idle.names().isEmpty());

    QVERIFY(s->connectRunner());
    RunnerRecorder rec(&runner);
    s->clearFrames();
    runner.resetMaintenance();
    QVERIFY(s->waitForIdle());
    QCOMPARE(dash.value(SimDashboard::SavedOdometer), 15250u);
    // Engine time in seconds, its saved point in minutes.
    QCOMPARE(dash.value(SimDashboard::SavedEngineTime), 1500u);
    QCOMPARE(dash.value(SimDashboard::Odometer), 15250u);
    QCOMPARE(s->hostFrames(),
             QList<QByteArray>({hex("FEFF923B0000FFFF"), hex("FCFFDC050000FFFF"), hex("FE7F"),
                                hex("FD7F"), hex("FC7F"), hex("FB7F")}));
    QCOMPARE(rec.names(),
             QStringList({"stateChanged:GenWrite", "deviceParam:PP_ODO_Saved",
                          "deviceParam:PP_ODO_Current", "deviceParam:PP_TIM_Saved",
                          "deviceParam:PP_TIM_Current", "stateChanged:Idle"}));
    QCOMPARE(rec.last("deviceParam:PP_ODO_Saved").toUInt(), 15250u);
    QCOMPARE(rec.last("deviceParam:PP_TIM_Saved").toUInt(), 1500u);

    // A plain maintenance write afterwards reads nothing back.
    s->clearFrames();
    runner.updateEeeprom(1, 2);
    QVERIFY(s->waitForIdle());
    QCOMPARE(s->hostFrames().size(), 2);
}

void tst_RunnerWrite::engineSelection()
{
    CFGRunner &runner = s->runner();
    const QJsonObject cat = s->catalogueItem("CAT"); // not offered for engine 3
    QVariantList config =
        s->configList(6, {{0, s->catalogueItem("RPM")}, {2, cat}, {3, s->catalogueItem("SPEED")}});
    QVERIFY(!cat.value("engines").toArray().contains(3));

    RunnerRecorder rec(&runner);
    runner.setEngine(1, config);
    QVERIFY(rec.names().isEmpty()); // everything still offered: nothing to announce

    runner.setEngine(3, config);
    QCOMPARE(rec.names(), QStringList({"deviceConfig"}));
    // Its position is emptied; the entries after it stay where they are shown.
    QVariantList expected = config;
    expected[2] = s->configList(6, {}).at(2);
    QCOMPARE(rec.last("deviceConfig").toList(), expected);
    QCOMPARE(runner.paramListModel()->rowCount(), runner.parameterList().size());
    for (const QVariant &v : runner.parameterList())
        QVERIFY(v.toJsonObject().value("engines").toArray().contains(3));

    // A negative index offers nothing and takes every active entry away.
    rec.clear();
    runner.setEngine(-1, config);
    QCOMPARE(runner.paramListModel()->rowCount(), 0);
    QCOMPARE(rec.last("deviceConfig").toList(), s->configList(6, {}));
}

void tst_RunnerWrite::engineByName()
{
    CFGRunner &runner = s->runner();
    const QStringList names = runner.engines();
    QVERIFY(names.size() >= 4);
    const QVariantList config = s->configList(6, {{1, s->catalogueItem("CAT")}});

    RunnerRecorder rec(&runner);
    runner.setEngineByName(names.at(3), config);
    QCOMPARE(rec.last("deviceConfig").toList(), s->configList(6, {}));

    // An unknown name selects engine 0, where everything is offered.
    rec.clear();
    runner.setEngineByName("no such engine", config);
    QVERIFY(rec.names().isEmpty());
    QSet<uint> ids;
    runner.parameterList(&ids);
    QVERIFY(ids.contains(SimSession::hashOf(s->catalogueItem("CAT"))));
    QVERIFY(ids.contains(SimSession::hashOf(s->catalogueItem("GEAR", 2025))));
    QVERIFY(!ids.contains(SimSession::hashOf(s->catalogueItem("GEAR", 2024))));
}

// The whole road of a configuration change: connect with "Automatic" baud-rate detection,
// read what the dashboard holds, change it, write it, and find it in the dashboard.
void tst_RunnerWrite::scriptedSessionWithDetection()
{
    RunnerRecorder rec(&s->runner());
    // "Connect" pressed again while the rates are probed: refused, and the first
    // connection goes on undisturbed.
    int secondConnect = -1;
    QTimer::singleShot(
        100, this, [&] { secondConnect = s->runner().connectToHost(s->port(), 0, false) ? 1 : 0; });
    QVERIFY(s->connectRunner(0, false, 30000));
    QCOMPARE(secondConnect, 0);
    QVERIFY(!rec.alerts().contains("Connection closed"));
    QCOMPARE(rec.names({"connectedToHost", "disconnectedFromHost"}),
             QStringList({"connectedToHost"}));
    QVariantList config = rec.last("deviceConfig").toList();
    QCOMPARE(config.at(2).toMap().value("hid").toUInt(),
             SimSession::hashOf(s->catalogueItem("SPEED")));
    QVariantMap board = rec.last("boardConfig").toMap();

    const QJsonObject rpm = s->catalogueItem("RPM");
    config[5] = QVariantMap{{"active", true}, {"hid", SimSession::hashOf(rpm)}, {"descr", ""}};
    board["rpmlim"] = 4500;
    s->runner().updateConfig(config, board);
    QVERIFY(s->waitForState(CFGRunner::Idle));
    QVERIFY(s->waitForState(CFGRunner::Reading, 2000));
    QVERIFY(s->waitForIdle());

    QCOMPARE(s->memory(0, 22).mid(0, 2), hex("0D00"));
    QCOMPARE(s->memory(22, 22), hex("0C00E807000000040001010552504D2020202072706D"));
    QCOMPARE(s->memory(0x20A, 2), hex("9411"));
    QCOMPARE(rec.last("deviceConfig").toList().at(5).toMap().value("hid").toUInt(),
             SimSession::hashOf(rpm));
}


void tst_RunnerWrite::operationResults_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("lineDies");
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("reason");

    QTest::newRow("read") << "read" << false << int(CFGRunner::OP_ReadConfig) << true << "";
    QTest::newRow("write") << "write" << false << int(CFGRunner::OP_WriteConfig) << true << "";
    QTest::newRow("table reset") << "reset" << false << int(CFGRunner::OP_ResetConfig) << true
                                 << "";
    QTest::newRow("maintenance points")
        << "points" << false << int(CFGRunner::OP_WriteMaintenance) << true << "";
    QTest::newRow("maintenance reset")
        << "maintenance" << false << int(CFGRunner::OP_WriteMaintenance) << true << "";
    QTest::newRow("export") << "export" << false << int(CFGRunner::OP_Export) << true << "";
    QTest::newRow("import of no file")
        << "import" << false << int(CFGRunner::OP_Import) << false
        << "Cannot import - the source file does not exist";
    QTest::newRow("splash not loaded") << "splash" << false << int(CFGRunner::OP_UploadSplash)
                                       << false << "Splash is not ready";
    QTest::newRow("write, line dies") << "write" << true << int(CFGRunner::OP_WriteConfig)
                                      << false << "Communication error";
    QTest::newRow("export, line dies")
        << "export" << true << int(CFGRunner::OP_Export) << false << "Communication error";
}

// Every operation ends with one operationFinished that says how, the read after a write
// included; a refusal ends it at once, a lost line with the communication error.
void tst_RunnerWrite::operationResults()
{
    QFETCH(QString, start);
    QFETCH(bool, lineDies);
    QFETCH(int, operation);
    QFETCH(bool, ok);
    QFETCH(QString, reason);

    CFGRunner &runner = s->runner();
    QSignalSpy finished(&runner, &CFGRunner::operationFinished);
    QVERIFY(s->connectRunner());
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).value<CFGRunner::Operation>(), CFGRunner::OP_Discovery);
    QCOMPARE(finished.at(0).at(1).toBool(), true);
    finished.clear();
    if (lineDies)
        s->sim().faults().addFault(SimFault::DropReply, s->sim().requestCount() + 2, 0);

    QSignalSpy configs(&runner, &CFGRunner::deviceConfig);
    const QVariantList config = s->configList(6, {{0, s->catalogueItem("RPM")}});
    if (start == "read")
        runner.requestConfig();
    else if (start == "write")
        runner.updateConfig(config, QVariantMap());
    else if (start == "reset")
        runner.resetConfig();
    else if (start == "points")
        runner.updateEeeprom(10, 20);
    else if (start == "maintenance")
        runner.resetMaintenance();
    else if (start == "export")
        runner.exportConfig(true);
    else if (start == "import")
        runner.importConfigFile("/nonexistent/car.bkp", false);
    else if (start == "splash")
        runner.uploadSplash();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QTest::qWait(300);
    QCOMPARE(finished.count(), 1);
    const QList<QVariant> result = finished.at(0);
    QCOMPARE(result.at(0).value<CFGRunner::Operation>(), CFGRunner::Operation(operation));
    QCOMPARE(result.at(1).toBool(), ok);
    const QString said = result.at(2).toString();
    QVERIFY2(reason.isEmpty() ? said.isEmpty() : said.startsWith(reason), qPrintable(said));
    if (ok && (start == "write" || start == "read"))
        QCOMPARE(configs.count(), 1); // the read is part of the operation
    if (start == "export" && ok) {
        QVERIFY2(result.at(3).toString().endsWith(".bkp"), qPrintable(result.at(3).toString()));
        QVERIFY(QFile::exists(result.at(3).toString()));
    } else {
        QCOMPARE(result.at(3).toString(), QString());
    }
    QCOMPARE(runner.getState(), ok || !lineDies ? CFGRunner::Idle : CFGRunner::NotConnected);
}

QTEST_MAIN(tst_RunnerWrite)
#include "tst_runnerwrite.moc"

// What a write changes is said against what was read; what the dashboard held is kept in the
// history before the first byte goes out, and a write broken off half-way says so there.
void tst_RunnerWrite::differenceAndHistoryAroundWrites()
{
    QDir(WriteHistory::folder()).removeRecursively();
    QVERIFY(s->connectRunner());
    CFGRunner &runner = s->runner();
    const QByteArray memoryBefore = s->memory(0, 0x212);

    RunnerRecorder read(&runner);
    runner.requestConfig();
    QVERIFY(s->waitForIdle());
    const QVariantList heldConfig = read.last("deviceConfig").toList();
    const QVariantMap heldBoard = read.last("boardConfig").toMap();
    QVERIFY(!heldBoard.isEmpty());

    // Nothing changes: no line, and an engine change in the pages alone is no change
    // to the dashboard either.
    QVariantMap diff = runner.configDifference(heldConfig, heldBoard);
    QVERIFY(diff.value("ok").toBool());
    QCOMPARE(diff.value("lines").toStringList(), QStringList());

    QVariantMap board = heldBoard;
    board.insert("rpmlim", 7000);
    const QVariantList config = s->configList(6, {{0, s->catalogueItem("RPM")}});
    diff = runner.configDifference(config, board);
    const QStringList lines = diff.value("lines").toStringList();
    QVERIFY2(lines.contains(QString::fromUtf8("Position 1: (empty) \u2192 RPM")),
             qPrintable(lines.join('\n')));
    QVERIFY(lines.contains(QString::fromUtf8("RPM warning threshold: 6500 \u2192 7000 rpm")));
    // Asking changes nothing.
    QCOMPARE(s->memory(0, 0x212), memoryBefore);
    QVERIFY(!QDir(WriteHistory::folder()).exists());

    // A write that goes through finishes its entry as written.
    runner.updateConfig(config, board);
    QVERIFY(s->waitForState(CFGRunner::Reading, 2000));
    QVERIFY(s->waitForIdle());
    QList<WriteHistory::Entry> entries = WriteHistory::list(WriteHistory::folder());
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().outcome, WriteHistory::Written);
    QCOMPARE(entries.first().firmware, int(s->dashboard().version()));
    const QVariantList writtenConfig = read.last("deviceConfig").toList();
    const QByteArray memoryBefore2 = s->memory(0, 0x212);
    QVERIFY(memoryBefore2 != memoryBefore);

    // The next entry is on disk, pending, before the first block write goes out.
    QString pendingAtStart;
    QByteArray memoryAtStart;
    const auto watch = connect(&runner, &CFGRunner::stateChanged, this, [&](CFGRunner::State st) {
        if (st != CFGRunner::Writing)
            return;
        const QList<WriteHistory::Entry> now = WriteHistory::list(WriteHistory::folder());
        if (now.size() == 2 && now.first().outcome == WriteHistory::Pending)
            pendingAtStart = now.first().path;
        memoryAtStart = s->memory(0, 0x212);
    });
    // The adapter goes away after the third chunk of the table.
    s->sim().faults().addFault(SimFault::HangUp, s->sim().requestCount() + 4, 1);
    board.insert("rpmlim", 7500);
    runner.updateConfig(s->configList(6, {{1, s->catalogueItem("CLT")}}), board);
    QTRY_COMPARE(WriteHistory::list(WriteHistory::folder()).value(0).outcome,
                 WriteHistory::Failed);
    disconnect(watch);
    QVERIFY(!pendingAtStart.isEmpty());
    QCOMPARE(pendingAtStart, runner.lastHistoryEntry());
    QCOMPARE(memoryAtStart, memoryBefore2);
    // Half-way: the table's head is new, the board record the old one.
    QVERIFY(s->memory(0, 0x200) != memoryBefore2.left(0x200));
    QCOMPARE(s->memory(0x200, 18), memoryBefore2.mid(0x200, 18));

    // The entry holds what the dashboard held before, and loads like a profile.
    entries = WriteHistory::list(WriteHistory::folder());
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(1).outcome, WriteHistory::Written);
    const QVariantMap loaded = runner.loadHistoryEntry(entries.first().path);
    const QVariantList loadedConfig = loaded.value("config").toList();
    QCOMPARE(loadedConfig.size(), 6);
    for (int i = 0; i < 6; ++i) {
        const QVariantMap held = writtenConfig.at(i).toMap();
        QCOMPARE(loadedConfig.at(i).toMap().value("hid").toUInt(),
                 held.value("active").toBool() ? held.value("hid").toUInt() : 0u);
    }
    QCOMPARE(loadedConfig.at(0).toMap().value("hid").toUInt(),
             SimSession::hashOf(s->catalogueItem("RPM")));
    QCOMPARE(loaded.value("board").toMap().value("rpmlim").toInt(), 7000);
    // Only the history's own entries load through it.
    QVERIFY(runner.loadHistoryEntry(QDir::tempPath() + "/x.json").isEmpty());

    const QVariantList listed = runner.historyList();
    QCOMPARE(listed.size(), 2);
    QCOMPARE(listed.at(0).toMap().value("path").toString(), entries.at(0).path);
    QCOMPARE(listed.at(0).toMap().value("outcome").toString(), QString("failed"));
    QDir(WriteHistory::folder()).removeRecursively();
}
