// What the controller does when the link misbehaves: lost replies and their retransmission,
// adapter errors, status texts instead of replies, duplicated and late replies, the adapter
// going away in the middle of a read, and a network adapter that cannot be reached.

#include "tests/common/RunnerRecorder.h"
#include "tests/common/SimSession.h"

#include "config/BackupStorage.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace {

enum class Operation { Read, MaintenanceWrite, ConfigWrite };

// What answers at the network address the runner connects to.
enum class NetworkPeer { Adapter, Nothing, SilentServer, BusyAdapter, BadAddress };

} // namespace

Q_DECLARE_METATYPE(SimFault::Kind)
Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(NetworkPeer)

class tst_RunnerFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lostReplies_data();
    void lostReplies();
    void adapterErrorsEndSession_data();
    void adapterErrorsEndSession();
    void writeWithoutAcknowledgementIsSentAgain();
    void duplicatedAndLateReplies_data();
    void duplicatedAndLateReplies();
    void hangUpMidRead();
    void interruptedWriteLeavesNothingQueued_data();
    void interruptedWriteLeavesNothingQueued();
    void adapterResetsInOneOperation_data();
    void adapterResetsInOneOperation();
    void endedDuringDetection_data();
    void endedDuringDetection();
    void quickReconnects_data();
    void quickReconnects();
    void networkAdapter_data();
    void networkAdapter();

private:
    // Starts `op` on a connected runner; the fault plan counts requests from the next one.
    void start(Operation op);
    int nextRequest() const { return s->sim().requestCount() + 1; }

    std::unique_ptr<SimSession> s;
};

void tst_RunnerFaults::init()
{
    s = std::make_unique<SimSession>();
    QVERIFY2(s->start(), qPrintable(s->errorString()));
    s->dashboard().eraseMemory();
    s->dashboard().setCount(2);
    s->setMemory(0, SimSession::record(12, 2024, 4, 0) + SimSession::record(5, 2024, 1, 4));
    s->setMemory(0x200, SimSession::boardRecord());
    s->runner().loadDefaultConfig();
    QVERIFY(s->connectRunner());
    s->clearFrames();
}

void tst_RunnerFaults::cleanup()
{
    s.reset();
}

void tst_RunnerFaults::start(Operation op)
{
    switch (op) {
    case Operation::Read:
        s->runner().requestConfig();
        break;
    case Operation::MaintenanceWrite:
        s->runner().updateEeeprom(4242, 99);
        break;
    case Operation::ConfigWrite:
        s->runner().updateConfig(s->configList(6, {{1, s->catalogueItem("SPEED")}}), QVariantMap());
        break;
    }
}

void tst_RunnerFaults::lostReplies_data()
{
    QTest::addColumn<SimFault::Kind>("kind");
    QTest::addColumn<Operation>("op");
    QTest::addColumn<int>("hit");   // which request of the operation loses its reply
    QTest::addColumn<int>("count"); // how many times in a row
    QTest::addColumn<QString>("reason");

    // "NO DATA" from the adapter: retransmitted up to 9 times, so sent 10 times in all.
    QTest::newRow("no data x1") << SimFault::DropReply << Operation::Read << 3 << 1 << "";
    QTest::newRow("no data x9") << SimFault::DropReply << Operation::Read << 3 << 9 << "";
    QTest::newRow("no data x10") << SimFault::DropReply << Operation::Read << 3 << 10
                                 << "trasport error no data";
    QTest::newRow("no ack x10") << SimFault::NeverAck << Operation::MaintenanceWrite << 2 << 10
                                << "trasport error no data";
    // A status text or a frame of the wrong length is followed by the prompt with nothing
    // to send: a lost reply as well, counted the same way.
    QTest::newRow("bus busy x1") << SimFault::BusBusy << Operation::Read << 1 << 1 << "";
    QTest::newRow("bus busy x10") << SimFault::BusBusy << Operation::Read << 4 << 10
                                  << "no valid reply";
    QTest::newRow("unable to connect x9")
        << SimFault::UnableToConnect << Operation::Read << 9 << 9 << "";
    QTest::newRow("short frame x2") << SimFault::WrongLength << Operation::Read << 2 << 2 << "";
    QTest::newRow("short frame x10")
        << SimFault::WrongLength << Operation::Read << 10 << 10 << "no valid reply";
    QTest::newRow("bus busy maintenance x3")
        << SimFault::BusBusy << Operation::MaintenanceWrite << 2 << 3 << "";
    QTest::newRow("short ack maintenance x10")
        << SimFault::WrongLength << Operation::MaintenanceWrite << 1 << 10 << "no valid reply";
}

void tst_RunnerFaults::lostReplies()
{
    QFETCH(SimFault::Kind, kind);
    QFETCH(Operation, op);
    QFETCH(int, hit);
    QFETCH(int, count);
    QFETCH(QString, reason);

    RunnerRecorder rec(&s->runner());
    const int first = nextRequest();
    s->sim().faults().addFault(kind, first + hit - 1, count);
    start(op);
    const int requests = op == Operation::Read ? 11 : 2;

    if (reason.isEmpty()) {
        QVERIFY(s->waitForIdle(20000));
        QVERIFY(rec.alerts().filter("Communication error").isEmpty());
        // The hit request went out once more per lost reply; nothing else was repeated.
        QCOMPARE(s->sim().requestCount() - first + 1, requests + count);
        if (op == Operation::Read) {
            QCOMPARE(rec.count("deviceConfig"), 1);
            QCOMPARE(rec.count("boardConfig"), 1);
            QCOMPARE(rec.last("boardConfig").toMap().value("rpmlim").toInt(), 6500);
        } else {
            QCOMPARE(s->dashboard().value(SimDashboard::SavedOdometer), 4242u);
            QCOMPARE(s->dashboard().value(SimDashboard::SavedEngineTime), 99u);
        }
    } else {
        QVERIFY(s->waitForState(CFGRunner::NotConnected, 20000));
        QCOMPARE(rec.alerts().filter("Communication error"),
                 QStringList{"Communication error: " + reason});
        QCOMPARE(rec.count("disconnectedFromHost"), 1);
        QCOMPARE(s->sim().requestCount() - first + 1, hit - 1 + 10);
    }
}

void tst_RunnerFaults::adapterErrorsEndSession_data()
{
    QTest::addColumn<SimFault::Kind>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("alert");
    QTest::addColumn<int>("requests"); // bus requests made from the hit one on

    // The adapter resends on "CAN ERROR" itself; once it gives up the session ends at once.
    QTest::newRow("can error x5") << SimFault::CanError << 5
                                  << "Communication error: CAN error. Retries exhausted" << 5;
    QTest::newRow("stopped") << SimFault::Stopped << 1
                             << "Communication error: trasport error stopped" << 1;
    QTest::newRow("garbage line") << SimFault::GarbageLine << 1
                                  << "Communication error: non-hex reply" << 1;
    QTest::newRow("can error x4") << SimFault::CanError << 4 << "" << 0;
}

void tst_RunnerFaults::adapterErrorsEndSession()
{
    QFETCH(SimFault::Kind, kind);
    QFETCH(int, count);
    QFETCH(QString, alert);
    QFETCH(int, requests);

    RunnerRecorder rec(&s->runner());
    const int hit = nextRequest() + 2;
    s->sim().faults().addFault(kind, hit, count);
    start(Operation::Read);

    if (alert.isEmpty()) {
        QVERIFY(s->waitForIdle());
        QVERIFY(rec.alerts().filter("Communication error").isEmpty());
        QCOMPARE(rec.count("boardConfig"), 1);
        return;
    }
    QVERIFY(s->waitForState(CFGRunner::NotConnected));
    QCOMPARE(rec.alerts(), QStringList{alert});
    QCOMPARE(rec.names().mid(rec.names().size() - 2),
             QStringList({"stateChanged:NotConnected", "disconnectedFromHost"}));
    // No retransmission by the controller.
    QTRY_COMPARE(s->sim().requestCount(), hit - 1 + requests);
}

void tst_RunnerFaults::writeWithoutAcknowledgementIsSentAgain()
{
    // A write answered by something that is no acknowledgement has no next request; at
    // the adapter's prompt the block goes out again instead of the write ending half done.
    RunnerRecorder rec(&s->runner());
    const int first = nextRequest();
    s->sim().faults().addFault(SimFault::BusBusy, first + 1, 1);
    start(Operation::ConfigWrite);
    QVERIFY(s->waitForState(CFGRunner::Reading, 5000));
    QVERIFY(s->waitForIdle());
    // The adapter refused to send the second block ("BUS BUSY"): it reaches the bus on the
    // next attempt, right after the first.
    QCOMPARE(s->hostFrames().at(1).left(2), QByteArray("\x06\xC0", 2));
    QCOMPARE(rec.names({"stateChanged"}),
             QStringList({"stateChanged:Writing", "stateChanged:Idle", "stateChanged:Reading",
                          "stateChanged:Idle"}));
    const QVariantList config = rec.last("deviceConfig").toList();
    QVERIFY(config.value(1).toMap().value("active").toBool());
    QVERIFY(rec.alerts().contains("Parsed the device config"));
}

void tst_RunnerFaults::duplicatedAndLateReplies_data()
{
    QTest::addColumn<SimFault::Kind>("kind");
    QTest::addColumn<Operation>("op");
    QTest::addColumn<int>("count");

    // Every reply printed twice, or one reply arriving after the adapter gave up on it and
    // the request was sent again: each request is still answered once.
    QTest::newRow("duplicates, read") << SimFault::DuplicateReply << Operation::Read << 0;
    QTest::newRow("duplicates, write") << SimFault::DuplicateReply << Operation::ConfigWrite << 0;
    QTest::newRow("duplicates, maintenance")
        << SimFault::DuplicateReply << Operation::MaintenanceWrite << 0;
    QTest::newRow("late reply, read") << SimFault::DelayedReply << Operation::Read << 1;
}

void tst_RunnerFaults::duplicatedAndLateReplies()
{
    QFETCH(SimFault::Kind, kind);
    QFETCH(Operation, op);
    QFETCH(int, count);

    RunnerRecorder rec(&s->runner());
    const int delay = SimSession::NoDataTimeoutMs * 2;
    s->sim().faults().addFault(kind, nextRequest() + 1, count, delay);
    start(op);
    QVERIFY(s->waitForIdle());
    if (op == Operation::ConfigWrite) {
        QVERIFY(s->waitForState(CFGRunner::Reading, 2000));
        QVERIFY(s->waitForIdle());
    }
    if (count == 1)
        QTest::qWait(delay * 2); // let the late reply come in
    QVERIFY(rec.alerts().filter("Communication error").isEmpty());
    QCOMPARE(s->runner().getState(), CFGRunner::Idle);

    const QList<QByteArray> frames = s->hostFrames();
    switch (op) {
    case Operation::Read: {
        QList<QByteArray> expected;
        for (int a = 0; a < 44; a += 6)
            expected << SimSession::blockRead(a);
        expected << SimSession::blockRead(0x200) << SimSession::blockRead(0x206)
                 << SimSession::blockRead(0x20C);
        if (count == 1)
            expected.insert(1, SimSession::blockRead(6)); // the retransmission after "NO DATA"
        QCOMPARE(frames, expected);
        QCOMPARE(rec.count("deviceConfig"), 1);
        QCOMPARE(rec.last("deviceConfig").toList().at(4).toMap().value("hid").toUInt(),
                 SimSession::hashOf(s->catalogueItem("CLT")));
        break;
    }
    case Operation::ConfigWrite:
        // 22 bytes in 4 chunks, the board in 3, then the read of one record and the board.
        QCOMPARE(frames.size(), 4 + 3 + 4 + 3);
        QCOMPARE(s->memory(0, 2), QByteArray::fromHex("0D00"));
        QCOMPARE(rec.last("deviceConfig").toList().at(1).toMap().value("hid").toUInt(),
                 SimSession::hashOf(s->catalogueItem("SPEED")));
        break;
    case Operation::MaintenanceWrite:
        QCOMPARE(frames.size(), 2);
        QCOMPARE(s->dashboard().value(SimDashboard::SavedEngineTime), 99u);
        QCOMPARE(rec.names({"stateChanged"}),
                 QStringList({"stateChanged:GenWrite", "stateChanged:Idle"}));
        break;
    }
}

void tst_RunnerFaults::hangUpMidRead()
{
    CFGRunner &runner = s->runner();
    RunnerRecorder rec(&runner);
    CFGRunner::State stateAtAlert = CFGRunner::NotConnected;
    connect(&runner, &CFGRunner::alert, this, [&] { stateAtAlert = runner.getState(); });

    s->sim().faults().addFault(SimFault::HangUp, nextRequest() + 3, 1);
    start(Operation::Read);
    QTRY_COMPARE(rec.count("disconnectedFromHost"), 1);

    QCOMPARE(rec.alerts(), QStringList{"Connection closed"});
    QCOMPARE(stateAtAlert, CFGRunner::Reading);
    // The state is left as it was; whatever starts next needs a new connection.
    QCOMPARE(runner.getState(), CFGRunner::Reading);
    QCOMPARE(rec.count("deviceConfig"), 0);
    runner.updateEeeprom(1, 1);
    runner.resetConfig();
    QCOMPARE(runner.getState(), CFGRunner::Reading);
}

void tst_RunnerFaults::interruptedWriteLeavesNothingQueued_data()
{
    QTest::addColumn<bool>("reconnectAtOnce");
    // Retransmissions run out and the session ends with "Communication error".
    QTest::newRow("session ended by the error") << false;
    // The interface connects again while the write is still waiting for its acknowledgement.
    QTest::newRow("new connection over it") << true;
}

void tst_RunnerFaults::interruptedWriteLeavesNothingQueued()
{
    QFETCH(bool, reconnectAtOnce);
    // The odometer write is never acknowledged: the session ends with the engine-time
    // write still queued behind it.
    s->dashboard().setValue(SimDashboard::SavedEngineTime, 5);
    s->sim().faults().addFault(SimFault::NeverAck, nextRequest(), 10);
    start(Operation::MaintenanceWrite);
    if (!reconnectAtOnce)
        QVERIFY(s->waitForState(CFGRunner::NotConnected, 20000));

    QVERIFY(s->connectRunner());
    s->clearFrames();
    start(Operation::ConfigWrite);
    QVERIFY(s->waitForState(CFGRunner::Idle));
    QCOMPARE(s->dashboard().value(SimDashboard::SavedEngineTime), 5u);
    const QList<QByteArray> frames = s->hostFrames();
    QCOMPARE(frames.size(), 4 + 3);
    for (const QByteArray &frame : frames)
        QVERIFY(quint8(frame.at(1)) != 0xFF);
}

void tst_RunnerFaults::adapterResetsInOneOperation_data()
{
    QTest::addColumn<int>("resets");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("rateSwitch"); // the adapter takes "at brd": the line runs at 500k
    const int clone = SimAdapter::Clone, genuine = SimAdapter::Genuine;
    QTest::newRow("three: all recovered from") << 3 << clone << false;
    QTest::newRow("four: the session ends") << 4 << clone << false;
    // Back at its start rate after each reset: found there, then raised again. The genuine
    // chip says "LV RESET" at the raised rate first; the clone's banner is noise there.
    QTest::newRow("three after a rate switch, LV RESET") << 3 << genuine << true;
    QTest::newRow("three after a rate switch, noise") << 3 << clone << true;
}

// A backup export during which the adapter resets again and again, with replies in between.
// The link recovers from each; past three the controller gives up, and no backup is left.
void tst_RunnerFaults::adapterResetsInOneOperation()
{
    QFETCH(int, resets);
    QFETCH(int, kind);
    QFETCH(bool, rateSwitch);
    QDir(BackupStorage::folder()).removeRecursively();
    SimSession r;
    QVERIFY2(r.start(), qPrintable(r.errorString()));
    r.sim().adapter().setKind(SimAdapter::Kind(kind));
    r.sim().adapter().setCloneRateSwitch(rateSwitch);
    r.dashboard().setPages(1);
    r.setMemory(0, QByteArray(1024, '\x5A'));
    QVERIFY(r.connectRunner());
    const int rate = rateSwitch ? 500000 : 38400;
    QCOMPARE(r.runner().lineRate(), rate);
    RunnerRecorder rec(&r.runner());
    for (int i = 0; i < resets; ++i)
        r.sim().faults().addFault(SimFault::AdapterReset, r.sim().requestCount() + 10 + 20 * i);

    QVERIFY(r.runner().exportConfig(false));
    if (resets <= 3) {
        QVERIFY(r.waitForIdle(20000));
        QCOMPARE(rec.alerts().size(), 1);
        QVERIFY(rec.alerts().first().startsWith("Export complete!"));
        const QStringList saved = QDir(BackupStorage::folder()).entryList(QDir::Files);
        QCOMPARE(saved.size(), 1);
        QFile file(BackupStorage::folder() + "/" + saved.first());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().endsWith(QByteArray(1024, '\x5A')));
        QCOMPARE(r.runner().lineRate(), rate);
        QCOMPARE(r.sim().lineRate(), rate);
    } else {
        QVERIFY(r.waitForState(CFGRunner::NotConnected, 20000));
        QCOMPARE(rec.alerts(), QStringList{"Communication error: adapter reset"});
        QCOMPARE(QDir(BackupStorage::folder()).entryList(QDir::Files), QStringList());
    }
    QDir(BackupStorage::folder()).removeRecursively();
}

void tst_RunnerFaults::endedDuringDetection_data()
{
    QTest::addColumn<bool>("quit");
    QTest::newRow("disconnect") << false;
    QTest::newRow("window closed") << true;
}

// Rate detection blocks the connect while it probes every rate (up to about 12 s here: the
// adapter answers at none of them). The user disconnecting, or closing the window (the
// application asked to quit), from an event handled meanwhile ends it cleanly: the connect
// fails at once, the port is closed, nothing reports a closed connection, and the link takes
// a new connect.
void tst_RunnerFaults::endedDuringDetection()
{
    QFETCH(bool, quit);
    SimSession r;
    QVERIFY2(r.start(600), qPrintable(r.errorString()));
    CFGRunner &runner = r.runner();
    auto *link = runner.findChild<ELM327IOBase *>();
    QVERIFY(link);
    RunnerRecorder rec(&runner);
    QTimer::singleShot(300, &runner, [&] {
        if (quit)
            QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
        else
            runner.disconnectFromHost();
    });
    QVERIFY(!runner.connectToHost(r.port(), 0, false));
    QCOMPARE(runner.getState(), CFGRunner::NotConnected);
    QVERIFY(!link->isOpen());
    QVERIFY(!rec.alerts().contains(QStringLiteral("Connection closed")));
    int probes = 0;
    for (const LinkRecorder::Entry &e : link->recorder().entries())
        probes += e.kind == LinkRecorder::Sent && e.bytes == "ati\r";
    QVERIFY2(probes < 5 * baudRates.size(), qPrintable(QString::number(probes)));
    if (quit) {
        // The quit goes on as in the program: its main loop ends (which leaves the test's
        // own event loops usable again).
        QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
    // Nothing of the ended attempt is left behind: the next connect opens the port again.
    r.sim().setBaudRate(38400);
    QVERIFY(r.connectRunner());
}

// The user disconnects and connects again at once, over and over, against an adapter whose
// reset ("ATZ" on every disconnect) takes longer than the pause: its answer reaches the next
// session, and the adapter is deaf to that session until it is done. Every session still
// discovers the dashboard and reads its configuration, also with an adapter that lacks the
// link's synchronising command ("at rv"): the late banner must not pass for its answer.
void tst_RunnerFaults::quickReconnects_data()
{
    QTest::addColumn<int>("voltage");
    QTest::newRow("at rv 12.6V") << int(SimAdapter::ReadsVoltage);
    QTest::newRow("at rv ?") << int(SimAdapter::RefusesVoltage);
    QTest::newRow("at rv none") << int(SimAdapter::SilentVoltage);
}

void tst_RunnerFaults::quickReconnects()
{
    QFETCH(int, voltage);
    constexpr int Rounds = 100;
    constexpr int ResetMs = 120;
    SimSession r;
    QVERIFY2(r.start(115200, ResetMs), qPrintable(r.errorString()));
    r.sim().adapter().setVoltageReply(SimAdapter::VoltageReply(voltage));
    r.sim().setPacing(true); // output comes in pieces, as on a real line
    r.dashboard().setCount(2);
    r.setMemory(0, SimSession::record(12, 2024, 4, 0) + SimSession::record(5, 2024, 1, 4));
    r.setMemory(0x200, SimSession::boardRecord());
    CFGRunner &runner = r.runner();
    runner.loadDefaultConfig();

    QRandomGenerator pauses(16);
    QStringList failures;
    for (int round = 1; round <= Rounds; ++round) {
        RunnerRecorder rec(&runner);
        const bool rested = runner.connectToHost(r.port(), 115200, false) && r.waitForIdle(5000);
        const QStringList trouble = rec.alerts().filter("error");
        if (!rested || !trouble.isEmpty() || rec.count("boardConfig") != 1 ||
            rec.last("deviceInfo").toMap().value("pages").toInt() != r.dashboard().pages()) {
            failures << QStringLiteral("round %1: %2")
                            .arg(round)
                            .arg(trouble.isEmpty() ? QStringLiteral("no configuration")
                                                   : trouble.join(", "));
        }
        runner.disconnectFromHost();
        QTest::qWait(int(pauses.bounded(101)));
    }
    qInfo("%d of %d quick reconnects failed", int(failures.size()), Rounds);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join("; ")));
}

QTEST_MAIN(tst_RunnerFaults)
#include "tst_runnerfaults.moc"

void tst_RunnerFaults::networkAdapter_data()
{
    QTest::addColumn<NetworkPeer>("peer");
    QTest::addColumn<QString>("host");  // as the user types it
    QTest::addColumn<QString>("alert"); // empty: the connection must succeed

    QTest::newRow("adapter") << NetworkPeer::Adapter << "127.0.0.1"
                             << "";
    QTest::newRow("adapter by name") << NetworkPeer::Adapter << "localhost"
                                     << "";
    QTest::newRow("adapter by IPv6 address") << NetworkPeer::Adapter << "[::1]"
                                             << "";
    QTest::newRow("closed port") << NetworkPeer::Nothing << "127.0.0.1"
                                 << "refused the connection";
    // Accepts the connection and never says a word: a Wi-Fi module whose chip is off.
    QTest::newRow("silent server") << NetworkPeer::SilentServer << "127.0.0.1"
                                   << "No answer from the adapter at 127.0.0.1:%1 within 5 s";
    // The simulator serves one client at a time and closes every other connection at once.
    QTest::newRow("adapter busy") << NetworkPeer::BusyAdapter << "127.0.0.1"
                                  << "The adapter at 127.0.0.1:%1 closed the connection";
    QTest::newRow("port out of range") << NetworkPeer::BadAddress << "127.0.0.1"
                                       << "\"127.0.0.1:70000\" is not a network address";
}

void tst_RunnerFaults::networkAdapter()
{
    QFETCH(NetworkPeer, peer);
    QFETCH(QString, host);
    QFETCH(QString, alert);

    // The pty session of init() steps aside: the adapter gets a TCP server in front instead.
    s->runner().disconnectFromHost();
    TcpSimulator adapter(&s->sim());
    QTcpServer server;
    QTcpSocket firstClient;
    quint16 port = 0;
    switch (peer) {
    case NetworkPeer::Adapter:
    case NetworkPeer::BusyAdapter:
        if (host.startsWith('[')) {
            if (!adapter.listen(QHostAddress::LocalHostIPv6))
                QSKIP("no IPv6 loopback on this machine");
        } else {
            // "localhost" may name ::1 first: the link goes on to the next address.
            QVERIFY2(adapter.listen(), qPrintable(adapter.errorString()));
        }
        port = adapter.port();
        if (peer == NetworkPeer::BusyAdapter) {
            firstClient.connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(firstClient.waitForConnected(5000));
            QTRY_VERIFY(adapter.hasClient());
        }
        break;
    case NetworkPeer::Nothing:
        // A port that was free a moment ago.
        QVERIFY(server.listen(QHostAddress::LocalHost));
        port = server.serverPort();
        server.close();
        break;
    case NetworkPeer::SilentServer:
        QVERIFY(server.listen(QHostAddress::LocalHost));
        port = server.serverPort();
        break;
    case NetworkPeer::BadAddress:
        port = 0;
        break;
    }
    // As the user types it on the connection page.
    const QString address =
        QStringLiteral("%1:%2").arg(host).arg(peer == NetworkPeer::BadAddress ? 70000 : int(port));

    QSettings().remove(QStringLiteral("Network"));
    CFGRunner runner;
    runner.loadDefaultConfig();
    RunnerRecorder rec(&runner);
    s->sim().clearLog();
    const bool ok = runner.connectToHost(address, 38400, false);
    QCOMPARE(QSettings().value(QStringLiteral("port")).toString(),
             QStringLiteral("tcp://") + address);

    if (alert.isEmpty()) {
        QVERIFY(ok);
        // The board record is read after the table: Idle comes after deviceConfig.
        QTRY_VERIFY_WITH_TIMEOUT(
            rec.count("deviceConfig") == 1 && runner.getState() == CFGRunner::Idle, 20000);
        QCOMPARE(rec.alerts(), QStringList{"Parsed the device config"});
        // No line rate on a network adapter: one "ati" to see that the chip is there, no
        // rate detection.
        QCOMPARE(s->sim().commands().count("ati"), 1);
        // Every short command leaves at once, and the channel says what it is.
        const auto *link = runner.findChild<ELM327IOBase *>();
        QVERIFY(link && link->channel());
        QCOMPARE(link->channel()->kindName(), QStringLiteral("network"));
        QCOMPARE(link->channel()->settings().value("nodelay").toBool(), true);
        QVERIFY2(link->channel()->describe().startsWith("network tcp://" + address),
                 qPrintable(link->channel()->describe()));
        // Remembered and offered first next time.
        QCOMPARE(runner.networkPorts().value(0), address);
        // The adapter dropping the connection ends the session as a lost serial port does.
        rec.clear();
        adapter.dropClient();
        QTRY_COMPARE(rec.count("disconnectedFromHost"), 1);
        QCOMPARE(rec.alerts(), QStringList{"Connection closed"});
        return;
    }
    // Over as a serial port that cannot be opened is: the reason, then back to the
    // connection page.
    QVERIFY(!ok);
    QCOMPARE(rec.names({"connectionFailed", "disconnectedFromHost", "alert"}),
             QStringList({"connectionFailed", "disconnectedFromHost"}));
    const QString reason = rec.last("connectionFailed").toString();
    const QString expected = alert.contains(QLatin1String("%1")) ? alert.arg(port) : alert;
    QVERIFY2(reason.contains(expected), qPrintable(reason));
    QCOMPARE(runner.getState(), CFGRunner::NotConnected);
    QCOMPARE(rec.count("connectedToHost"), 0);
    // Only an address that connected is offered again; before any, the usual one.
    QCOMPARE(runner.networkPorts(), QStringList{"192.168.0.10:35000"});
}
