#include "runner/AdapterCheck.h"

#include "config/BackupFile.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

namespace AdapterCheck {

namespace {

constexpr int BackupPages = 16;

// The report's texts, in the interface's language or in English.
class Words
{
public:
    explicit Words(bool translated) : m_translated(translated) {}
    QString operator()(const char *source) const
    {
        return m_translated ? QCoreApplication::translate("AdapterCheck", source)
                            : QString::fromUtf8(source);
    }
    QString number(double value, int decimals) const
    {
        return m_translated ? QLocale().toString(value, 'f', decimals)
                            : QString::number(value, 'f', decimals);
    }

private:
    bool m_translated;
};

QString joined(const QList<QByteArray> &lines)
{
    QStringList out;
    for (const QByteArray &line : lines)
        out << QString::fromLatin1(line).simplified();
    return out.join(QStringLiteral(" / "));
}

// An answer that says the adapter knows the command: some text that is not "?".
bool known(const QMap<QByteArray, QList<QByteArray>> &answers, const QByteArray &command)
{
    const auto it = answers.constFind(command);
    if (it == answers.constEnd())
        return false;
    for (const QByteArray &line : *it) {
        const QByteArray t = line.trimmed();
        if (!t.isEmpty() && t != "?")
            return true;
    }
    return false;
}

QString rateList(const QList<qint32> &rates)
{
    QStringList out;
    for (qint32 rate : rates)
        out << QString::number(rate);
    return out.join(QStringLiteral(", "));
}

} // namespace

const QList<VersionCommand> &versionCommands()
{
    static const QList<VersionCommand> commands = {
        {"at ign", 140, "reads the ignition input"},
        {"at rd", 140, "reads the byte stored with \"at sd\""},
        {"at amc", 200, "shows the activity monitor's count"},
    };
    return commands;
}

QList<QByteArray> identityCommands()
{
    return {IdentificationCommand, DescriptionCommand, ExtendedCommand, VoltageCommand};
}

namespace {

QRegularExpressionMatch versionMatch(const QByteArray &identification)
{
    static const QRegularExpression shape(
        QStringLiteral("ELM327\\s*v?(\\d+)\\.(\\d)[0-9a-z]*"),
        QRegularExpression::CaseInsensitiveOption);
    return shape.match(QString::fromLatin1(identification));
}

// "ELM327 v1.4b" out of "ELM327 v1.4b (clone)".
QString claimedName(const QByteArray &identification)
{
    return versionMatch(identification).captured(0);
}

} // namespace

int versionOf(const QByteArray &identification)
{
    const QRegularExpressionMatch m = versionMatch(identification);
    if (!m.hasMatch())
        return 0;
    return m.captured(1).toInt() * 100 + m.captured(2).toInt() * 10;
}

qint64 median(QList<qint64> us)
{
    if (us.isEmpty())
        return -1;
    std::sort(us.begin(), us.end());
    return us.at((us.size() - 1) / 2);
}

qint64 lineTimeUs(const QByteArray &identification, qint32 rate)
{
    if (rate <= 0)
        return 0;
    // "ati\r" out; the identification, its carriage return and "\r>" back; 10 bits a byte.
    const qint64 bytes = qstrlen(TimedCommand) + 1 + identification.size() + 3;
    return bytes * 10 * 1000000 / rate;
}

Report judge(const Answers &a, bool translated)
{
    const Words w(translated);
    Report r;
    QStringList &out = r.lines;
    const auto line = [&out, &w](const char *label, const QString &value) {
        out << w(label) + QStringLiteral(": ") + value;
    };
    const QString portKind = a.network ? w(QT_TRANSLATE_NOOP("AdapterCheck", "network"))
                                       : w(QT_TRANSLATE_NOOP("AdapterCheck", "serial"));
    line(QT_TRANSLATE_NOOP("AdapterCheck", "Port"), QStringLiteral("%1 (%2)").arg(a.port, portKind));
    if (!a.opened || !a.adapterAnswered) {
        line(QT_TRANSLATE_NOOP("AdapterCheck", "Adapter"),
             a.failure.isEmpty() ? w(QT_TRANSLATE_NOOP("AdapterCheck", "no answer")) : a.failure);
        return r;
    }
    r.adapterAnswered = true;

    // What it is.
    QByteArray id;
    for (const QByteArray &l : a.answers.value(IdentificationCommand)) {
        if (!l.trimmed().isEmpty() && l.trimmed() != "?") {
            id = l.trimmed();
            break;
        }
    }
    if (id.isEmpty())
        id = a.warmStartId.trimmed();
    QString adapter = id.isEmpty() ? w(QT_TRANSLATE_NOOP("AdapterCheck", "(no identification)"))
                                   : QString::fromLatin1(id);
    if (known(a.answers, DescriptionCommand))
        adapter += QStringLiteral(", \"%1\"").arg(joined(a.answers.value(DescriptionCommand)));
    line(QT_TRANSLATE_NOOP("AdapterCheck", "Adapter"), adapter);
    if (known(a.answers, ExtendedCommand))
        line(QT_TRANSLATE_NOOP("AdapterCheck", "Extended command set"),
             joined(a.answers.value(ExtendedCommand)));

    // Whether it answers like the chip it names.
    const int version = versionOf(id);
    QStringList knows;
    QStringList refuses;
    for (const VersionCommand &c : versionCommands()) {
        if (c.level > version)
            continue;
        (known(a.answers, c.command) ? knows : refuses) << QString::fromLatin1(c.command);
    }
    QString like;
    if (version == 0) {
        like = w(QT_TRANSLATE_NOOP("AdapterCheck", "cannot be told: it names no ELM327 version"));
    } else if (knows.isEmpty() && refuses.isEmpty()) {
        like = w(QT_TRANSLATE_NOOP("AdapterCheck",
                                   "cannot be told: %1 has no commands the first version lacks"))
                   .arg(claimedName(id));
    } else if (refuses.isEmpty()) {
        r.genuine = 1;
        like = w(QT_TRANSLATE_NOOP("AdapterCheck", "yes, it knows %1")).arg(knows.join(QStringLiteral(", ")));
    } else {
        r.genuine = 0;
        like = knows.isEmpty()
                   ? w(QT_TRANSLATE_NOOP("AdapterCheck",
                                         "no, it refuses %1, which a genuine %2 knows: probably "
                                         "a clone with the first version's commands"))
                         .arg(refuses.join(QStringLiteral(", ")), claimedName(id))
                   : w(QT_TRANSLATE_NOOP("AdapterCheck", "partly: it knows %1 and refuses %2"))
                         .arg(knows.join(QStringLiteral(", ")), refuses.join(QStringLiteral(", ")));
    }
    line(QT_TRANSLATE_NOOP("AdapterCheck", "Answers like the chip it names"), like);

    // The response count digit.
    QString count;
    switch (a.count) {
    case ELM327IOBase::CountUnused:
        count = w(QT_TRANSLATE_NOOP("AdapterCheck", "not tried: fast transfers are off"));
        break;
    case ELM327IOBase::CountUntried:
        count = a.dashboardAnswered
                    ? w(QT_TRANSLATE_NOOP("AdapterCheck", "not tried"))
                    : w(QT_TRANSLATE_NOOP("AdapterCheck", "not known: no dashboard answered"));
        break;
    case ELM327IOBase::CountAccepted:
        count = w(QT_TRANSLATE_NOOP("AdapterCheck", "accepted"));
        break;
    case ELM327IOBase::CountRefused:
        count = w(QT_TRANSLATE_NOOP("AdapterCheck",
                                    "refused (\"?\"): every request waits out the reply time-out"));
        break;
    case ELM327IOBase::CountNoData:
        count = w(QT_TRANSLATE_NOOP("AdapterCheck",
                                    "answered \"NO DATA\": not used, every request waits out the "
                                    "reply time-out"));
        break;
    }
    line(QT_TRANSLATE_NOOP("AdapterCheck", "Response count"), count);

    // The rate switch and the rate reached.
    QString rate;
    const ELM327IOBase::RateSwitchRecord &s = a.rate;
    if (a.network || (a.lineRate <= 0 && !a.virtualRate)) {
        rate = w(QT_TRANSLATE_NOOP("AdapterCheck", "not tried: a network adapter has no line rate"));
    } else if (!a.fastTransfers) {
        rate = w(QT_TRANSLATE_NOOP("AdapterCheck", "not tried: fast transfers are off"));
    } else if (s.asked.isEmpty()) {
        rate = a.virtualRate
                   ? w(QT_TRANSLATE_NOOP("AdapterCheck", "not tried: the port's rate is virtual"))
                   : w(QT_TRANSLATE_NOOP("AdapterCheck", "not tried: the port runs no faster"));
    } else if (s.reached > s.from) {
        rate = w(QT_TRANSLATE_NOOP("AdapterCheck", "switched from %1 to %2 bit/s"))
                   .arg(s.from)
                   .arg(s.reached);
    } else {
        QList<qint32> refused;
        for (qint32 asked : s.asked) {
            if (!s.agreed.contains(asked))
                refused << asked;
        }
        QStringList why;
        if (!refused.isEmpty())
            why << w(QT_TRANSLATE_NOOP("AdapterCheck", "\"%1\" refused at %2"))
                       .arg(QLatin1String(a.extendedSet ? "st br" : "at brd"), rateList(refused));
        if (!s.agreed.isEmpty())
            why << w(QT_TRANSLATE_NOOP("AdapterCheck",
                                       "agreed to %1, but the line did not follow"))
                       .arg(rateList(s.agreed));
        rate = why.join(QStringLiteral("; "));
    }
    line(QT_TRANSLATE_NOOP("AdapterCheck", "Rate switch"), rate);
    if (a.lineRate > 0)
        line(QT_TRANSLATE_NOOP("AdapterCheck", "Highest rate reached"),
             w(QT_TRANSLATE_NOOP("AdapterCheck", "%1 bit/s")).arg(a.lineRate));

    // The supply voltage: "?" or nothing is an adapter without the command, not a fault.
    QString voltage;
    if (known(a.answers, VoltageCommand))
        voltage = joined(a.answers.value(VoltageCommand));
    else if (a.answers.contains(VoltageCommand) && !a.answers.value(VoltageCommand).isEmpty())
        voltage = w(QT_TRANSLATE_NOOP("AdapterCheck", "unavailable (the adapter answers \"?\")"));
    else
        voltage = w(QT_TRANSLATE_NOOP("AdapterCheck", "unavailable (no answer)"));
    line(QT_TRANSLATE_NOOP("AdapterCheck", "Supply voltage"), voltage);

    // The dashboard.
    r.dashboardAnswered = a.dashboardAnswered;
    line(QT_TRANSLATE_NOOP("AdapterCheck", "Dashboard"),
         a.dashboardAnswered
             ? w(QT_TRANSLATE_NOOP("AdapterCheck", "answers (firmware %1, %2 pages)"))
                   .arg(a.dashboard.value(QStringLiteral("version")).toInt())
                   .arg(a.dashboard.value(QStringLiteral("pages")).toInt())
             : w(QT_TRANSLATE_NOOP("AdapterCheck", "no answer")));

    // One exchange, a wireless module, a backup.
    const qint64 dashboardUs = median(a.dashboardExchangeUs);
    const qint64 adapterUs = median(a.adapterExchangeUs);
    const bool withDashboard = a.dashboardAnswered && dashboardUs >= 0;
    r.exchangeUs = withDashboard ? dashboardUs : adapterUs;
    const auto ms = [&w](qint64 us) { return w.number(us / 1000.0, 1); };
    if (r.exchangeUs >= 0) {
        const int count = withDashboard ? a.dashboardExchangeUs.size() : a.adapterExchangeUs.size();
        line(QT_TRANSLATE_NOOP("AdapterCheck", "One exchange"),
             (withDashboard ? w(QT_TRANSLATE_NOOP("AdapterCheck",
                                                  "%1 ms (median of %2 dashboard requests)"))
                            : w(QT_TRANSLATE_NOOP("AdapterCheck",
                                                  "%1 ms (median of %2 adapter commands)")))
                 .arg(ms(r.exchangeUs))
                 .arg(count));
    } else {
        line(QT_TRANSLATE_NOOP("AdapterCheck", "One exchange"),
             w(QT_TRANSLATE_NOOP("AdapterCheck", "not measured")));
    }

    QString module;
    const qint64 explainedUs = lineTimeUs(id, a.lineRate > 0 ? a.lineRate : a.portRate);
    if (a.network) {
        r.wireless = true;
        module = w(QT_TRANSLATE_NOOP("AdapterCheck", "yes: a network (Wi-Fi) adapter"));
    } else if (a.virtualRate && !a.rateFoundVirtual) {
        r.wireless = true;
        module = w(QT_TRANSLATE_NOOP("AdapterCheck", "yes: a Bluetooth serial port"));
    } else if (adapterUs >= 0 && adapterUs > explainedUs + ModuleMarginUs) {
        r.wireless = true;
        module = w(QT_TRANSLATE_NOOP("AdapterCheck",
                                     "likely: an adapter command takes %1 ms, the line "
                                     "explains %2 ms"))
                     .arg(ms(adapterUs), ms(explainedUs));
    } else if (a.rateFoundVirtual) {
        r.wireless = true;
        module = w(QT_TRANSLATE_NOOP("AdapterCheck",
                                     "likely: the adapter answered a rate switch at its old "
                                     "rate"));
    } else if (adapterUs >= 0) {
        module = w(QT_TRANSLATE_NOOP("AdapterCheck",
                                     "not seen: an adapter command takes %1 ms, the line "
                                     "explains %2 ms"))
                     .arg(ms(adapterUs), ms(explainedUs));
    } else {
        module = w(QT_TRANSLATE_NOOP("AdapterCheck", "not measured"));
    }
    line(QT_TRANSLATE_NOOP("AdapterCheck", "Wireless module"), module);

    if (r.exchangeUs >= 0) {
        const int exchanges = BackupFile::transferExchanges(BackupPages);
        r.backupMs = exchanges * r.exchangeUs / 1000;
        const qint64 seconds = (r.backupMs + 500) / 1000;
        // Tenths below 10 s, where whole seconds say little.
        const QString time = r.backupMs < 9950
                                 ? w(QT_TRANSLATE_NOOP("AdapterCheck", "%1 s"))
                                       .arg(w.number(r.backupMs / 1000.0, 1))
                             : seconds >= 120
                                 ? w(QT_TRANSLATE_NOOP("AdapterCheck", "%1 min %2 s"))
                                       .arg(seconds / 60)
                                       .arg(seconds % 60)
                                 : w(QT_TRANSLATE_NOOP("AdapterCheck", "%1 s")).arg(seconds);
        line(QT_TRANSLATE_NOOP("AdapterCheck", "16-page backup"),
             (withDashboard ? w(QT_TRANSLATE_NOOP("AdapterCheck", "about %1 (%2 exchanges)"))
                            : w(QT_TRANSLATE_NOOP("AdapterCheck",
                                                  "at least %1 (%2 exchanges, and the "
                                                  "dashboard's time)")))
                 .arg(time)
                 .arg(exchanges));
    }
    return r;
}

} // namespace AdapterCheck
