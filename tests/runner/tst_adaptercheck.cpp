// The adapter check's judgement, with no adapter: what the adapter answered in, the report
// out (what it is, whether it answers like the chip it names, the digit, the rate switch,
// the voltage, the exchange time, a wireless module, the backup estimate).

#include "runner/AdapterCheck.h"

#include <QRegularExpression>
#include <QTest>

#include <functional>

using namespace AdapterCheck;
using Change = std::function<void(Answers &)>;
Q_DECLARE_METATYPE(Change)

namespace {

QList<qint64> times(qint64 us, int count = TimedExchanges)
{
    return QList<qint64>() << QVector<qint64>(count, us).toList();
}

// A genuine v2.1 on a serial port at 38400 that switched to 500000, a dashboard behind it.
Answers genuine()
{
    Answers a;
    a.port = QStringLiteral("ttyUSB0");
    a.opened = a.adapterAnswered = a.fastTransfers = true;
    a.answers = {{"ati", {"ELM327 v2.1"}},
                 {"at@1", {"OBDII to RS232 Interpreter"}},
                 {"sti", {"?"}},
                 {"at rv", {"12.6V"}},
                 {"at ign", {"ON"}},
                 {"at rd", {"FF"}},
                 {"at amc", {"00"}}};
    a.count = ELM327IOBase::CountAccepted;
    a.rate.from = 38400;
    a.rate.reached = a.lineRate = 500000;
    a.rate.asked = a.rate.agreed = {500000};
    a.dashboardAnswered = true;
    a.dashboard = {{"version", 1}, {"pages", 8}};
    a.dashboardExchangeUs = times(8000);
    a.adapterExchangeUs = times(2000);
    return a;
}

} // namespace

class tst_AdapterCheck : public QObject
{
    Q_OBJECT

private slots:
    void judge_data();
    void judge();
    void measures();
};

void tst_AdapterCheck::judge_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<int>("genuine");
    QTest::addColumn<bool>("wireless");
    QTest::addColumn<qint64>("backupMs");
    QTest::addColumn<QStringList>("has"); // lines of the report, * any text
    QTest::addColumn<QStringList>("lacks");

    QTest::newRow("genuine v2.1") << Change([](Answers &) {}) << 1 << false << qint64(21840)
        << QStringList{"Port: ttyUSB0 (serial)",
                       "Adapter: ELM327 v2.1, \"OBDII to RS232 Interpreter\"",
                       "Answers like the chip it names: yes, it knows at ign, at rd, at amc",
                       "Response count: accepted", "Rate switch: switched from 38400 to 500000 bit/s",
                       "Highest rate reached: 500000 bit/s", "Supply voltage: 12.6V",
                       "Dashboard: answers (firmware 1, 8 pages)",
                       "One exchange: 8.0 ms (median of 20 dashboard requests)",
                       "Wireless module: not seen: an adapter command takes 2.0 ms, the line "
                       "explains 0.4 ms",
                       "16-page backup: about 22 s (2730 exchanges)"}
        << QStringList{"Extended command set: *"};
    QTest::newRow("clone calling itself v1.5")
        << Change([](Answers &a) {
               a.answers = {{"ati", {"ELM327 v1.5"}}, {"at@1", {"OBDII to RS232 Interpreter"}},
                            {"sti", {"?"}}, {"at rv", {"12.3V"}}, {"at ign", {"?"}},
                            {"at rd", {"?"}}, {"at amc", {"?"}}};
               a.count = ELM327IOBase::CountRefused;
               a.rate.reached = a.lineRate = 38400;
               a.rate.asked = {500000, 250000, 115200};
               a.rate.agreed.clear();
           })
        << 0 << false << qint64(21840)
        << QStringList{"Answers like the chip it names: no, it refuses at ign, at rd, which a "
                       "genuine ELM327 v1.5 knows: *",
                       "Response count: refused (\"?\"): *",
                       "Rate switch: \"at brd\" refused at 500000, 250000, 115200",
                       "Highest rate reached: 38400 bit/s"}
        << QStringList{};
    // Knowing some of its version's commands and not others is not the chip either.
    QTest::newRow("v2.1 without the activity monitor")
        << Change([](Answers &a) { a.answers["at amc"] = {"?"}; }) << 0 << false << qint64(21840)
        << QStringList{"Answers like the chip it names: partly: it knows at ign, at rd and "
                       "refuses at amc"}
        << QStringList{};
    QTest::newRow("extended set, agreed rates the line did not follow, digit NO DATA")
        << Change([](Answers &a) {
               a.extendedSet = true;
               a.answers["ati"] = {"ELM327 v1.4b"};
               a.answers["sti"] = {"ELS27 v3.2.1"};
               a.answers["at amc"] = {"?"};
               a.count = ELM327IOBase::CountNoData;
               a.rate.reached = a.lineRate = 38400;
               a.rate.asked = {500000, 250000};
               a.rate.agreed = {500000};
           })
        << 1 << false << qint64(21840)
        << QStringList{"Extended command set: ELS27 v3.2.1",
                       "Answers like the chip it names: yes, it knows at ign, at rd",
                       "Response count: answered \"NO DATA\": *",
                       "Rate switch: \"st br\" refused at 250000; agreed to 500000, but the line "
                       "did not follow"}
        << QStringList{};
    // "?" or nothing to "at rv" is an adapter without the command, not a failure.
    QTest::newRow("voltage refused")
        << Change([](Answers &a) { a.answers["at rv"] = {"?"}; }) << 1 << false << qint64(21840)
        << QStringList{"Supply voltage: unavailable (the adapter answers \"?\")"}
        << QStringList{};
    QTest::newRow("voltage: only the prompt")
        << Change([](Answers &a) { a.answers["at rv"] = {}; }) << 1 << false << qint64(21840)
        << QStringList{"Supply voltage: unavailable (no answer)"} << QStringList{};
    // Behind a Bluetooth module every exchange waits for its packets: 65 ms where the line
    // explains 5.
    QTest::newRow("Bluetooth module, seen in the timing")
        << Change([](Answers &a) {
               a.rate.reached = a.lineRate = 38400;
               a.rate.agreed.clear();
               a.dashboardExchangeUs = times(65000);
               a.adapterExchangeUs = times(62000);
           })
        << 1 << true << qint64(177450)
        << QStringList{"One exchange: 65.0 ms (median of 20 dashboard requests)",
                       "Wireless module: likely: an adapter command takes 62.0 ms, the line "
                       "explains 4.7 ms",
                       "16-page backup: about 2 min 57 s (2730 exchanges)"}
        << QStringList{};
    // A USB cable's latency timer is no module.
    QTest::newRow("USB cable with its 16 ms latency")
        << Change([](Answers &a) {
               a.rate.reached = a.lineRate = 38400;
               a.adapterExchangeUs = times(21000);
           })
        << 1 << false << qint64(21840) << QStringList{"Wireless module: not seen: *"}
        << QStringList{};
    QTest::newRow("Bluetooth serial port")
        << Change([](Answers &a) {
               a.port = QStringLiteral("/dev/rfcomm0");
               a.virtualRate = true;
               a.rate.asked.clear();
               a.rate.agreed.clear();
               a.rate.reached = a.lineRate = 38400;
           })
        << 1 << true << qint64(21840)
        << QStringList{"Rate switch: not tried: the port's rate is virtual",
                       "Wireless module: yes: a Bluetooth serial port"}
        << QStringList{};
    // A module the session found out (the rate switch answered at the old rate) is no
    // Bluetooth port by name; the timing decides how it is told, and without it the switch.
    QTest::newRow("module found in the session, seen in the timing")
        << Change([](Answers &a) {
               a.virtualRate = a.rateFoundVirtual = true;
               a.rate.asked.clear();
               a.lineRate = 0;
               a.portRate = 38400;
               a.adapterExchangeUs = times(45000);
           })
        << 1 << true << qint64(21840)
        << QStringList{"Wireless module: likely: an adapter command takes 45.0 ms, the line "
                       "explains 4.7 ms"}
        << QStringList{"Wireless module: yes: a Bluetooth serial port"};
    QTest::newRow("module found in the session by the rate switch only")
        << Change([](Answers &a) {
               a.virtualRate = a.rateFoundVirtual = true;
               a.lineRate = 0;
               a.portRate = 38400;
               a.adapterExchangeUs = times(6000);
           })
        << 1 << true << qint64(21840)
        << QStringList{"Wireless module: likely: the adapter answered a rate switch at its "
                       "old rate"}
        << QStringList{};
    QTest::newRow("Wi-Fi adapter")
        << Change([](Answers &a) {
               a.port = QStringLiteral("tcp://192.168.0.10:35000");
               a.network = a.virtualRate = true;
               a.rate = ELM327IOBase::RateSwitchRecord();
               a.lineRate = 0;
           })
        << 1 << true << qint64(21840)
        << QStringList{"Port: tcp://192.168.0.10:35000 (network)",
                       "Rate switch: not tried: a network adapter has no line rate",
                       "Wireless module: yes: a network (Wi-Fi) adapter"}
        << QStringList{"Highest rate reached: *"};
    QTest::newRow("fast transfers off")
        << Change([](Answers &a) {
               a.fastTransfers = false;
               a.count = ELM327IOBase::CountUnused;
               a.rate = ELM327IOBase::RateSwitchRecord();
               a.rate.from = a.rate.reached = a.lineRate = 38400;
           })
        << 1 << false << qint64(21840)
        << QStringList{"Response count: not tried: fast transfers are off",
                       "Rate switch: not tried: fast transfers are off"}
        << QStringList{};
    // Without a dashboard the adapter's own exchanges are timed, and the backup takes at
    // least that long.
    QTest::newRow("no dashboard")
        << Change([](Answers &a) {
               a.dashboardAnswered = false;
               a.dashboard.clear();
               a.dashboardExchangeUs.clear();
               a.count = ELM327IOBase::CountUntried;
           })
        << 1 << false << qint64(5460)
        << QStringList{"Response count: not known: no dashboard answered", "Dashboard: no answer",
                       "One exchange: 2.0 ms (median of 20 adapter commands)",
                       "16-page backup: at least 5.5 s (2730 exchanges, and the dashboard's time)"}
        << QStringList{};
    // Its identification from the link's warm start when "ati" drew nothing usable; one
    // that names no version cannot be compared.
    QTest::newRow("identification from the warm start")
        << Change([](Answers &a) {
               a.answers["ati"] = {"?"};
               a.warmStartId = "ELM327 v2.1";
           })
        << 1 << false << qint64(21840) << QStringList{"Adapter: ELM327 v2.1, *"}
        << QStringList{};
    QTest::newRow("names no version")
        << Change([](Answers &a) { a.answers["ati"] = {"OBD gateway 3"}; }) << -1 << false
        << qint64(21840)
        << QStringList{"Adapter: OBD gateway 3, *",
                       "Answers like the chip it names: cannot be told: it names no ELM327 "
                       "version"}
        << QStringList{};
    QTest::newRow("v1.3: nothing later to ask")
        << Change([](Answers &a) { a.answers["ati"] = {"ELM327 v1.3a"}; }) << -1 << false
        << qint64(21840)
        << QStringList{"Answers like the chip it names: cannot be told: ELM327 v1.3a has no "
                       "commands the first version lacks"}
        << QStringList{};
    QTest::newRow("no adapter")
        << Change([](Answers &a) {
               a.adapterAnswered = false;
               a.failure = QStringLiteral("No adapter answered on ttyUSB0 at any baud rate");
           })
        << -1 << false << qint64(-1)
        << QStringList{"Port: ttyUSB0 (serial)",
                       "Adapter: No adapter answered on ttyUSB0 at any baud rate"}
        << QStringList{"Dashboard: *", "One exchange: *"};
}

void tst_AdapterCheck::judge()
{
    QFETCH(Change, change);
    QFETCH(int, genuine);
    QFETCH(bool, wireless);
    QFETCH(qint64, backupMs);
    QFETCH(QStringList, has);
    QFETCH(QStringList, lacks);

    Answers answers = ::genuine();
    change(answers);
    const Report r = AdapterCheck::judge(answers, false);
    const QString all = r.lines.join('\n');
    QCOMPARE(r.adapterAnswered, answers.opened && answers.adapterAnswered);
    QCOMPARE(r.dashboardAnswered, r.adapterAnswered && answers.dashboardAnswered);
    QCOMPARE(r.genuine, genuine);
    QCOMPARE(r.wireless, wireless);
    QCOMPARE(r.backupMs, backupMs);
    for (const QString &line : has) {
        const QRegularExpression shape(QRegularExpression::wildcardToRegularExpression(line));
        QVERIFY2(!r.lines.filter(shape).isEmpty(), qPrintable(line + "\n" + all));
    }
    for (const QString &line : lacks) {
        const QRegularExpression shape(QRegularExpression::wildcardToRegularExpression(line));
        QVERIFY2(r.lines.filter(shape).isEmpty(), qPrintable(line + "\n" + all));
    }
}

void tst_AdapterCheck::measures()
{
    QCOMPARE(median({}), qint64(-1));
    QCOMPARE(median({7}), qint64(7));
    // The lower middle one of an even count; one slow exchange does not move it.
    QCOMPARE(median({4, 1, 3, 2}), qint64(2));
    QCOMPARE(median({5, 5, 900, 5, 6}), qint64(5));
    // "ati\r", "ELM327 v2.1\r" and "\r>": 18 bytes of 10 bits.
    QCOMPARE(lineTimeUs("ELM327 v2.1", 38400), qint64(4687));
    QCOMPARE(lineTimeUs("ELM327 v2.1", 0), qint64(0));
    QCOMPARE(versionOf("ELM327 v2.1"), 210);
    QCOMPARE(versionOf("ELM327 v1.4b"), 140);
    QCOMPARE(versionOf("elm327 1.5"), 150);
    QCOMPARE(versionOf("OBDLink MX"), 0);
}

QTEST_GUILESS_MAIN(tst_AdapterCheck)
#include "tst_adaptercheck.moc"
