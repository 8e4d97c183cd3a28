// How a connection attempt ends when it does not reach a dashboard, and how a restart
// ends the session. The user always learns why: the port could not be opened (with the
// system's reason), no adapter answered, or the adapter answered and no dashboard did.

#include "runner/CFGRunner.h"

#include "link/SerialTransport.h"
#include "link/TcpTransport.h"

#include <QTimer>

void CFGRunner::failConnection(const QString &reason)
{
    qCWarning(lcRunner) << "connection failed:" << reason;
    emit connectionFailed(reason);
    disconnectFromHost();
}

QString CFGRunner::setupFailureText(const QString &port) const
{
    switch (link->setupFailure()) {
    case ELM327IOBase::SetupPortMissing:
        return tr("Cannot open %1: there is no such port").arg(port);
    case ELM327IOBase::SetupPortFailed: {
        if (SerialTransport::inUseElsewhere(link->setupPortError(), port))
            return tr("Cannot open %1: the port is in use by another program").arg(port);
        QString text = tr("Cannot open %1: %2").arg(port, link->setupErrorString());
#ifdef Q_OS_LINUX
        if (link->setupPortError() == QSerialPort::PermissionError)
            text += QLatin1Char('\n') +
                    tr("Serial ports belong to the dialout group: add your user to it "
                       "(sudo usermod -aG dialout $USER) and log in again.");
#endif
        return text;
    }
    case ELM327IOBase::SetupNoAdapter:
        return tr("No adapter answered on %1 at any baud rate").arg(port);
    case ELM327IOBase::SetupNetworkFailed:
        // Refused, no route, no answer within 5 s, closed: the link's words say which.
        return link->setupErrorString();
    case ELM327IOBase::SetupOk:
    case ELM327IOBase::SetupBusy:
        break;
    }
    return tr("Cannot connect to %1").arg(port);
}

QString CFGRunner::stalledConnectionText() const
{
    // Still initialising the adapter: nothing answered the commands at this rate.
    if (state == Connecting) {
        // A network adapter has no line rate. A serial one may still be at the faster rate
        // of a fast transfer, when the program was stopped before its closing reset took
        // the chip back to its start rate.
        if (connectBaud > 0 && !TcpTransport::isNetworkPort(connectPort))
            return tr("No adapter answered on %1 at %2 baud. It may still be at a faster rate "
                      "from an earlier session: the rate \"Automatic\" finds it.")
                .arg(connectPort)
                .arg(connectBaud);
        return tr("No adapter answered on %1").arg(connectPort);
    }
    return tr("The adapter on %1 answered, but no dashboard did: check that the dashboard "
              "is powered and wired to the adapter")
        .arg(connectPort);
}

void CFGRunner::onConnectTimeout()
{
    if (state != Connecting && state != Reading)
        return;
    failConnection(stalledConnectionText());
}

void CFGRunner::finishRestart()
{
    const QString notice = restartNotice;
    restartNotice.clear();
    disconnectFromHost();
    if (!notice.isEmpty())
        emit alert(notice);
}
