// The message layer: every request is one CAN data field of at most 8 bytes, headed by a
// little-endian control word. Bits 15-14 of the word select the memory operation and bits
// 13-0 carry the address: a block read at 0x0200 is 00 42 FF FF FF FF FF FF, a block write
// of six bytes at 0x0400 begins 00 C4.

#include "runner/CFGRunner.h"

#include <QTimer>
#include <QtEndian>

namespace {

constexpr int MaxRetransmissions = 9;
// The link recovers from an adapter reset on its own; an operation that sees more than
// this many has an adapter that cannot be relied on.
constexpr int MaxAdapterResets = 3;
constexpr quint16 OpMask = 0xC000;
constexpr quint16 OpRead = 0x4000;
constexpr quint16 OpWrite = 0xC000;
constexpr quint16 AddressMask = 0x3FFF;

quint16 wordOf(const QByteArray &message)
{
    return qFromLittleEndian<quint16>(message.constData());
}

// Every request draws one reply, but for the two restart commands, which the dashboard
// answers by restarting (01 10 into firmware-update mode, 01 11 a plain restart).
int repliesTo(const QByteArray &message)
{
    if (message.size() == 2 && message.at(0) == '\x01' &&
        (message.at(1) == '\x10' || message.at(1) == '\x11'))
        return 0;
    return 1;
}

// The update-checking edition reads no maintenance values: there these words are
// ordinary block replies.
bool isMaintenanceWord(quint16 word)
{
    return Edition::HasMaintenanceValues && word >= 0x7FFB && word <= 0x7FFE;
}

} // namespace

void CFGRunner::sendMessage(QByteArray message)
{
    lastMessage = message;
    retryCount = 0;
    qCDebug(lcRunner) << "send" << message.toHex(' ');
    link->writeRequest(message, repliesTo(message));
}

void CFGRunner::writeBlock(QByteArray data, int address)
{
    if (!link->isOpen() || data.size() > 6)
        return;
    if (address < 0 || address > AddressMask) {
        // Above 14 bits the address would run into the operation bits and turn the
        // write into another operation somewhere else in the dashboard's memory.
        qCWarning(lcRunner) << "block write outside the address space refused:" << address;
        return;
    }
    QByteArray message(8, '\xFF');
    qToLittleEndian<quint16>(quint16(OpWrite | address), message.data());
    message.replace(2, data.size(), data);
    sendMessage(message);
}

void CFGRunner::sendBlockRead(int address)
{
    if (address < 0 || address > AddressMask) {
        qCWarning(lcRunner) << "block read outside the address space refused:" << address;
        return;
    }
    QByteArray message(8, '\xFF');
    qToLittleEndian<quint16>(quint16(OpRead | address), message.data());
    sendMessage(message);
}

void CFGRunner::retransmit(const QString &reason)
{
    if (!lastMessage.isEmpty() && ++retryCount <= MaxRetransmissions) {
        qCInfo(lcRunner) << "retransmission" << retryCount << lastMessage.toHex(' ') << reason;
        // Straight to the link, not through sendMessage, so the count keeps running.
        link->writeRequest(lastMessage, repliesTo(lastMessage));
        return;
    }
    communicationError(reason);
}

void CFGRunner::communicationError(const QString &reason)
{
    if (state == Rebooting) {
        // A restarting dashboard is silent: that is the expected end of the session.
        finishRestart();
        return;
    }
    if (connectWatch->isActive()) {
        qCWarning(lcRunner) << "no answer while connecting:" << reason;
        failConnection(stalledConnectionText());
        return;
    }
    qCWarning(lcRunner) << "communication error:" << reason;
    emit alert(tr("Communication error") + QStringLiteral(": ") + reason);
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
    if (++adapterResets > MaxAdapterResets)
        communicationError(tr("adapter reset"));
}

// A reply counts only when it answers the request in flight. A duplicated or late reply to
// an earlier request would otherwise start a second chain of requests beside the first one
// (and a stale block reply would land at the wrong offset of the image being read).
bool CFGRunner::answersRequestInFlight(quint16 word, const QByteArray &payload) const
{
    if (lastMessage.size() < 2)
        return false;
    const quint16 sent = wordOf(lastMessage);
    if (word == 0xFFFF || isMaintenanceWord(word))
        return sent == word;
    if ((word & 0xFEFF) == 0x0030) {
        const quint16 acked = qFromLittleEndian<quint16>(payload.constData());
        return lastMessage.size() == 8 && (sent & OpMask) == OpWrite &&
               (sent & AddressMask) == acked;
    }
    return lastMessage.size() == 8 && (sent & OpMask) == OpRead &&
           (sent & AddressMask) == (word & AddressMask);
}

void CFGRunner::elm_read(QByteArray data)
{
    if (data.size() != 8)
        return;
    const quint16 word = wordOf(data);
    const QByteArray payload = data.mid(2);

    if (!answersRequestInFlight(word, payload)) {
        qCDebug(lcRunner) << "dropped reply" << data.toHex(' ') << "in state" << state;
        return;
    }

    if (word == 0xFFFF) {
        onDeviceInfo(payload);
    } else if (isMaintenanceWord(word)) {
        onMaintenanceValue(word, payload);
    } else if ((word & 0xFEFF) == 0x0030) {
        onAcknowledge(qFromLittleEndian<quint16>(payload.constData()));
    } else {
        onBlockReply(word & AddressMask, payload);
    }
}

void CFGRunner::onAcknowledge(int address)
{
    if (!pendingWrites.isEmpty()) {
        const auto next = pendingWrites.takeFirst();
        writeBlock(next.second, next.first);
        return;
    }
    switch (state) {
    case Writing: {
        const int next = quint16(address + 6);
        if (next <= 0x01FF)
            continueParamWrite(next);
        else
            continueBoardWrite(next);
        break;
    }
    case Uploading:
        continueSplashUpload(address);
        break;
    case Importing:
        onImportAcknowledge(address);
        break;
    case GenWrite:
        // After a maintenance reset the four values are read again (FE 7F first), so
        // the interface shows what the dashboard now holds.
        if (rereadingMaintenance)
            sendMessage(QByteArray("\xFE\x7F", 2));
        else
            setState(Idle);
        break;
    default:
        break;
    }
}

void CFGRunner::onBlockReply(int address, const QByteArray &payload)
{
    switch (state) {
    case Exporting:
        onExportChunk(address, payload);
        break;
    case Reading: {
        const int pages = devInfo.value(QStringLiteral("pages")).toInt();
        if (address >= pages * 1024)
            return;
        if (phase == P_Params)
            onParamChunk(address, payload);
        else if (phase == P_Config)
            onBoardChunk(address, payload);
        break;
    }
    default:
        break;
    }
}
