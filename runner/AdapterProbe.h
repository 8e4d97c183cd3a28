#pragma once

// The adapter check's talking part: sets the link up as a connection does (rate detection,
// initialisation, the fast-transfer setup), asks the adapter the check's commands, times
// dashboard requests and adapter commands, closes the link and hands the answers over
// (AdapterCheck::judge makes the report of them). It has the link to itself while it runs.

#include "link/ELM327IOBase.h"
#include "runner/AdapterCheck.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class AdapterProbe : public QObject
{
    Q_OBJECT
public:
    explicit AdapterProbe(ELM327IOBase *link, QObject *parent = nullptr);
    ~AdapterProbe() override;

    // Opens `port` and runs the check; finished() follows, also when the port did not open
    // (setupFailure() of the link says why).
    void start(const QString &port, uint baud, const ElmOptions &options);
    const AdapterCheck::Answers &answers() const { return m_answers; }

    // No sign of the adapter (the initialisation, an answer, a prompt) for this long ends the
    // check with what it has. The link's own deadline for one exchange is shorter.
    static constexpr int QuietMs = 12000;

signals:
    void finished();

private:
    enum class Step { Idle, Initialising, Asking, Dashboard, Adapter, Done };

    void onReady();
    void onRead(const QByteArray &data);
    void onError(ELM327IOBase::ELM_ERROR code);
    void onAnswered(const QByteArray &command, const QList<QByteArray> &lines);
    void sendDashboardRequest();
    void sendTimedCommand();
    void finish();

    QPointer<ELM327IOBase> m_link;
    AdapterCheck::Answers m_answers;
    Step m_step = Step::Idle;
    QTimer m_quiet;
    QElapsedTimer m_clock;
    int m_pendingQueries = 0;
    int m_sent = 0;       // dashboard requests sent
    bool m_replied = false; // the request in flight drew the device information
};
