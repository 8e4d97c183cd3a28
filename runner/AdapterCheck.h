#pragma once

// The adapter check: what an ELM327-class adapter is and can do, judged from what it
// answered. AdapterProbe asks the adapter through the link and fills in Answers; judge()
// turns them into the report, with no port, timer or adapter involved.

#include "link/ELM327IOBase.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace AdapterCheck {

// Read-only commands that a genuine chip of a version and every later one answers, and that
// an adapter with the first version's command set (what most clones implement, whatever
// they call themselves) answers with "?". A model of the chips' documentation, to be checked
// against real chips; the simulator answers them the same way.
struct VersionCommand
{
    const char *command;
    int level; // the version that brought it, times 100 (140: v1.4)
    const char *meaning;
};
const QList<VersionCommand> &versionCommands();

// The adapter's own identification, its description, the extended set's identification and
// the supply voltage; asked before the version commands.
QList<QByteArray> identityCommands();
constexpr const char *IdentificationCommand = "ati";
constexpr const char *DescriptionCommand = "at@1";
constexpr const char *ExtendedCommand = "sti";
constexpr const char *VoltageCommand = "at rv";
// The command timed when no dashboard answers, and beside the dashboard's requests to see a
// wireless module: answered by every adapter, from the chip alone.
constexpr const char *TimedCommand = "ati";
constexpr int TimedExchanges = 20;

// "ELM327 v2.1" -> 210, "ELM327 v1.4b" -> 140; 0 when it names no version.
int versionOf(const QByteArray &identification);

struct Answers
{
    QString port;          // as shown to the user
    bool opened = false;   // the port opened and an adapter was found on it
    QString failure;       // why not, for the user
    bool adapterAnswered = false; // the link got in step and initialised the adapter
    bool network = false;         // a network (Wi-Fi) adapter
    bool virtualRate = false;     // a port whose rate means nothing (Bluetooth serial)
    // Not the port's name or description but the session showed it: commands answered no
    // faster than through a module, or a rate switch answered at the old rate.
    bool rateFoundVirtual = false;
    qint32 portRate = 0; // the rate set on the port, where the link reports none
    bool fastTransfers = false;
    bool extendedSet = false; // the session used the extended set ("st br" for the rate)
    // Each command asked and the lines that answered it (none: only the prompt; a command
    // missing from the map was not answered at all).
    QMap<QByteArray, QList<QByteArray>> answers;
    QByteArray warmStartId; // what the adapter said to the link's warm start
    ELM327IOBase::CountOutcome count = ELM327IOBase::CountUnused;
    ELM327IOBase::RateSwitchRecord rate;
    qint32 lineRate = 0; // the rate in use at the end (0: none, a network adapter)
    bool dashboardAnswered = false;
    QVariantMap dashboard;             // the device information ("version", "pages", ...)
    QList<qint64> dashboardExchangeUs; // one per request
    QList<qint64> adapterExchangeUs;   // one per TimedCommand
};

struct Report
{
    bool adapterAnswered = false;
    bool dashboardAnswered = false;
    // Whether it answers like the chip it names: 1 yes, 0 no, -1 cannot be told.
    int genuine = -1;
    qint64 exchangeUs = -1; // the median exchange (the dashboard's when it answered)
    bool wireless = false;
    qint64 backupMs = -1;   // 16 pages
    QStringList lines;
};

// The median of `us` (the lower middle one of an even count), -1 for none.
qint64 median(QList<qint64> us);
// How long the line itself takes for the timed command and its answer at `rate`.
qint64 lineTimeUs(const QByteArray &identification, qint32 rate);
// Beyond the line's own time, an exchange through a wireless module waits for its packets
// each way; USB-serial cables add up to their 16 ms latency timer.
constexpr qint64 ModuleMarginUs = 25000;

// The report; `translated`: in the interface's language, else in English (the command line,
// the diagnostics report).
Report judge(const Answers &answers, bool translated);

} // namespace AdapterCheck
