#include "runner/CFGRunner.h"

#include "link/TcpTransport.h"
#include "models/ParameterListModel.h"
#include "models/VariantMapModel.h"

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
    link->setStrictMode(true);
    connectWatch->setSingleShot(true);
    connect(connectWatch, &QTimer::timeout, this, &CFGRunner::onConnectTimeout);
    connect(link, &ELM327IOBase::connected, this, &CFGRunner::elm_connected);
    connect(link, &ELM327IOBase::disconnected, this, &CFGRunner::elm_disconnected);
    connect(link, &ELM327IOBase::ready, this, &CFGRunner::elm_ready);
    connect(link, &ELM327IOBase::error, this, &CFGRunner::elm_error);
    connect(link, &ELM327IOBase::read, this, &CFGRunner::elm_read);
    connect(link, &ELM327IOBase::adapterReset, this, &CFGRunner::elm_reset);
    recordForDiagnostics();
    watchReadsForHistory();
}

CFGRunner::~CFGRunner()
{
    // The link resets an open adapter when it goes; nothing it says on the way out
    // may reach a half-destroyed controller.
    disconnect(link, nullptr, this, nullptr);
    delete link;
    link = nullptr;
    closeBackupFile();
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
    const QString path = QUrl(str.trimmed(), QUrl::TolerantMode).toLocalFile();
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isReadable();
}

bool CFGRunner::connectToHost(QString port, int baud, bool adv)
{
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
        connectPort = port;
        connectBaud = baud;
        rememberNetworkPort(port);
        state = Connecting;
        emit stateChanged(Connecting);
        connectWatch->start(ConnectTimeoutMs);
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
    savedValueCount = 0;
    stateTable->setMap(QVariantMap());
    // Writes still queued from an interrupted operation belong to the old session: sent
    // on the first acknowledgement of the next one they would land in the middle of it.
    pendingWrites.clear();
    lastMessage.clear();
    adapterResets = 0;
    // A backup cut off by the end of the session is not kept.
    closeBackupFile();
    connectWatch->stop();
    currentValuesKnown = 0;
    rereadingMaintenance = false;
    restartNotice.clear();
    // A write the end of the session broke off.
    finishHistory(false);
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
        sendMessage(QByteArray("\xFF\xFF", 2));
        setState(Reading);
        break;
    case Rebooting:
        finishRestart();
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

void CFGRunner::onDeviceInfo(const QByteArray &payload)
{
    const auto byte = [&payload](int i) { return int(quint8(payload.at(i))); };
    // A dashboard answered: the connection attempt has succeeded.
    connectWatch->stop();
    if (byte(0) == 0xFF) {
        qCInfo(lcRunner) << "device reports no valid information";
        setState(Idle, false);
        requestConfig();
        return;
    }
    devInfo = QJsonObject{{QStringLiteral("version"), byte(0)}, {QStringLiteral("pages"), byte(1)},
                          {QStringLiteral("count"), byte(2)},   {QStringLiteral("disp"), byte(3)},
                          {QStringLiteral("r4"), byte(4)},      {QStringLiteral("r5"), byte(5)}};
    qCInfo(lcRunner) << "device info" << devInfo;
    emit deviceInfo(devInfo.toVariantMap());
    if (!Edition::HasMaintenanceValues) {
        setState(Idle, false);
        requestConfig();
        return;
    }
    sendMessage(QByteArray("\xFE\x7F", 2));
}

void CFGRunner::onMaintenanceValue(quint16 word, const QByteArray &payload)
{
    const quint32 value = qFromLittleEndian<quint32>(payload.constData());
    switch (word) {
    case 0x7FFE:
        ++savedValueCount;
        savedOdometer = value;
        emit deviceParam(PP_ODO_Saved, QVariant(value));
        sendMessage(QByteArray("\xFD\x7F", 2));
        break;
    case 0x7FFD:
        currentOdometer = value;
        currentValuesKnown |= 1;
        emit deviceParam(PP_ODO_Current, QVariant(value));
        sendMessage(QByteArray("\xFC\x7F", 2));
        break;
    case 0x7FFC:
        ++savedValueCount;
        savedEngineTime = value;
        emit deviceParam(PP_TIM_Saved, QVariant(value));
        sendMessage(QByteArray("\xFB\x7F", 2));
        break;
    case 0x7FFB:
        currentEngineTime = value;
        currentValuesKnown |= 2;
        emit deviceParam(PP_TIM_Current, QVariant(value));
        if (rereadingMaintenance) {
            // The values after a maintenance reset: nothing else to read.
            rereadingMaintenance = false;
            setState(Idle);
            break;
        }
        setState(Idle, false);
        requestConfig();
        break;
    default:
        break;
    }
}
