#include "runner/DashboardProtocol.h"

#include "config/DashboardMemory.h"

#include <QtEndian>

namespace DashboardProtocol {

namespace {

QByteArray wordBytes(quint16 word)
{
    QByteArray bytes(2, '\0');
    qToLittleEndian<quint16>(word, bytes.data());
    return bytes;
}

bool inAddressSpace(int address)
{
    return address >= 0 && address < DashboardMemory::AddressSpace;
}

quint16 wordOf(const QByteArray &message)
{
    return message.size() < 2 ? 0 : qFromLittleEndian<quint16>(message.constData());
}

} // namespace

QByteArray deviceInfoRequest()
{
    return wordBytes(DeviceInfoWord);
}

QByteArray valueRequest(int address)
{
    return wordBytes(quint16(OpRead | (address & AddressMask)));
}

QByteArray blockRead(int address)
{
    if (!inAddressSpace(address))
        return QByteArray();
    QByteArray message(FrameSize, '\xFF');
    qToLittleEndian<quint16>(quint16(OpRead | address), message.data());
    return message;
}

QByteArray blockWrite(int address, const QByteArray &data)
{
    if (!inAddressSpace(address) || data.size() > ChunkSize)
        return QByteArray();
    QByteArray message(FrameSize, '\xFF');
    qToLittleEndian<quint16>(quint16(OpWrite | address), message.data());
    message.replace(2, data.size(), data);
    return message;
}

QByteArray restartRequest(bool intoUpdateMode)
{
    return intoUpdateMode ? QByteArray("\x01\x10", 2) : QByteArray("\x01\x11", 2);
}

int repliesTo(const QByteArray &request)
{
    return request == restartRequest(true) || request == restartRequest(false) ? 0 : 1;
}

QByteArray chunk(const QByteArray &image, int offset)
{
    return image.mid(offset, ChunkSize);
}

int nextOffset(int address, int base)
{
    return quint16(address + ChunkSize - base);
}

Reply parseReply(const QByteArray &frame, bool withValues)
{
    Reply reply;
    if (frame.size() != FrameSize)
        return reply;
    reply.word = wordOf(frame);
    reply.payload = frame.mid(2);
    const int address = reply.word & AddressMask;
    if (reply.word == DeviceInfoWord) {
        reply.kind = Reply::DeviceInfo;
    } else if (withValues && (reply.word & OpMask) == OpRead &&
               address >= DashboardMemory::MaintenanceValues &&
               address <= DashboardMemory::SavedOdometer) {
        reply.kind = Reply::Value;
        reply.address = address;
        reply.value = qFromLittleEndian<quint32>(reply.payload.constData());
    } else if ((reply.word & 0xFEFF) == 0x0030) {
        reply.kind = Reply::Acknowledge;
        reply.address = qFromLittleEndian<quint16>(reply.payload.constData());
    } else {
        // The top two bits are not looked at: 10 40, 10 00 and 10 C0 all bring 0x0010.
        reply.kind = Reply::Block;
        reply.address = address;
    }
    return reply;
}

bool answers(const QByteArray &request, const Reply &reply)
{
    if (request.size() < 2)
        return false;
    const quint16 sent = wordOf(request);
    switch (reply.kind) {
    case Reply::DeviceInfo:
    case Reply::Value:
        return sent == reply.word;
    case Reply::Acknowledge:
        return request.size() == FrameSize && (sent & OpMask) == OpWrite &&
               (sent & AddressMask) == reply.address;
    case Reply::Block:
        return request.size() == FrameSize && (sent & OpMask) == OpRead &&
               (sent & AddressMask) == reply.address;
    case Reply::Ignored:
        break;
    }
    return false;
}

QJsonObject deviceInfo(const QByteArray &payload)
{
    const auto byte = [&payload](int i) { return int(quint8(payload.at(i))); };
    return QJsonObject{{QStringLiteral("version"), byte(0)}, {QStringLiteral("pages"), byte(1)},
                       {QStringLiteral("count"), byte(2)},   {QStringLiteral("disp"), byte(3)},
                       {QStringLiteral("r4"), byte(4)},      {QStringLiteral("r5"), byte(5)}};
}

} // namespace DashboardProtocol
