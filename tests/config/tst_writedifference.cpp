// What the confirmation before a write says, for every kind of change: one row a case,
// the lines expected in order.
#include "config/WriteDifference.h"

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

class TstWriteDifference : public QObject
{
    Q_OBJECT

private slots:
    void between_data();
    void between();
    void import();
};

void TstWriteDifference::between_data()
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

void TstWriteDifference::between()
{
    QFETCH(LayoutProfile::Layout, now);
    QFETCH(LayoutProfile::Layout, next);
    QFETCH(QStringList, lines);
    QCOMPARE(WriteDifference::between(now, next, items()), lines);
}

void TstWriteDifference::import()
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

QTEST_GUILESS_MAIN(TstWriteDifference)
#include "tst_writedifference.moc"
