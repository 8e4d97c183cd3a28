#pragma once

// Named adapter families: the settings that make the simulated chip behave like one kind of
// adapter people own (what it calls itself, which of the commands beyond the basic set it
// knows, what it answers to "at rv"), alone or behind a Bluetooth or a Wi-Fi module.
// A family only chooses among the settings SimAdapter and PtySimulator already have;
// sim/README.md says what each family is modelled on.
//
//   SimFamily f;
//   if (SimFamily::find(QStringLiteral("clone-v1.5+bt"), &f))
//       f.applyTo(sim); // a PtySimulator, before or after start()

#include "sim/SimAdapter.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class PtySimulator;

struct SimFamily
{
    enum Module {
        NoModule,
        Bluetooth, // "+bt": 20 ms each way per burst
        WiFi       // "+wifi": 5 ms each way; reached over TCP (kx4-sim --tcp)
    };

    QString name; // "genuine-v2.1", "clone-v1.5+bt"
    SimAdapter::Kind kind = SimAdapter::Clone;
    QByteArray identification; // what "ati" prints
    SimAdapter::VoltageReply voltage = SimAdapter::ReadsVoltage;
    bool cloneResponseCount = false; // a chip of the clone kind that knows the digit
    bool cloneRateSwitch = false;    // ... and "at brd"
    bool countNoData = false;        // every request with the digit draws "NO DATA"
    Module module = NoModule;

    bool hasModule() const { return module != NoModule; }
    int moduleUpMs() const { return moduleLatencyMs(module); }
    int moduleDownMs() const { return moduleLatencyMs(module); }
    // What the chip does with the response-count digit and "at brd", as SimAdapter decides.
    bool knowsResponseCount() const { return kind != SimAdapter::Clone || cloneResponseCount; }
    bool knowsRateSwitch() const { return kind != SimAdapter::Clone || cloneRateSwitch; }

    // Sets the chip (kind, identification, the commands it knows, "at rv").
    void applyTo(SimAdapter &adapter) const;
    // The chip and the module: a family without one takes a module set before out.
    void applyTo(PtySimulator &sim) const;

    // The family called `name` (case does not matter), a base family optionally followed by
    // "+bt" or "+wifi". False for any other name.
    static bool find(const QString &name, SimFamily *family);
    // The base families, in the table's order, and every name find() knows (each base
    // family alone, then behind each module).
    static QStringList baseNames();
    static QStringList names();
    // "unknown adapter family "x"; known: ..." for an error message.
    static QString unknownNameMessage(const QString &name);

    // The named modules ("bluetooth" or "bt", "wifi") and their latency per burst each way
    // in milliseconds; NoModule for any other name.
    static Module moduleFromName(const QString &name);
    static int moduleLatencyMs(Module module);
};
