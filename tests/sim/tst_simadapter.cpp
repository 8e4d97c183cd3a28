#include "sim/SimAdapter.h"

#include <QtTest>

// The AT interpreter and its output formatting, without a pty: every other test of the
// tool's link and controller trusts these bytes.
class tst_SimAdapter : public QObject
{
    Q_OBJECT

private slots:
    void powerUpAnswers_data();
    void powerUpAnswers();
    void commands_data();
    void commands();
    void replyFormatting_data();
    void replyFormatting();
    void receiveFilterAndHeader_data();
    void receiveFilterAndHeader();
    void noDataAfterTimeout();
    void chipTiming_data();
    void chipTiming();
    void rateSwitch_data();
    void rateSwitch();
    void protocolAndBitRate_data();
    void protocolAndBitRate();
    void dataLineLimits_data();
    void dataLineLimits();
    void inputHandling();
    void faultMatrix_data();
    void faultMatrix();
    void faultWindowAndRandomSeed();

private:
    static QByteArray all(const QList<SimAdapter::Output> &outputs);
    static void toolMode(SimAdapter &a); // the settings the tool's link makes
};

QByteArray tst_SimAdapter::all(const QList<SimAdapter::Output> &outputs)
{
    QByteArray bytes;
    for (const SimAdapter::Output &o : outputs)
        bytes += o.bytes;
    return bytes;
}

void tst_SimAdapter::toolMode(SimAdapter &a)
{
    all(a.receive("atws\rat e0\rat s0\rat h0\rat l0\rat d0\rat at 0\rat st ff\rat tp6\r"
                  "at sh 74d\rat cra 745\rat at1\rat al\rat caf0\rat cfc0\r"));
}

void tst_SimAdapter::powerUpAnswers_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("output");
    const int clone = SimAdapter::Clone, genuine = SimAdapter::Genuine, ext = SimAdapter::Extended;
    // Echo and line feeds are on after power-up; a reset prints two empty lines first.
    QTest::newRow("ati clone") << clone << QByteArray("ati\r")
                               << QByteArray("ati\r\nELM327 v1.5\r\n\r\n>");
    QTest::newRow("ATI genuine") << genuine << QByteArray("ATI\r")
                                 << QByteArray("ATI\r\nELM327 v2.1\r\n\r\n>");
    QTest::newRow("ati extended") << ext << QByteArray("ati\r")
                                  << QByteArray("ati\r\nELM327 v1.4b\r\n\r\n>");
    QTest::newRow("atz") << clone << QByteArray("ATZ\r")
                         << QByteArray("ATZ\r\n\r\n\r\nELM327 v1.5\r\n\r\n>");
    QTest::newRow("atws after e0 l0 echoes nothing, answers with defaults")
        << clone << QByteArray("ate0\ratl0\ratws\r")
        << QByteArray("ate0\r\nOK\r\n\r\n>OK\r\r>\r\n\r\nELM327 v1.5\r\n\r\n>");
    QTest::newRow("atd restores line feeds") << clone << QByteArray("ate0\ratl0\ratd\r")
                                             << QByteArray("ate0\r\nOK\r\n\r\n>OK\r\r>OK\r\n\r\n>");
    QTest::newRow("sti on extended")
        << ext << QByteArray("sti\r") << QByteArray("sti\r\nELS27 v3.2.1\r\n\r\n>");
    QTest::newRow("sti on clone") << clone << QByteArray("sti\r")
                                  << QByteArray("sti\r\n?\r\n\r\n>");
}

void tst_SimAdapter::powerUpAnswers()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    SimDashboard dash;
    SimAdapter a(&dash);
    a.setKind(SimAdapter::Kind(kind));
    QCOMPARE(all(a.receive(input)), output);
}

void tst_SimAdapter::commands_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer");
    const int clone = SimAdapter::Clone, ext = SimAdapter::Extended, genuine = SimAdapter::Genuine;
    // Everything the tool's link sends, in the spellings it uses.
    for (const char *cmd :
         {"at e0",      "at s0",   "at h0",     "at l0",      "at d0",    "at at 0",
          "at st ff",   "at tp6",  "at sh 74d", "at cra 745", "at at1",   "at al",
          "at caf0",    "at cfc0", "AT AT2",    "atsp6",      "at sp a6", "at cra",
          "at cra 7xx", "at nl",   "at d1",     "AtH1",       "at ma"})
        QTest::newRow(cmd) << clone << QByteArray(cmd)
                           << QByteArray(qstrcmp(cmd, "at ma") ? "OK" : "");
    QTest::newRow("st p33 extended") << ext << QByteArray("st p33") << QByteArray("OK");
    QTest::newRow("st pbr500000 extended") << ext << QByteArray("st pbr500000") << QByteArray("OK");
    QTest::newRow("st p33 clone") << clone << QByteArray("st p33") << QByteArray("?");
    QTest::newRow("st pbr500000 clone") << clone << QByteArray("st pbr500000") << QByteArray("?");
    QTest::newRow("st p99 extended") << ext << QByteArray("st p99") << QByteArray("?");
    QTest::newRow("unknown at") << clone << QByteArray("at xyz") << QByteArray("?");
    QTest::newRow("at alone") << clone << QByteArray("at") << QByteArray("?");
    QTest::newRow("e2") << clone << QByteArray("at e2") << QByteArray("?");
    QTest::newRow("st with one digit") << clone << QByteArray("at st f") << QByteArray("?");
    QTest::newRow("sh with 4 digits") << clone << QByteArray("at sh 74d1") << QByteArray("?");
    QTest::newRow("sh with 8 digits v1.5")
        << clone << QByteArray("at sh 18daf110") << QByteArray("?");
    QTest::newRow("sh with 8 digits v2.1")
        << genuine << QByteArray("at sh 18daf110") << QByteArray("OK");
    QTest::newRow("cra bad pattern") << clone << QByteArray("at cra 7g5") << QByteArray("?");
    QTest::newRow("tp out of range") << clone << QByteArray("at tp d") << QByteArray("?");
    QTest::newRow("plain text") << clone << QByteArray("hello") << QByteArray("?");
    QTest::newRow("rv") << clone << QByteArray("at rv") << QByteArray("12.6V");
}

void tst_SimAdapter::commands()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    SimDashboard dash;
    SimAdapter a(&dash);
    a.setKind(SimAdapter::Kind(kind));
    all(a.receive("ate0\ratl0\r"));
    const QByteArray expected = answer.isEmpty() ? QByteArray() : answer + "\r\r>";
    QCOMPARE(all(a.receive(command + "\r")), expected);
}

void tst_SimAdapter::replyFormatting_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("output");
    // The reply to a block read at 0x0200: 00 42 12 00 01 01 00 00, from id 745.
    QTest::newRow("tool mode") << QByteArray("") << QByteArray("0042120001010000\r\r>");
    QTest::newRow("spaces") << QByteArray("ats1\r") << QByteArray("00 42 12 00 01 01 00 00 \r\r>");
    QTest::newRow("headers") << QByteArray("ath1\r") << QByteArray("7450042120001010000\r\r>");
    QTest::newRow("headers spaces dlc")
        << QByteArray("ath1\rats1\ratd1\r") << QByteArray("745 8 00 42 12 00 01 01 00 00 \r\r>");
    QTest::newRow("line feeds") << QByteArray("atl1\r") << QByteArray("0042120001010000\r\n\r\n>");
    QTest::newRow("echo") << QByteArray("ate1\r")
                          << QByteArray("0042FFFFFFFFFFFF\r0042120001010000\r\r>");
}

void tst_SimAdapter::replyFormatting()
{
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, output);
    SimDashboard dash;
    dash.writeMemory(0x0200, QByteArray::fromHex("120001010000"));
    SimAdapter a(&dash);
    toolMode(a);
    all(a.receive(settings));
    QCOMPARE(all(a.receive("0042FFFFFFFFFFFF\r")), output);
}

void tst_SimAdapter::receiveFilterAndHeader_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<bool>("reachedDashboard");
    QTest::newRow("cra 745") << QByteArray("at cra 745\r") << true << true;
    QTest::newRow("cra 7x5") << QByteArray("at cra 7x5\r") << true << true;
    QTest::newRow("cra 746") << QByteArray("at cra 746\r") << false << true;
    QTest::newRow("cra reset") << QByteArray("at cra 746\rat cra\r") << true << true;
    QTest::newRow("sh 74e: dashboard ignores") << QByteArray("at sh 74e\r") << false << false;
}

void tst_SimAdapter::receiveFilterAndHeader()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, answered);
    QFETCH(bool, reachedDashboard);
    SimDashboard dash;
    SimAdapter a(&dash);
    toolMode(a);
    all(a.receive(settings));
    const QByteArray out = all(a.receive("FFFF\r"));
    QCOMPARE(out, answered ? dash.deviceInfoReply().toHex().toUpper() + "\r\r>"
                           : QByteArray("NO DATA\r\r>"));
    // The dashboard answers whatever the filter lets through; the log shows both frames.
    int replies = 0;
    for (const SimAdapter::LogEntry &e : a.log())
        replies += e.type == SimAdapter::LogEntry::DeviceFrame;
    QCOMPARE(replies, reachedDashboard ? 1 : 0);
}

void tst_SimAdapter::chipTiming_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("latencyUs"); // -1: the model's own (1 ms)
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("learnt");      // one reply seen before
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<qint64>("promptUs");  // when the prompt is due
    const int clone = SimAdapter::Clone, genuine = SimAdapter::Genuine, ext = SimAdapter::Extended;
    const QByteArray read = "0042FFFFFFFFFFFF", reply = "0042120001010000\r";
    // "at st 19": 100 ms.
    QTest::newRow("at at 0: all of at st")
        << clone << qint64(-1) << QByteArray("at at 0\rat st 19\r") << true << read
        << reply + "\r>" << qint64(101000);
    QTest::newRow("at at1, nothing learnt yet: all of at st")
        << clone << qint64(-1) << QByteArray("at at1\rat st 19\r") << false << read
        << reply + "\r>" << qint64(101000);
    QTest::newRow("at at1 after a 1 ms reply: the 20 ms floor")
        << clone << qint64(-1) << QByteArray("at at1\rat st 19\r") << true << read
        << reply + "\r>" << qint64(21000);
    QTest::newRow("at at1 after a 15 ms reply: twice it and 8 ms")
        << clone << qint64(15000) << QByteArray("at at1\rat st 19\r") << true << read
        << reply + "\r>" << qint64(15000 + 38000);
    QTest::newRow("at at2 after a 20 ms reply: it and 4 ms")
        << clone << qint64(20000) << QByteArray("at at2\rat st 19\r") << true << read
        << reply + "\r>" << qint64(20000 + 24000);
    QTest::newRow("at at1 never above at st")
        << clone << qint64(60000) << QByteArray("at at1\rat st 19\r") << true << read
        << reply + "\r>" << qint64(160000);
    QTest::newRow("count 1, genuine: prompt with the reply")
        << genuine << qint64(-1) << QByteArray("at at 0\r") << false << read + "1"
        << reply + "\r>" << qint64(1000);
    QTest::newRow("count 1, extended") << ext << qint64(-1) << QByteArray("at at 0\r") << false
                                       << read + "1" << reply + "\r>" << qint64(1000);
    QTest::newRow("count 2 not reached: the whole wait")
        << genuine << qint64(-1) << QByteArray("at at 0\rat st 19\r") << false << read + "2"
        << reply + "\r>" << qint64(101000);
    QTest::newRow("count 1, clone: refused") << clone << qint64(-1) << QByteArray() << false
                                             << read + "1" << QByteArray("?\r\r>") << qint64(0);
    QTest::newRow("count 0: refused") << genuine << qint64(-1) << QByteArray() << false
                                      << read + "0" << QByteArray("?\r\r>") << qint64(0);
}

// The real chip's wait for more replies, and the response count that ends it.
void tst_SimAdapter::chipTiming()
{
    QFETCH(int, kind);
    QFETCH(qint64, latencyUs);
    QFETCH(QByteArray, settings);
    QFETCH(bool, learnt);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, output);
    QFETCH(qint64, promptUs);
    const QByteArray read = "0042FFFFFFFFFFFF", reply = "0042120001010000\r";
    SimDashboard dash;
    dash.writeMemory(0x0200, QByteArray::fromHex("120001010000"));
    SimAdapter a(&dash);
    a.setKind(SimAdapter::Kind(kind));
    a.setChipModel(true);
    if (latencyUs >= 0)
        a.setLatencyUs(latencyUs);
    toolMode(a);
    all(a.receive(settings));
    if (learnt)
        all(a.receive("FFFF\r"));
    const QList<SimAdapter::Output> out = a.receive(request + "\r");
    QCOMPARE(all(out), output);
    QCOMPARE(out.last().delayUs, promptUs);
    QVERIFY(out.last().bytes.endsWith('>'));

    // Without the model the same request is answered at once, prompt and all.
    SimAdapter plain(&dash);
    plain.setKind(SimAdapter::Kind(kind));
    toolMode(plain);
    all(plain.receive(settings));
    QCOMPARE(plain.receive(read + "\r").last().delayUs, qint64(0));

    // The clone learns the count when told to.
    if (kind == SimAdapter::Clone && request.endsWith('1')) {
        a.setCloneResponseCount(true);
        QCOMPARE(all(a.receive(request + "\r")), QByteArray(reply + "\r>"));
    }
}

void tst_SimAdapter::rateSwitch_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("rate");  // 0: refused with "?"
    QTest::addColumn<bool>("heard");
    const int clone = SimAdapter::Clone, genuine = SimAdapter::Genuine, ext = SimAdapter::Extended;
    QTest::newRow("brd 08, genuine") << genuine << QByteArray("at brd 08") << 500000 << true;
    QTest::newRow("brd 10, extended") << ext << QByteArray("AT BRD 10") << 250000 << true;
    QTest::newRow("brd 23: 114286") << genuine << QByteArray("atbrd23") << 114285 << true;
    QTest::newRow("brd 08 not heard") << genuine << QByteArray("at brd 08") << 500000 << false;
    QTest::newRow("st br, extended") << ext << QByteArray("st br 500000") << 500000 << true;
    QTest::newRow("st br, genuine") << genuine << QByteArray("st br 500000") << 0 << false;
    QTest::newRow("brd, clone") << clone << QByteArray("at brd 08") << 0 << false;
    QTest::newRow("brd above 500k") << genuine << QByteArray("at brd 04") << 0 << false;
}

// "at brd"/"st br": "OK" at the old rate, the identification at the new one, then the
// prompt at the rate the handshake left; a reset goes back to the start rate.
void tst_SimAdapter::rateSwitch()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, command);
    QFETCH(int, rate);
    QFETCH(bool, heard);
    SimDashboard dash;
    SimAdapter a(&dash);
    a.setKind(SimAdapter::Kind(kind));
    toolMode(a);
    const QList<SimAdapter::Output> out = a.receive(command + "\r");
    if (!rate) {
        QCOMPARE(all(out), QByteArray("?\r\r>"));
        QVERIFY(!a.rateSwitchPending());
        return;
    }
    QCOMPARE(out.size(), 2);
    QCOMPARE(out.at(0).bytes, QByteArray("OK\r"));
    QCOMPARE(out.at(0).baud, 38400);
    QCOMPARE(out.at(1).bytes, a.identification() + "\r");
    QCOMPARE(out.at(1).baud, rate);
    QVERIFY(a.rateSwitchPending());
    const QList<SimAdapter::Output> prompt = a.finishRateSwitch(heard);
    QCOMPARE(all(prompt), QByteArray("\r>"));
    QCOMPARE(prompt.first().baud, heard ? rate : 38400);
    QCOMPARE(a.lineRate(), heard ? rate : 38400);

    all(a.receive("atws\r"));
    QCOMPARE(a.lineRate(), heard ? rate : 38400);
    const QList<SimAdapter::Output> reset = a.receive("atz\r");
    QCOMPARE(a.lineRate(), 38400);
    QCOMPARE(reset.last().baud, heard ? 38400 : 0);
}

void tst_SimAdapter::noDataAfterTimeout()
{
    SimDashboard dash;
    SimAdapter a(&dash);
    toolMode(a);
    all(a.receive("at st 19\r"));                        // 25 x 4 ms
    QList<SimAdapter::Output> out = a.receive("0111\r"); // restart: no answer
    QCOMPARE(out.last().bytes, QByteArray("NO DATA\r\r>"));
    QCOMPARE(out.last().delayUs, 100000);
    a.setNoDataTimeoutMs(5);
    out = a.receive("FFFF\r"); // still restarting
    QCOMPARE(out.last().bytes, QByteArray("NO DATA\r\r>"));
    QCOMPARE(out.last().delayUs, 5000);
    // A reply comes after the bus latency only.
    dash.reset();
    a.setLatencyUs(700);
    out = a.receive("FFFF\r");
    QCOMPARE(out.last().delayUs, 700);
    QVERIFY(out.last().bytes.startsWith("FFFF"));
}

void tst_SimAdapter::protocolAndBitRate_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("prefix"); // what comes before the reply, or the status
    QTest::addColumn<bool>("answered");
    const int clone = SimAdapter::Clone, ext = SimAdapter::Extended;
    QTest::newRow("tp6") << clone << QByteArray("at tp6\r") << QByteArray() << true;
    QTest::newRow("automatic") << clone << QByteArray("at sp 0\r") << QByteArray("SEARCHING...\r")
                               << true;
    QTest::newRow("sp8 at 250 kbit/s")
        << clone << QByteArray("at sp 8\r") << QByteArray("CAN ERROR\r") << false;
    QTest::newRow("tp8 falls back to searching")
        << clone << QByteArray("at tp8\r") << QByteArray("SEARCHING...\r") << true;
    QTest::newRow("29-bit") << clone << QByteArray("at sp 7\r") << QByteArray("NO DATA\r") << false;
    QTest::newRow("st p33") << ext << QByteArray("st p33\rst pbr500000\r") << QByteArray() << true;
    QTest::newRow("st p33 at 250000")
        << ext << QByteArray("st p33\rst pbr250000\r") << QByteArray("CAN ERROR\r") << false;
}

void tst_SimAdapter::protocolAndBitRate()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, prefix);
    QFETCH(bool, answered);
    SimDashboard dash;
    SimAdapter a(&dash);
    a.setKind(SimAdapter::Kind(kind));
    a.setNoDataTimeoutMs(0);
    toolMode(a);
    all(a.receive(settings));
    const QByteArray out = all(a.receive("FFFF\r"));
    QVERIFY2(out.startsWith(prefix), out.constData());
    QCOMPARE(out.contains(dash.deviceInfoReply().toHex().toUpper()), answered);
}

void tst_SimAdapter::dataLineLimits_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("sent"); // frame data on the bus, empty: refused with "?"
    QTest::newRow("8 bytes as given") << QByteArray() << QByteArray("00C0112233445566")
                                      << QByteArray::fromHex("00C0112233445566");
    QTest::newRow("9 bytes") << QByteArray() << QByteArray("00C011223344556677") << QByteArray();
    QTest::newRow("odd digits") << QByteArray() << QByteArray("FFF") << QByteArray();
    QTest::newRow("spaces and lower case")
        << QByteArray() << QByteArray("ff ff") << QByteArray::fromHex("FFFF");
    // With formatting on the chip adds the length byte and pads to 8 bytes.
    QTest::newRow("caf1 adds length")
        << QByteArray("at caf1\r") << QByteArray("FFFF") << QByteArray::fromHex("02FFFF0000000000");
    QTest::newRow("caf1 8 bytes") << QByteArray("at caf1\r") << QByteArray("00C0112233445566")
                                  << QByteArray();
}

void tst_SimAdapter::dataLineLimits()
{
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, sent);
    SimDashboard dash;
    SimAdapter a(&dash);
    a.setNoDataTimeoutMs(0);
    toolMode(a);
    all(a.receive(settings));
    const QByteArray out = all(a.receive(line + "\r"));
    if (sent.isEmpty()) {
        QCOMPARE(out, QByteArray("?\r\r>"));
        QCOMPARE(a.requestCount(), 0);
    } else {
        QCOMPARE(a.hostFrames().size(), 1);
        QCOMPARE(a.hostFrames().first().data, sent);
    }
}

void tst_SimAdapter::inputHandling()
{
    SimDashboard dash;
    SimAdapter a(&dash);
    toolMode(a);
    // Pieces of a line wait for the carriage return; line feeds and NULs are ignored.
    QCOMPARE(all(a.receive("FF")), QByteArray());
    QCOMPARE(all(a.receive(QByteArray("\0F\nF\r", 5))),
             dash.deviceInfoReply().toHex().toUpper() + "\r\r>");
    // A bare carriage return repeats the last command.
    QCOMPARE(all(a.receive("\r")), dash.deviceInfoReply().toHex().toUpper() + "\r\r>");
    QCOMPARE(a.requestCount(), 2);
    // A line longer than the chip's buffer is refused as a whole.
    QCOMPARE(all(a.receive(QByteArray(200, 'A') + "\r")), QByteArray("?\r\r>"));
    QCOMPARE(all(a.receive("at i\r")), QByteArray("ELM327 v1.5\r\r>"));
    // Monitoring ends at the next character, which is swallowed.
    QCOMPARE(all(a.receive("at ma\r")), QByteArray());
    QVERIFY(a.monitoring());
    QCOMPARE(all(a.receive("x")), QByteArray("STOPPED\r\r>"));
    QVERIFY(!a.monitoring());
    QCOMPARE(a.commands(),
             (QList<QByteArray>{"atws", "at e0", "at s0", "at h0", "at l0", "at d0", "at at 0",
                                "at st ff", "at tp6", "at sh 74d", "at cra 745", "at at1", "at al",
                                "at caf0", "at cfc0", "at i", "at ma"}));
}

void tst_SimAdapter::faultMatrix_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("output"); // for a write of 11 22 33 44 55 66 at 0x0006
    QTest::addColumn<bool>("written");      // the dashboard stored the bytes
    QTest::addColumn<qint64>("delayUs");    // of the last piece
    const QByteArray ack = "30000600FFFFFFFF";
    QTest::newRow("drop") << int(SimFault::DropReply) << QByteArray("NO DATA\r\r>") << true
                          << qint64(1020000);
    QTest::newRow("canerror") << int(SimFault::CanError) << QByteArray("CAN ERROR\r\r>") << false
                              << qint64(0);
    QTest::newRow("busbusy") << int(SimFault::BusBusy) << QByteArray("BUS BUSY\r\r>") << false
                             << qint64(0);
    QTest::newRow("bufferfull") << int(SimFault::BufferFull) << QByteArray("BUFFER FULL\r\r>")
                                << true << qint64(0);
    QTest::newRow("unable") << int(SimFault::UnableToConnect)
                            << QByteArray("UNABLE TO CONNECT\r\r>") << false << qint64(0);
    QTest::newRow("stopped") << int(SimFault::Stopped) << QByteArray("STOPPED\r\r>") << true
                             << qint64(0);
    QTest::newRow("garbage") << int(SimFault::GarbageLine) << "#~%&!*<>\r" + ack + "\r\r>" << true
                             << qint64(0);
    QTest::newRow("nul") << int(SimFault::NulBytes)
                         << QByteArray("\0", 1) + ack + QByteArray("\r\0\r>", 4) << true
                         << qint64(0);
    QTest::newRow("wronglength") << int(SimFault::WrongLength) << QByteArray("30000600FFFFFF\r\r>")
                                 << true << qint64(0);
    QTest::newRow("duplicate") << int(SimFault::DuplicateReply) << ack + "\r" + ack + "\r\r>"
                               << true << qint64(0);
    QTest::newRow("delay") << int(SimFault::DelayedReply) << ack + "\r\r>" << true
                           << qint64(200000);
    QTest::newRow("noack") << int(SimFault::NeverAck) << QByteArray("NO DATA\r\r>") << false
                           << qint64(1020000);
    QTest::newRow("hangup") << int(SimFault::HangUp) << QByteArray() << false << qint64(0);
}

void tst_SimAdapter::faultMatrix()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, output);
    QFETCH(bool, written);
    QFETCH(qint64, delayUs);
    SimDashboard dash;
    SimAdapter a(&dash);
    toolMode(a);
    a.faults().addFault(SimFault::Kind(kind), 2);
    QCOMPARE(all(a.receive("FFFF\r")), dash.deviceInfoReply().toHex().toUpper() + "\r\r>");
    const QList<SimAdapter::Output> out = a.receive("06C0112233445566\r");
    QCOMPARE(all(out), output);
    QCOMPARE(out.last().delayUs, delayUs);
    QCOMPARE(out.last().hangUp, kind == SimFault::HangUp);
    QCOMPARE(dash.readMemory(6, 6) == QByteArray::fromHex("112233445566"), written);
    // The fault was for request 2 only.
    QCOMPARE(all(a.receive("FFFF\r")), dash.deviceInfoReply().toHex().toUpper() + "\r\r>");
}

void tst_SimAdapter::faultWindowAndRandomSeed()
{
    SimDashboard dash;
    SimAdapter a(&dash);
    toolMode(a);
    a.setNoDataTimeoutMs(0);
    SimFault f;
    QVERIFY(SimFault::parse("drop@3x2", &f, nullptr));
    a.faults().addFault(f);
    QStringList seen;
    for (int i = 0; i < 6; ++i)
        seen << QString::fromLatin1(all(a.receive("FFFF\r")).left(7));
    QCOMPARE(seen, (QStringList{"FFFF011", "FFFF011", "NO DATA", "NO DATA", "FFFF011", "FFFF011"}));

    auto randomRun = [](quint32 seed) {
        SimDashboard d;
        SimAdapter r(&d);
        toolMode(r);
        r.setNoDataTimeoutMs(0);
        r.faults().setRandom(seed, 0.5, {SimFault::DropReply, SimFault::CanError});
        QByteArray trace;
        for (int i = 0; i < 40; ++i)
            trace += all(r.receive("FFFF\r")).left(1);
        return trace;
    };
    const QByteArray first = randomRun(7);
    QCOMPARE(randomRun(7), first);
    QVERIFY(first.contains('N') && first.contains('C') && first.contains('F'));
    QVERIFY(randomRun(8) != first);
}

QTEST_GUILESS_MAIN(tst_SimAdapter)
#include "tst_simadapter.moc"
