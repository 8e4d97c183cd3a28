#pragma once

// The initialisation that puts the adapter into raw CAN mode, as data: the commands in order
// and what each must be answered with, built from the options of one session. The link runs
// it after every synchronisation (a session's start and every reset of the adapter).

#include <QByteArray>
#include <QList>

struct ElmOptions
{
    bool extended = true;        // the extended "st" command set ("st p33", "st br")
    bool adaptiveTiming = false; // "at at1"
    bool fastTransfers = true;   // raise the line rate; frames carry the response count
    int hostAddress = 0x74D;     // "at sh": the identifier the adapter sends with
    int deviceAddress = 0x745;   // "at cra": the identifier it accepts

    // The options of the settings store ("Link/FastTransfers", "CAN/HostAddress",
    // "CAN/DeviceAddress"; non-numeric addresses read as 0) with the caller's choices.
    static ElmOptions fromSettings(bool adaptiveTiming, bool extended);
};

struct ElmInitStep
{
    enum Answer {
        Ok,        // "OK" ("?" from an adapter that lacks the command is passed over)
        Banner,    // the identification, as after a reset
        RateSwitch // not a command: the line rate handshake (ElmRateSwitch)
    };
    QByteArray command; // without its carriage return; empty for RateSwitch
    Answer answer = Ok;

    bool operator==(const ElmInitStep &o) const
    {
        return command == o.command && answer == o.answer;
    }
};

QList<ElmInitStep> elmInitialisation(const ElmOptions &options);
