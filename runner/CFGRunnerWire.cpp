// The controller's wire layer: sending through the link, the retransmission of a lost
// reply, and the link's signals. The bytes themselves are DashboardProtocol's.

#include "runner/CFGRunner.h"

#include "config/DashboardMemory.h"
#include "runner/DashboardProtocol.h"
#include "runner/RunnerOperation.h"

#include <QTimer>


namespace {

constexpr int MaxRetransmissions = 9;
// The link recovers from an adapter reset on its own; an operation that sees more than
// this many has an adapter that cannot be relied on.
constexpr int MaxAdapterResets = 3;
// Before this many exchanges are timed there is no estimate of the time left.
constexpr size_t EstimateAfter = 5;

} // namespace

void CFGRunner::sendMessage(QByteArray message)
{
    lastMessage = message;
    retryCount = 0;
    qCDebug(lcRunner) << "send" << message.toHex(' ');
    // Timed from here, where the reply to the previous request has just been handled: the
    // time includes the wait for the adapter's prompt, as every exchange of a transfer does.
    exchangeTimer.sent();
    link->writeRequest(message, DashboardProtocol::repliesTo(message));
    if (operation) {
        operation->exchangeSent();
        updateTimeLeft();
    }
}

double CFGRunner::exchangeTimeMs() const
{
    return exchangeTimer.medianMs();
}

void CFGRunner::updateTimeLeft()
{
    int ms = -1;
    if (operation && operation->exchangesPlanned() > 0 &&
        exchangeTimer.count() >= EstimateAfter) {
        // The request just sent is still to go, with those not sent yet.
        const int left =
            qMax(1, operation->exchangesPlanned() - operation->exchangesSent() + 1);
        ms = qRound(left * exchangeTimeMs()) + operation->pausesLeftMs();
    }
    if (ms == m_timeLeftMs)
        return;
    m_timeLeftMs = ms;
    emit timeLeftChanged(ms);
}

void CFGRunner::writeBlock(QByteArray data, int address)
{
    if (!link->isOpen() || data.size() > DashboardProtocol::ChunkSize)
        return;
    const QByteArray message = DashboardProtocol::blockWrite(address, data);
    if (message.isEmpty()) {
        qCWarning(lcRunner) << "block write outside the address space refused:" << address;
        return;
    }
    sendMessage(message);
}

void CFGRunner::sendBlockRead(int address)
{
    const QByteArray message = DashboardProtocol::blockRead(address);
    if (message.isEmpty()) {
        qCWarning(lcRunner) << "block read outside the address space refused:" << address;
        return;
    }
    sendMessage(message);
}

void CFGRunner::retransmit(const QString &reason)
{
    if (!lastMessage.isEmpty() && ++retryCount <= MaxRetransmissions) {
        qCInfo(lcRunner) << "retransmission" << retryCount << lastMessage.toHex(' ') << reason;
        // The time-out is in its time: no measure of the link.
        exchangeTimer.spoiled();
        // Straight to the link, not through sendMessage, so the count keeps running.
        link->writeRequest(lastMessage, DashboardProtocol::repliesTo(lastMessage));
        return;
    }
    communicationError(reason);
}

void CFGRunner::communicationError(const QString &reason)
{
    if (state == Rebooting && operation) {
        // A restarting dashboard is silent: that is the expected end of the session.
        operation->onReady();
        return;
    }
    if (connectWatch->isActive()) {
        qCWarning(lcRunner) << "no answer while connecting:" << reason;
        failConnection(stalledConnectionText());
        return;
    }
    qCWarning(lcRunner) << "communication error:" << reason;
    const QString text = tr("Communication error") + QStringLiteral(": ") + reason;
    emit alert(text);
    endReason = text;
    disconnectFromHost();
}

void CFGRunner::elm_error(ELM327IOBase::ELM_ERROR code, QString reason)
{
    if (code == ELM327IOBase::ERR_NODATA) {
        retransmit(reason);
        return;
    }
    if (code == ELM327IOBase::ERR_OTHER &&
        reason == QLatin1String(ELM327IOBase::AdapterResetReason)) {
        communicationError(tr("adapter reset"));
        return;
    }
    communicationError(reason);
}

void CFGRunner::elm_reset()
{
    // The link has set the adapter up again and sends the request in flight once more.
    exchangeTimer.spoiled();
    if (++adapterResets > MaxAdapterResets)
        communicationError(tr("adapter reset"));
}

void CFGRunner::elm_read(QByteArray data)
{
    using DashboardProtocol::Reply;
    const Reply reply = DashboardProtocol::parseReply(data, Edition::HasMaintenanceValues);
    if (reply.kind == Reply::Ignored)
        return;
    // Only the answer to the request in flight counts.
    if (!DashboardProtocol::answers(lastMessage, reply)) {
        qCDebug(lcRunner) << "dropped reply" << data.toHex(' ') << "in state" << state;
        return;
    }
    exchangeTimer.answered();
    switch (reply.kind) {
    case Reply::DeviceInfo:
        // A dashboard answered: the connection attempt has succeeded.
        connectWatch->stop();
        // Device information and maintenance values are taken in every state: one that
        // comes after the discovery has ended starts its steps again.
        if (!operation)
            startDiscovery();
        operation->onDeviceInfo(reply.payload);
        break;
    case Reply::Value:
        if (!operation)
            startDiscovery();
        operation->onValue(reply.address, reply.value);
        break;
    case Reply::Acknowledge:
        onAcknowledge(reply.address);
        break;
    case Reply::Block:
        onBlockReply(reply.address, reply.payload);
        break;
    case Reply::Ignored:
        break;
    }
}

void CFGRunner::onAcknowledge(int address)
{
    // The queued writes go first, whatever runs (the maintenance points, an import).
    if (!pendingWrites.isEmpty()) {
        const auto next = pendingWrites.takeFirst();
        writeBlock(next.second, next.first);
        return;
    }
    switch (state) {
    case Writing:
    case Uploading:
    case Importing:
    case GenWrite:
        if (operation)
            operation->onAcknowledge(address);
        break;
    default:
        break;
    }
}

void CFGRunner::onBlockReply(int address, const QByteArray &payload)
{
    switch (state) {
    case Exporting:
    case Reading:
        if (operation)
            operation->onBlock(address, payload);
        break;
    default:
        break;
    }
}
