#include "tests/common/RunnerRecorder.h"

#include <QMetaEnum>

namespace {

template<typename E> QString enumName(E value)
{
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(int(value)));
}

} // namespace

RunnerRecorder::RunnerRecorder(CFGRunner *runner) : QObject(runner)
{
    connect(runner, &CFGRunner::stateChanged, this, [this](CFGRunner::State s) {
        add(QStringLiteral("stateChanged:") + enumName(s), int(s));
    });
    connect(runner, &CFGRunner::connectedToHost, this,
            [this] { add(QStringLiteral("connectedToHost")); });
    connect(runner, &CFGRunner::disconnectedFromHost, this,
            [this] { add(QStringLiteral("disconnectedFromHost")); });
    connect(runner, &CFGRunner::deviceDiscovered, this,
            [this](const QString &info) { add(QStringLiteral("deviceDiscovered"), info); });
    connect(runner, &CFGRunner::deviceConfig, this,
            [this](const QVariantList &config) { add(QStringLiteral("deviceConfig"), config); });
#if !KX4_UPDATE_EDITION
    connect(runner, &CFGRunner::boardConfig, this,
            [this](const QVariantMap &config) { add(QStringLiteral("boardConfig"), config); });
#endif
    connect(runner, &CFGRunner::deviceInfo, this,
            [this](const QVariantMap &info) { add(QStringLiteral("deviceInfo"), info); });
#if !KX4_UPDATE_EDITION
    connect(runner, &CFGRunner::deviceParam, this,
            [this](CFGRunner::Param kind, const QVariant &value) {
                add(QStringLiteral("deviceParam:") + enumName(kind), value);
            });
#endif
    connect(runner, &CFGRunner::alert, this,
            [this](const QString &msg) { add(QStringLiteral("alert:") + msg, msg); });
    connect(runner, &CFGRunner::configUpdated, this,
            [this] { add(QStringLiteral("configUpdated")); });
    connect(runner, &CFGRunner::paramsUpdated, this,
            [this] { add(QStringLiteral("paramsUpdated")); });
    connect(runner, &CFGRunner::progress, this,
            [this](double value) { add(QStringLiteral("progress"), value); });
    connect(runner, &CFGRunner::connectionFailed, this,
            [this](const QString &reason) { add(QStringLiteral("connectionFailed"), reason); });
    connect(runner, &CFGRunner::splashLoaded, this,
            [this](bool res) { add(QStringLiteral("splashLoaded"), res); });
}

void RunnerRecorder::add(const QString &name, const QVariant &value)
{
    m_events.append(Event{name, value});
}

QStringList RunnerRecorder::names(const QStringList &filter) const
{
    QStringList result;
    for (const Event &e : m_events) {
        if (filter.isEmpty() || std::any_of(filter.cbegin(), filter.cend(), [&e](const QString &f) {
                return e.name.startsWith(f);
            }))
            result.append(e.name);
    }
    return result;
}

QList<double> RunnerRecorder::progressValues() const
{
    QList<double> values;
    for (const Event &e : m_events) {
        if (e.name == QLatin1String("progress"))
            values.append(e.value.toDouble());
    }
    return values;
}

QStringList RunnerRecorder::alerts() const
{
    QStringList texts;
    for (const Event &e : m_events) {
        if (e.name.startsWith(QLatin1String("alert:")))
            texts.append(e.value.toString());
    }
    return texts;
}

QList<CFGRunner::State> RunnerRecorder::states() const
{
    QList<CFGRunner::State> result;
    for (const Event &e : m_events) {
        if (e.name.startsWith(QLatin1String("stateChanged:")))
            result.append(CFGRunner::State(e.value.toInt()));
    }
    return result;
}

QVariant RunnerRecorder::last(const QString &name) const
{
    for (auto it = m_events.crbegin(); it != m_events.crend(); ++it) {
        if (it->name == name)
            return it->value;
    }
    return QVariant();
}

int RunnerRecorder::count(const QString &name) const
{
    return int(std::count_if(m_events.cbegin(), m_events.cend(),
                             [&name](const Event &e) { return e.name == name; }));
}
