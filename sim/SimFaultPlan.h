#pragma once

// Which faults the simulated adapter and dashboard show, and at which CAN request.
// Requests are numbered from 1 in the order the adapter sends them on the bus; a fault
// hits `count` consecutive requests from `atRequest` on, or every request from there
// on when `count` is 0 or negative. Random faults (seeded) come on top of the fixed ones.

#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

struct SimFault
{
    enum Kind {
        DropReply,       // the dashboard answers but the reply is lost: "NO DATA"
        CanError,        // "CAN ERROR", the frame is not sent
        BusBusy,         // "BUS BUSY", the frame is not sent
        BufferFull,      // "BUFFER FULL" instead of the reply (the frame was sent)
        UnableToConnect, // "UNABLE TO CONNECT", the frame is not sent
        Stopped,         // "STOPPED" instead of the reply (the frame was sent)
        GarbageLine,     // a line without any hex digit before the reply
        NulBytes,        // stray NUL bytes inside the reply output
        WrongLength,     // every reply frame loses its last byte
        DuplicateReply,  // every reply line is printed twice
        DelayedReply,    // the reply comes `delayMs` late (after the time-out: "NO DATA")
        NeverAck,        // block writes are neither done nor acknowledged
        HangUp,          // the adapter goes away: the master side of the line is closed
        AdapterReset,    // the chip resets (supply dip) before it answers: see SimAdapter
        PowerCut         // the chip loses power for `delayMs` before it sends the frame
    };

    Kind kind = DropReply;
    int atRequest = 1;
    int count = 1;
    int delayMs = 200;

    bool hits(int request) const
    {
        return request >= atRequest && (count <= 0 || request < atRequest + count);
    }

    // Names used on the command line ("drop", "canerror", ...), in Kind order.
    static QStringList kindNames();
    static QString kindName(Kind kind);
    static bool kindFromName(const QString &name, Kind *kind);
    // "kind@request[xcount][:delayms]", e.g. "drop@3", "canerror@5x4", "delay@2:1500",
    // "hangup@10", "noack@1x0" (every write from the first on), "reset@7",
    // "powercut@7:500".
    static bool parse(const QString &text, SimFault *fault, QString *error);
};

class SimFaultPlan
{
public:
    void addFault(const SimFault &fault) { m_faults.append(fault); }
    void addFault(SimFault::Kind kind, int atRequest, int count = 1, int delayMs = 200);
    void clear();
    const QList<SimFault> &faults() const { return m_faults; }

    // Each request gets one of `kinds` with probability `rate` (0..1); same seed, same run.
    void setRandom(quint32 seed, double rate, const QList<SimFault::Kind> &kinds);
    bool hasRandom() const { return m_randomRate > 0 && !m_randomKinds.isEmpty(); }

    // The faults that hit request number `request` (1-based). Called once per request,
    // in order, so the random sequence depends only on the seed.
    QList<SimFault> faultsFor(int request);

private:
    QList<SimFault> m_faults;
    QList<SimFault::Kind> m_randomKinds;
    double m_randomRate = 0;
    QRandomGenerator m_random;
};
