#include "config/WriteDifference.h"

#include <QLocale>

namespace {

const char *const Arrow = " \u2192 ";

QString change(const QString &what, const QString &from, const QString &to,
               const QString &unit = QString())
{
    const QString tail = unit.isEmpty() ? QString() : QLatin1Char(' ') + unit;
    return what + QStringLiteral(": ") + from + QString::fromUtf8(Arrow) + to + tail;
}

int boardValue(const QVariantMap &board, const char *key)
{
    return board.value(QLatin1String(key)).toInt();
}

QString onOff(bool on)
{
    return on ? WriteDifference::tr("on") : WriteDifference::tr("off");
}

// The board settings as the board settings page shows them: a name, how its value reads,
// and a unit.
void boardLines(const QVariantMap &now, const QVariantMap &next, QStringList *out)
{
    if (now.isEmpty() || next.isEmpty())
        return;
    const auto choice = [&](const char *key, const QString &what, const QStringList &names) {
        const int a = boardValue(now, key);
        const int b = boardValue(next, key);
        if (a == b)
            return;
        const auto name = [&](int v) {
            return v >= 0 && v < names.size() ? names.at(v) : QString::number(v);
        };
        *out << change(what, name(a), name(b));
    };
    const auto number = [&](const char *key, const QString &what, const QString &unit,
                            int divisor = 1) {
        const int a = boardValue(now, key);
        const int b = boardValue(next, key);
        if (a == b)
            return;
        const auto text = [&](int v) {
            if (divisor == 1 || v % divisor == 0)
                return QString::number(v / divisor);
            return QString::number(double(v) / divisor, 'f', 1);
        };
        *out << change(what, text(a), text(b), unit);
    };

    choice("aux", WriteDifference::tr("Aux. gauges"),
           {WriteDifference::tr("not present"), QStringLiteral("1.2"), QStringLiteral("1.8")});
    const QString rpm = WriteDifference::tr("rpm");
    const QString kmh = WriteDifference::tr("km/h");
    choice("rpm", WriteDifference::tr("RPM gauge limit"),
           {QStringLiteral("6000 ") + rpm, QStringLiteral("8000 ") + rpm});
    choice("speed", WriteDifference::tr("Speed gauge limit"),
           {QStringLiteral("240 ") + kmh, QStringLiteral("280 ") + kmh});
    number("adelay", WriteDifference::tr("Animation delay"), WriteDifference::tr("ms"));
    number("rpmlim", WriteDifference::tr("RPM warning threshold"), rpm);
    number("warnodo", WriteDifference::tr("Maintenance interval"), WriteDifference::tr("km"));
    number("warntime", WriteDifference::tr("Maintenance interval"), WriteDifference::tr("h"), 60);

    struct Flag
    {
        int bit;
        QString what;
    };
    const Flag flags[] = {
        {1, WriteDifference::tr("Needles animation")},
        {2, WriteDifference::tr("Enter menu at startup")},
        {4, WriteDifference::tr("RPM warning")},
        {8, WriteDifference::tr("Maintenance warning")},
        {16, WriteDifference::tr("Display logo when stopped")},
    };
    const int a = boardValue(now, "rflags");
    const int b = boardValue(next, "rflags");
    for (const Flag &f : flags) {
        if ((a & f.bit) != (b & f.bit))
            *out << change(f.what, onOff(a & f.bit), onOff(b & f.bit));
    }
    // Bits the page has no switch for are still the dashboard's: say they change.
    if ((a & ~31) != (b & ~31))
        *out << change(WriteDifference::tr("Other option bits"),
                       QStringLiteral("0x%1").arg(a & ~31, 4, 16, QLatin1Char('0')),
                       QStringLiteral("0x%1").arg(b & ~31, 4, 16, QLatin1Char('0')));
}

} // namespace

QString WriteDifference::valueName(quint32 hash, const ParameterCatalogue::ItemTable &items)
{
    if (hash == 0)
        return tr("(empty)");
    const auto it = items.constFind(hash);
    if (it == items.constEnd() || it->isEmpty())
        return tr("unknown value");
    return it->value(QStringLiteral("name")).toString();
}

QStringList WriteDifference::between(const LayoutProfile::Layout &now,
                                     const LayoutProfile::Layout &next,
                                     const ParameterCatalogue::ItemTable &items)
{
    QStringList out;
    if (!next.engine.isEmpty() && now.engine != next.engine)
        out << change(tr("Engine"), now.engine.isEmpty() ? tr("(none)") : now.engine, next.engine);
    const int positions = qMax(now.items.size(), next.items.size());
    for (int i = 0; i < positions; ++i) {
        const quint32 a = i < now.items.size() ? now.items.at(i) : 0;
        const quint32 b = i < next.items.size() ? next.items.at(i) : 0;
        if (a != b)
            out << change(tr("Position %1").arg(i + 1), valueName(a, items), valueName(b, items));
    }
    boardLines(now.board, next.board, &out);
    return out;
}

QStringList WriteDifference::forImport(const Origin &origin, const LayoutProfile::Layout &now,
                                       const LayoutProfile::Layout &next,
                                       const ParameterCatalogue::ItemTable &items,
                                       const Counters &counters)
{
    QStringList out;
    const QString made = origin.made.isValid()
                             ? QLocale().toString(origin.made, QLocale::ShortFormat)
                             : tr("an unknown time");
    out << tr("Backup %1, made %2").arg(origin.fileName, made);
    const QJsonObject &info = origin.devInfo;
    if (!info.isEmpty()) {
        const bool dbl = info.value(QStringLiteral("disp")).toInt() == 1;
        out << tr("From a dashboard with firmware %1, %2 pages of memory, %3 display")
                   .arg(info.value(QStringLiteral("version")).toInt())
                   .arg(info.value(QStringLiteral("pages")).toInt())
                   .arg(dbl ? tr("double") : tr("single"));
    }
    const QStringList changes = between(now, next, items);
    if (changes.isEmpty())
        out << tr("The display layout and the board settings stay as they are");
    out += changes;
    if (counters.written) {
        if (counters.odometerNow != counters.odometerNext)
            out << change(tr("Saved odometer point"), QString::number(counters.odometerNow),
                          QString::number(counters.odometerNext), tr("km"));
        if (counters.engineTimeNow != counters.engineTimeNext)
            out << change(tr("Saved engine-time point"), QString::number(counters.engineTimeNow),
                          QString::number(counters.engineTimeNext), tr("min"));
    }
    return out;
}
