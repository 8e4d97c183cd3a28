#include "runner/CFGRunner.h"

#include "config/DashboardMemory.h"
#include "link/TcpTransport.h"
#include "models/ParameterListModel.h"
#include "models/VariantMapModel.h"
#include "runner/AdapterProbe.h"
#include "runner/DashboardProtocol.h"
#include "runner/RunnerOperation.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QtEndian>

// Every request and state change is debug output, off unless asked for:
// QT_LOGGING_RULES="kx4.runner.debug=true".
Q_LOGGING_CATEGORY(lcRunner, "kx4.runner", QtInfoMsg)

CFGRunner::CFGRunner(QObject *parent)
    : QObject(parent), stateTable(new VariantMapModel(this)),
      paramList(new ParameterListModel(this)), link(new ELM327IOBase(this)),
      connectWatch(new QTimer(this))
{
    // Listeners may take the result through a queued connection.
    qRegisterMetaType<CFGRunner::Operation>();
    link->setStrictMode(true);
    connectWatch->setSingleShot(true);
    connect(connectWatch, &QTimer::timeout, this, &CFGRunner::onConnectTimeout);
    connectLink();
    recordForDiagnostics();
    watchReadsForHistory();
}

void CFGRunner::connectLink()
{
    connect(link, &ELM327IOBase::connected, this, &CFGRunner::elm_connected);
    connect(link, &ELM327IOBase::disconnected, this, &CFGRunner::elm_disconnected);
    connect(link, &ELM327IOBase::ready, this, &CFGRunner::elm_ready);
    connect(link, &ELM327IOBase::error, this, &CFGRunner::elm_error);
    connect(link, &ELM327IOBase::read, this, &CFGRunner::elm_read);
    connect(link, &ELM327IOBase::adapterReset, this, &CFGRunner::elm_reset);
}

CFGRunner::~CFGRunner()
{
    delete probe;
    probe = nullptr;
    // The link resets an open adapter when it goes; nothing it says on the way out
    // may reach a half-destroyed controller.
    disconnect(link, nullptr, this, nullptr);
    delete link;
    link = nullptr;
    // An unfinished backup goes with its operation.
    operation.reset();
    endedOperations.clear();
}

QString CFGRunner::version()
{
    return QString::fromLatin1(Edition::Version);
}

CFGRunner::State CFGRunner::getState()
{
    return state;
}

QStringList CFGRunner::availablePorts()
{
    QStringList ports = availableSerialPorts();
    ports.removeAll(QStringLiteral("COM1"));
    return ports;
}

bool CFGRunner::validateDrop(QString filename, QByteArray data)
{
    Q_UNUSED(filename)
    Q_UNUSED(data)
    return true;
}

VariantMapModel *CFGRunner::stateTableModel()
{
    return stateTable;
}

ParameterListModel *CFGRunner::paramListModel()
{
    return paramList;
}

bool CFGRunner::isUrlReadable(QString str)
{
    const QString path = localFile(str);
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isReadable();
}

QString CFGRunner::localFile(const QString &pathOrUrl)
{
    const QString text = pathOrUrl.trimmed();
    if (text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QUrl(text, QUrl::TolerantMode).toLocalFile();
    return pathOrUrl;
}

int CFGRunner::positionsOf(int disp) const
{
    return disp == 1 ? 13 : 6;
}

int CFGRunner::engineForBoard(QVariantMap board)
{
    if (!board.contains(QStringLiteral("engidx")))
        return -1;
    const int place = engineNames.keys().indexOf(board.value(QStringLiteral("engidx")).toInt());
    return qMax(place, 0);
}

bool CFGRunner::connectToHost(QString port, int baud, bool adv)
{
    // The adapter check has the link until it ends.
    if (probe) {
        emit alert(tr("Another operation is in progress"));
        return false;
    }
    // A network adapter's address as the user types it ("192.168.0.10:35000").
    port = TcpTransport::portForAddress(port);
    QSettings settings;
    settings.setValue(QStringLiteral("port"), port);
    settings.setValue(QStringLiteral("baud"), baud);

    // A second connect made from an event handled while the first one probes rates is
    // refused by the link; it must not end the first one's quiet period early.
    const bool outerSetup = inSetup;
    inSetup = true;
    const bool ok = link->setup(port, uint(qMax(baud, 0)), true, adv);
    inSetup = outerSetup;
    qCInfo(lcRunner) << "connect" << port << "baud" << baud << (ok ? "ok" : "failed");

    if (ok) {
        // A connect over a running session starts afresh: writes queued for the old
        // session would otherwise go out on the first acknowledgement of the new one.
        clearSession();
        // Another adapter, or the same at another rate: its exchanges are timed afresh.
        exchangeTimer.clear();
        connectPort = port;
        connectBaud = baud;
        rememberNetworkPort(port);
        state = Connecting;
        emit stateChanged(Connecting);
        connectWatch->start(ConnectTimeoutMs);
        startDiscovery();
    } else if (link->setupFailure() != ELM327IOBase::SetupBusy) {
        failConnection(setupFailureText(port));
    }
    // Refused while another attempt probes rates: that one goes on and reports itself.
    return ok;
}

int CFGRunner::lineRate()
{
    return link->lineRate();
}

void CFGRunner::disconnectFromHost()
{
    link->close();
    if (state != NotConnected)
        setState(NotConnected);
    clearSession();
    emit disconnectedFromHost();
}

void CFGRunner::setState(State next, bool announce)
{
    if (state == next)
        return;
    qCDebug(lcRunner) << "state" << state << "->" << next;
    if (state == Idle)
        adapterResets = 0; // an operation starts
    state = next;
    if (announce)
        emit stateChanged(next);
}

void CFGRunner::clearSession()
{
    devInfo = QJsonObject();
    devConfig.clear();
    counters.forget();
    stateTable->setMap(QVariantMap());
    // Writes still queued from an interrupted operation belong to the old session: sent
    // on the first acknowledgement of the next one they would land in the middle of it.
    pendingWrites.clear();
    lastMessage.clear();
    adapterResets = 0;
    connectWatch->stop();
    // An operation cut off by the end of the session ends (a backup it made is not kept).
    const QString reason = endReason.isEmpty() ? tr("Connection closed") : endReason;
    endReason.clear();
    abandonOperation(reason);
    // A write the end of the session broke off.
    history.finish(false);
}

void CFGRunner::elm_connected()
{
    emit connectedToHost();
}

void CFGRunner::elm_disconnected()
{
    if (inSetup) {
        // Baud-rate detection closes and reopens the port; connectToHost reports the
        // outcome of the whole setup itself.
        return;
    }
    qCInfo(lcRunner) << "port closed in state" << state;
    clearSession();
    emit alert(tr("Connection closed"));
    emit disconnectedFromHost();
}

void CFGRunner::elm_ready()
{
    switch (state) {
    case Connecting:
        if (operation)
            operation->onReady();
        break;
    case Rebooting:
        // The restarted dashboard has gone quiet: the end of the session.
        if (operation)
            operation->onReady();
        else
            disconnectFromHost();
        break;
    case Reading:
    case Writing:
    case Uploading:
    case GenWrite:
    case Exporting:
    case Importing:
        // The adapter is back at its prompt and nothing was queued: the last request got
        // no usable reply (an adapter status text such as "BUS BUSY" decodes to a frame of
        // the wrong length). Without a retransmission the session would wait forever, and
        // a write given up here would leave a half-written table with the state back at
        // Idle as if all were done; a block sent again lands at the same place.
        retransmit(tr("no valid reply"));
        break;
    default:
        break;
    }
}

void CFGRunner::noteValue(int address, quint32 value)
{
    static_assert(int(PP_ODO_Saved) == MaintenanceCounters::SavedOdometer &&
                      int(PP_ODO_Current) == MaintenanceCounters::CurrentOdometer &&
                      int(PP_TIM_Saved) == MaintenanceCounters::SavedEngineTime &&
                      int(PP_TIM_Current) == MaintenanceCounters::CurrentEngineTime,
                  "the pages know the values by these numbers");
    const int which = counters.note(address, value);
    if (which >= 0)
        emit deviceParam(Param(which), QVariant(value));
}

void CFGRunner::startOperation(RunnerOperation *op)
{
    if (operation) {
        // Starts are made in Idle, where the one left can only be waiting for its read.
        const Operation kind = operation->kind();
        const bool done = operation->waiting();
        operation->cutOff();
        retireOperation();
        operationEnded(kind, done, QString(), QString());
    }
    operation.reset(op);
}

void CFGRunner::finishOperation(bool ok, const QString &reason, const QString &file)
{
    if (!operation)
        return;
    const Operation kind = operation->kind();
    retireOperation();
    qCDebug(lcRunner) << "operation" << kind << (ok ? "done" : "failed") << reason << file;
    operationEnded(kind, ok, reason, file);
}

void CFGRunner::refuseOperation(Operation kind, const QString &reason)
{
    emit alert(reason);
    operationEnded(kind, false, reason, QString());
}

void CFGRunner::operationEnded(Operation kind, bool ok, const QString &reason,
                               const QString &file)
{
    emit operationFinished(kind, ok, reason, file);
    // An import asked to back the dashboard up first goes on once everyone has heard of
    // that export's end.
    if (kind == OP_Export && !importAfterExport.isEmpty())
        onBackupBeforeImport(ok, reason, file);
}

void CFGRunner::abandonOperation(const QString &reason)
{
    if (!operation)
        return;
    const Operation kind = operation->kind();
    operation->cutOff();
    retireOperation();
    operationEnded(kind, false, reason, QString());
}

void CFGRunner::retireOperation()
{
    endedOperations.push_back(std::move(operation));
    updateTimeLeft();
    if (endedOperations.size() == 1)
        QMetaObject::invokeMethod(
            this, [this] { endedOperations.clear(); }, Qt::QueuedConnection);
}
