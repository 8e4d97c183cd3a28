#include "sim/SimFaultPlan.h"

namespace {
const char *const kKindNames[] = {"drop",    "canerror", "busbusy", "bufferfull",  "unable",
                                  "stopped", "garbage",  "nul",     "wronglength", "duplicate",
                                  "delay",   "noack",    "hangup",  "reset",       "powercut"};
constexpr int kKindCount = int(sizeof(kKindNames) / sizeof(kKindNames[0]));
} // namespace

QStringList SimFault::kindNames()
{
    QStringList names;
    for (const char *name : kKindNames)
        names << QString::fromLatin1(name);
    return names;
}

QString SimFault::kindName(Kind kind)
{
    return (kind >= 0 && kind < kKindCount) ? QString::fromLatin1(kKindNames[kind]) : QString();
}

bool SimFault::kindFromName(const QString &name, Kind *kind)
{
    const QString wanted = name.trimmed().toLower();
    for (int i = 0; i < kKindCount; ++i) {
        if (wanted == QLatin1String(kKindNames[i])) {
            *kind = Kind(i);
            return true;
        }
    }
    return false;
}

bool SimFault::parse(const QString &text, SimFault *fault, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("bad fault \"%1\": %2").arg(text, why);
        return false;
    };
    SimFault f;
    QString rest = text.trimmed();
    const int at = rest.indexOf(QLatin1Char('@'));
    if (at < 0)
        return fail(QStringLiteral("expected kind@request"));
    if (!kindFromName(rest.left(at), &f.kind))
        return fail(
            QStringLiteral("unknown kind; known: %1").arg(kindNames().join(QLatin1String(", "))));
    rest = rest.mid(at + 1);

    const int colon = rest.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        bool ok = false;
        f.delayMs = rest.mid(colon + 1).toInt(&ok);
        if (!ok || f.delayMs < 0)
            return fail(QStringLiteral("delay must be a number of milliseconds"));
        rest = rest.left(colon);
    }
    const int x = rest.indexOf(QLatin1Char('x'));
    if (x >= 0) {
        bool ok = false;
        f.count = rest.mid(x + 1).toInt(&ok);
        if (!ok)
            return fail(QStringLiteral("count must be a number (0: every request from there on)"));
        rest = rest.left(x);
    }
    bool ok = false;
    f.atRequest = rest.toInt(&ok);
    if (!ok || f.atRequest < 1)
        return fail(QStringLiteral("request number must be 1 or more"));
    *fault = f;
    return true;
}

void SimFaultPlan::addFault(SimFault::Kind kind, int atRequest, int count, int delayMs)
{
    SimFault f;
    f.kind = kind;
    f.atRequest = atRequest;
    f.count = count;
    f.delayMs = delayMs;
    m_faults.append(f);
}

void SimFaultPlan::clear()
{
    m_faults.clear();
    m_randomKinds.clear();
    m_randomRate = 0;
}

void SimFaultPlan::setRandom(quint32 seed, double rate, const QList<SimFault::Kind> &kinds)
{
    m_random.seed(seed);
    m_randomRate = qBound(0.0, rate, 1.0);
    m_randomKinds = kinds;
}

QList<SimFault> SimFaultPlan::faultsFor(int request)
{
    QList<SimFault> hit;
    for (const SimFault &f : qAsConst(m_faults)) {
        if (f.hits(request))
            hit.append(f);
    }
    if (hasRandom()) {
        // Always draw both numbers, so the sequence does not depend on the outcome.
        const double roll = m_random.generateDouble();
        const int pick = int(m_random.bounded(quint32(m_randomKinds.size())));
        if (roll < m_randomRate) {
            SimFault f;
            f.kind = m_randomKinds.at(pick);
            f.atRequest = request;
            hit.append(f);
        }
    }
    return hit;
}
