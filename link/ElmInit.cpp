#include "link/ElmInit.h"

#include <QSettings>
#include <QString>

ElmOptions ElmOptions::fromSettings(bool adaptiveTiming, bool extended)
{
    QSettings settings;
    ElmOptions o;
    o.extended = extended;
    o.adaptiveTiming = adaptiveTiming;
    o.fastTransfers = settings.value(QStringLiteral("Link/FastTransfers"), true).toBool();
    o.hostAddress = settings.value(QStringLiteral("CAN/HostAddress"), 0x74D).toInt();
    o.deviceAddress = settings.value(QStringLiteral("CAN/DeviceAddress"), 0x745).toInt();
    return o;
}

QList<ElmInitStep> elmInitialisation(const ElmOptions &o)
{
    QList<ElmInitStep> steps;
    auto ok = [&steps](const QByteArray &command) { steps << ElmInitStep{command, ElmInitStep::Ok}; };
    steps << ElmInitStep{"atws", ElmInitStep::Banner};
    for (const char *command : {"at e0", "at s0", "at h0", "at l0", "at d0", "at at 0", "at st ff"})
        ok(command);
    if (o.extended) {
        ok("st p33");
        ok("st pbr500000");
    } else {
        ok("at tp6");
    }
    // The identifiers in lowercase hexadecimal without padding: "at sh 74d".
    ok(QStringLiteral("at sh %1").arg(o.hostAddress, 0, 16).toLatin1());
    ok(QStringLiteral("at cra %1").arg(o.deviceAddress, 0, 16).toLatin1());
    if (o.adaptiveTiming)
        ok("at at1");
    ok("at al");
    ok("at caf0");
    ok("at cfc0");
    // Raising the line rate is the initialisation's last step, so it follows a reset too.
    if (o.fastTransfers)
        steps << ElmInitStep{QByteArray(), ElmInitStep::RateSwitch};
    return steps;
}
