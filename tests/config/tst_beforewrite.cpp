// Before a write: what the confirmation says for every kind of change (one row a case, the
// lines expected in order), and the history entry that keeps what the dashboard held.
#include "config/WriteDifference.h"
#include "config/WriteHistory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

ParameterCatalogue::ItemTable items()
{
    ParameterCatalogue::ItemTable t;
    t.insert(11, QJsonObject{{"name", "RPM"}});
    t.insert(22, QJsonObject{{"name", "SPEED"}});
    t.insert(33, QJsonObject{{"name", "COOLANT"}});
    return t;
}

QVariantMap board(std::initializer_list<std::pair<const char *, int>> changes = {})
{
    QVariantMap b{{"version", 1},      {"rpm", 0},    {"speed", 0},     {"aux", 0},
                  {"adelay", 650},     {"rflags", 1}, {"rpmlim", 6000}, {"warnodo", 7000},
                  {"warntime", 30000}, {"engidx", 0}};
    for (const auto &c : changes)
        b.insert(QLatin1String(c.first), c.second);
    return b;
}

LayoutProfile::Layout layout(const QString &engine, QList<quint32> positions,
                             const QVariantMap &b = board())
{
    LayoutProfile::Layout l;
    l.engine = engine;
    l.positions = positions.size();
    l.items = positions;
    l.board = b;
    return l;
}

QList<quint32> empty(int positions)
{
    QList<quint32> l;
    for (int i = 0; i < positions; ++i)
        l << 0;
    return l;
}

} // namespace

Q_DECLARE_METATYPE(LayoutProfile::Layout)

class TstBeforeWrite : public QObject
{
    Q_OBJECT

private slots:
    void between_data();
    void between();
    void import();
    void historyEntryLoadsAsProfile();
    void historyKeepsUnfinishedWrites();
    void historyRefusesUnwritableFolder();
};

void TstBeforeWrite::between_data()
{
    QTest::addColumn<LayoutProfile::Layout>("now");
    QTest::addColumn<LayoutProfile::Layout>("next");
    QTest::addColumn<QStringList>("lines");

    const auto six = [](quint32 a, quint32 b) { return QList<quint32>{a, 0, b, 0, 0, 0}; };
    const QString arrow = QString::fromUtf8(" \u2192 ");
    const auto line = [&](const QString &what, const QString &from, const QString &to) {
        return what + ": " + from + arrow + to;
    };

    QTest::newRow("nothing changes")
        << layout("Petrol", six(11, 22)) << layout("Petrol", six(11, 22)) << QStringList();
    QTest::newRow("a position gets another value")
        << layout("Petrol", six(11, 22)) << layout("Petrol", six(11, 33))
        << QStringList{line("Position 3", "SPEED", "COOLANT")};
    QTest::newRow("a position is emptied, another filled")
        << layout("Petrol", six(11, 0)) << layout("Petrol", six(0, 22))
        << QStringList{line("Position 1", "RPM", "(empty)"),
                       line("Position 3", "(empty)", "SPEED")};
    QTest::newRow("a value the catalogue lacks")
        << layout("Petrol", six(99, 0)) << layout("Petrol", six(11, 0))
        << QStringList{line("Position 1", "unknown value", "RPM")};
    QTest::newRow("a single display's layout onto a double one")
        << layout("Petrol", empty(13)) << layout("Petrol", six(11, 0))
        << QStringList{line("Position 1", "(empty)", "RPM")};
    QTest::newRow("the engine") << layout("Petrol", six(11, 0)) << layout("Diesel", six(11, 0))
                                << QStringList{line("Engine", "Petrol", "Diesel")};
    QTest::newRow("numbers with their units")
        << layout("Petrol", six(0, 0))
        << layout(
               "Petrol", six(0, 0),
               board({{"rpmlim", 6500}, {"warntime", 15000}, {"warnodo", 8000}, {"adelay", 300}}))
        << QStringList{line("Animation delay", "650", "300 ms"),
                       line("RPM warning threshold", "6000", "6500 rpm"),
                       line("Maintenance interval", "7000", "8000 km"),
                       line("Maintenance interval", "500", "250 h")};
    QTest::newRow("minutes that are not whole hours")
        << layout("Petrol", six(0, 0)) << layout("Petrol", six(0, 0), board({{"warntime", 30030}}))
        << QStringList{line("Maintenance interval", "500", "500.5 h")};
    QTest::newRow("gauge scales by what they show")
        << layout("Petrol", six(0, 0))
        << layout("Petrol", six(0, 0), board({{"rpm", 1}, {"speed", 1}, {"aux", 2}}))
        << QStringList{line("Aux. gauges", "not present", "1.8"),
                       line("RPM gauge limit", "6000 rpm", "8000 rpm"),
                       line("Speed gauge limit", "240 km/h", "280 km/h")};
    QTest::newRow("switches, and bits without a switch")
        << layout("Petrol", six(0, 0))
        << layout("Petrol", six(0, 0), board({{"rflags", 4 | 8 | 64}}))
        << QStringList{line("Needles animation", "on", "off"), line("RPM warning", "off", "on"),
                       line("Maintenance warning", "off", "on"),
                       line("Other option bits", "0x0000", "0x0040")};
    QTest::newRow("a board record not understood adds no board line")
        << layout("Petrol", six(11, 0), QVariantMap())
        << layout("Petrol", six(11, 0), board({{"rpmlim", 7000}})) << QStringList();
}

void TstBeforeWrite::between()
{
    QFETCH(LayoutProfile::Layout, now);
    QFETCH(LayoutProfile::Layout, next);
    QFETCH(QStringList, lines);
    QCOMPARE(WriteDifference::between(now, next, items()), lines);
}

void TstBeforeWrite::import()
{
    WriteDifference::Origin origin;
    origin.fileName = "0003.bkp";
    origin.devInfo = QJsonObject{{"version", 7}, {"pages", 4}, {"disp", 1}};
    WriteDifference::Counters counters;
    counters.written = true;
    counters.odometerNow = 120000;
    counters.odometerNext = 99999;
    counters.engineTimeNow = counters.engineTimeNext = 888;
    const auto same = layout("Petrol", empty(13));
    const QStringList lines = WriteDifference::forImport(origin, same, same, items(), counters);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("Backup 0003.bkp, made an unknown time"));
    QCOMPARE(lines.at(1),
             QStringLiteral("From a dashboard with firmware 7, 4 pages of memory, double display"));
    QCOMPARE(lines.at(2),
             QStringLiteral("The display layout and the board settings stay as they are"));
    QCOMPARE(lines.at(3), QString::fromUtf8("Saved odometer point: 120000 \u2192 99999 km"));
}

// An entry is a profile: it loads back as what the dashboard held, and the list says when,
// from which dashboard and before what, newest first.
void TstBeforeWrite::historyEntryLoadsAsProfile()
{
    ParameterCatalogue::EngineTable engines;
    ParameterCatalogue::ItemTable catalogue;
    QCOMPARE(ParameterCatalogue::load(ParameterCatalogue::defaultPath(), engines, catalogue),
             ParameterCatalogue::Loaded);
    quint32 rpm = 0;
    for (auto it = catalogue.cbegin(); it != catalogue.cend() && !rpm; ++it) {
        if (it->value("name").toString() == "RPM" && ParameterCatalogue::appliesToEngine(*it, 0))
            rpm = it.key();
    }
    QVERIFY(rpm);
    QTemporaryDir dir;
    const LayoutProfile::Layout held =
        layout(engines.value(0), {0, rpm, 0, 0, 0, 0}, board({{"rpmlim", 6500}}));
    const QDateTime t0 = QDateTime::fromString("2026-12-09T10:00:00.000Z", Qt::ISODateWithMs);
    QString error;
    const QString first = WriteHistory::record(dir.path(), held, catalogue, {{"version", 7}},
                                               "configuration write", "0.2.0", &error, t0);
    QVERIFY2(!first.isEmpty(), qPrintable(error));
    // The same millisecond again is another file.
    const QString second = WriteHistory::record(dir.path(), held, catalogue, {{"version", 7}},
                                                "layout profile", "0.2.0", &error, t0);
    QVERIFY(!second.isEmpty() && second != first);
    const QString third = WriteHistory::record(dir.path(), held, catalogue, {}, "import", "0.2.0",
                                               &error, t0.addSecs(60));
    QVERIFY(WriteHistory::finish(first, WriteHistory::Written));

    const QList<WriteHistory::Entry> entries = WriteHistory::list(dir.path());
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries.at(0).path, third);
    QCOMPARE(entries.at(0).firmware, -1);
    QCOMPARE(entries.at(2).path, first);
    QCOMPARE(entries.at(2).taken, t0);
    QCOMPARE(entries.at(2).firmware, 7);
    QCOMPARE(entries.at(2).outcome, WriteHistory::Written);
    QCOMPARE(entries.at(1).outcome, WriteHistory::Pending);
    QVERIFY(WriteHistory::describe(entries.at(2))
                .endsWith("firmware 7, single display: before configuration write (written)"));

    QFile file(first);
    QVERIFY(file.open(QIODevice::ReadOnly));
    LayoutProfile::Layout loaded;
    QString note;
    QVERIFY2(LayoutProfile::decode(file.readAll(), engines, catalogue, 6, &loaded, &note, &error),
             qPrintable(error));
    QCOMPARE(loaded.items, held.items);
    QCOMPARE(loaded.board.value("rpmlim").toInt(), 6500);
}

// The newest finished entries are kept; an unfinished one is the only record of a dashboard
// that a write may have left half-done, and newer finished ones never push it out.
void TstBeforeWrite::historyKeepsUnfinishedWrites()
{
    QTemporaryDir dir;
    const LayoutProfile::Layout held = layout("Petrol", empty(6));
    const QDateTime t0 = QDateTime::fromString("2026-12-09T10:00:00.000Z", Qt::ISODateWithMs);
    QString error;
    const QString failed =
        WriteHistory::record(dir.path(), held, items(), {}, "import", "0.2.0", &error, t0);
    QVERIFY(WriteHistory::finish(failed, WriteHistory::Failed));
    QStringList written;
    for (int i = 1; i <= 5; ++i) {
        written << WriteHistory::record(dir.path(), held, items(), {}, "configuration write",
                                        "0.2.0", &error, t0.addSecs(i));
        QVERIFY(WriteHistory::finish(written.last(), WriteHistory::Written));
    }
    WriteHistory::prune(dir.path(), 3);
    QStringList left;
    for (const WriteHistory::Entry &e : WriteHistory::list(dir.path()))
        left << e.path;
    QCOMPARE(left, (QStringList{written.at(4), written.at(3), written.at(2), failed}));
}

void TstBeforeWrite::historyRefusesUnwritableFolder()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("history"));
    QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder would be
    blocker.close();
    QString error;
    const QString path = WriteHistory::record(dir.filePath("history"), layout("Petrol", empty(6)),
                                              items(), {}, "import", "0.2.0", &error);
    QVERIFY(path.isEmpty());
    QVERIFY(error.contains(dir.filePath("history")));
}

QTEST_GUILESS_MAIN(TstBeforeWrite)
#include "tst_beforewrite.moc"
