#include "sim/SimFamily.h"

#include "sim/PtySimulator.h"

namespace {

struct BaseFamily
{
    const char *name;
    SimAdapter::Kind kind;
    const char *identification;
    SimAdapter::VoltageReply voltage;
    bool cloneResponseCount;
    bool cloneRateSwitch;
    bool countNoData;
};

// The families people own (sim/README.md says what each is modelled on). The clone kind
// answers "?" to the digit and "at brd" unless told otherwise; the genuine and the extended
// kind know both.
const BaseFamily kFamilies[] = {
    // A chip that calls itself v1.5 and knows everything the genuine chip does.
    {"genuine-v1.5", SimAdapter::Genuine, "ELM327 v1.5", SimAdapter::ReadsVoltage, false, false,
     false},
    {"genuine-v2.1", SimAdapter::Genuine, "ELM327 v2.1", SimAdapter::ReadsVoltage, false, false,
     false},
    // The common clone: "?" to the response-count digit and to "at brd".
    {"clone-v1.5", SimAdapter::Clone, "ELM327 v1.5", SimAdapter::ReadsVoltage, false, false, false},
    // The extended kind that takes the digit but answers every request carrying it "NO DATA".
    {"extended-nodata", SimAdapter::Extended, "ELM327 v1.4b", SimAdapter::ReadsVoltage, false,
     false, true},
    // A gateway or emulator speaking the chip's commands: the digit, no UART rate to switch
    // and nothing but the prompt for "at rv" (kx4-sim --rv ? for one that answers "?").
    {"gateway", SimAdapter::Clone, "ELM327 v2.1", SimAdapter::SilentVoltage, true, false, false},
    {"extended", SimAdapter::Extended, "ELM327 v1.4b", SimAdapter::ReadsVoltage, false, false,
     false},
};

struct ModuleSuffix
{
    const char *suffix;
    SimFamily::Module module;
};
const ModuleSuffix kModules[] = {{"+bt", SimFamily::Bluetooth}, {"+wifi", SimFamily::WiFi}};

} // namespace

void SimFamily::applyTo(SimAdapter &adapter) const
{
    adapter.setKind(kind);
    adapter.setIdentification(identification);
    adapter.setVoltageReply(voltage);
    adapter.setCloneResponseCount(cloneResponseCount);
    adapter.setCloneRateSwitch(cloneRateSwitch);
    adapter.setCountDrawsNoData(countNoData);
}

void SimFamily::applyTo(PtySimulator &sim) const
{
    applyTo(sim.adapter());
    if (hasModule())
        sim.setModule(moduleUpMs(), moduleDownMs());
    else
        sim.setModule(-1, -1);
}

bool SimFamily::find(const QString &name, SimFamily *family)
{
    QString base = name.trimmed().toLower();
    Module module = NoModule;
    for (const ModuleSuffix &m : kModules) {
        if (base.endsWith(QLatin1String(m.suffix))) {
            base.chop(int(qstrlen(m.suffix)));
            module = m.module;
            break;
        }
    }
    for (const BaseFamily &b : kFamilies) {
        if (base != QLatin1String(b.name))
            continue;
        SimFamily f;
        f.name = name.trimmed().toLower();
        f.kind = b.kind;
        f.identification = b.identification;
        f.voltage = b.voltage;
        f.cloneResponseCount = b.cloneResponseCount;
        f.cloneRateSwitch = b.cloneRateSwitch;
        f.countNoData = b.countNoData;
        f.module = module;
        *family = f;
        return true;
    }
    return false;
}

QStringList SimFamily::baseNames()
{
    QStringList names;
    for (const BaseFamily &b : kFamilies)
        names << QLatin1String(b.name);
    return names;
}

QStringList SimFamily::names()
{
    const QStringList bases = baseNames();
    QStringList all = bases;
    for (const ModuleSuffix &m : kModules) {
        for (const QString &b : bases)
            all << b + QLatin1String(m.suffix);
    }
    return all;
}

QString SimFamily::unknownNameMessage(const QString &name)
{
    return QStringLiteral("unknown adapter family \"%1\"; known: %2, each alone or followed by "
                          "+bt (behind a Bluetooth module) or +wifi (behind a Wi-Fi module)")
        .arg(name, baseNames().join(QLatin1String(", ")));
}

SimFamily::Module SimFamily::moduleFromName(const QString &name)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("bluetooth") || n == QLatin1String("bt"))
        return Bluetooth;
    if (n == QLatin1String("wifi"))
        return WiFi;
    return NoModule;
}

int SimFamily::moduleLatencyMs(Module module)
{
    switch (module) {
    case Bluetooth:
        return 20;
    case WiFi:
        return 5;
    case NoModule:
        break;
    }
    return -1;
}
