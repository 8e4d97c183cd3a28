// The adapter check from the controller's side: it lends the link to an AdapterProbe while
// no session runs, takes it back when the probe is done and keeps the report for the
// diagnostics report.

#include "runner/AdapterProbe.h"
#include "runner/CFGRunner.h"

#include "link/TcpTransport.h"

#include <QDateTime>

bool CFGRunner::checkAdapter(QString port, int baud, bool adv)
{
    if (probe || state != NotConnected) {
        emit alert(tr("Another operation is in progress"));
        return false;
    }
    port = TcpTransport::portForAddress(port);
    connectPort = port;
    connectBaud = baud;
    qCInfo(lcRunner) << "adapter check" << port << "baud" << baud;
    // The link's signals go to the probe alone until it is done.
    disconnect(link, nullptr, this, nullptr);
    probe = new AdapterProbe(link, this);
    connect(probe, &AdapterProbe::finished, this, &CFGRunner::adapterCheckDone,
            Qt::QueuedConnection);
    probe->start(port, uint(qMax(baud, 0)), ElmOptions::fromSettings(true, adv));
    return true;
}

void CFGRunner::adapterCheckDone()
{
    AdapterCheck::Answers answers = probe->answers();
    probe->deleteLater();
    probe = nullptr;
    connectLink();
    if (!answers.opened)
        answers.failure = setupFailureText(connectPort);
    else if (!answers.adapterAnswered && connectBaud > 0 && !answers.network)
        answers.failure = tr("No adapter answered on %1 at %2 baud. It may still be at a faster "
                             "rate from an earlier session: the rate \"Automatic\" finds it.")
                              .arg(connectPort)
                              .arg(connectBaud);
    else if (!answers.adapterAnswered)
        answers.failure = tr("No adapter answered on %1").arg(connectPort);
    lastCheck = AdapterCheck::judge(answers, false).lines;
    lastCheckTime = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    const AdapterCheck::Report report = AdapterCheck::judge(answers, true);
    qCInfo(lcRunner) << "adapter check done: adapter" << report.adapterAnswered << "dashboard"
                     << report.dashboardAnswered;
    emit adapterChecked(QVariantMap{{QStringLiteral("adapter"), report.adapterAnswered},
                                    {QStringLiteral("dashboard"), report.dashboardAnswered},
                                    {QStringLiteral("text"), report.lines.join(QLatin1Char('\n'))},
                                    {QStringLiteral("failure"), answers.failure}});
}
