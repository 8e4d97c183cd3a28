#pragma once

// The dashboard's message protocol as bytes, with no link and no state: every request the
// controller sends and the reading of every reply. Each message is the data field of one
// CAN frame, at most 8 bytes, headed by a little-endian control word. For memory access
// bits 15-14 of the word are the operation and bits 13-0 the address:
//   block read at 0x0200       00 42 FF FF FF FF FF FF
//   block write of FF FF at 0  00 C0 FF FF FF FF FF FF   (data padded with FF to 6 bytes)
//   saved odometer request     FE 7F                     (a read of 0x3FFE)
//   device information         FF FF
//   restart / into update mode 01 11 / 01 10
// A block image is moved 6 bytes per request, one request outstanding at a time; the next
// chunk's address comes from the dashboard's acknowledgement (30 00 or 30 01, then the
// acknowledged address).

#include <QByteArray>
#include <QJsonObject>
#include <QtGlobal>

namespace DashboardProtocol {

constexpr int ChunkSize = 6;
constexpr int FrameSize = 8;
constexpr quint16 DeviceInfoWord = 0xFFFF;
constexpr quint16 OpMask = 0xC000;
constexpr quint16 OpRead = 0x4000;
constexpr quint16 OpWrite = 0xC000;
constexpr quint16 AddressMask = 0x3FFF;

QByteArray deviceInfoRequest();
// The request for one maintenance value (address 0x3FFB to 0x3FFE): a 2-byte read.
QByteArray valueRequest(int address);
// Empty when the address is outside the 14-bit space: above it the address would run into
// the operation bits and become another operation somewhere else in the memory.
QByteArray blockRead(int address);
// Empty as well when `data` is longer than a chunk.
QByteArray blockWrite(int address, const QByteArray &data);
QByteArray restartRequest(bool intoUpdateMode);
// The replies a request draws: none for the restarts, which the dashboard answers by
// restarting; one for every other request.
int repliesTo(const QByteArray &request);

// The 6 bytes of `image` from `offset` (fewer at its end).
QByteArray chunk(const QByteArray &image, int offset);
// The offset of the chunk after the one acknowledged at `address`, in a transfer that
// started at `base` (in 16 bits, as the address field wraps).
int nextOffset(int address, int base);

struct Reply
{
    enum Kind {
        Ignored,      // not 8 bytes
        DeviceInfo,   // FF FF, then version, pages, count, disp, r4, r5
        Value,        // a maintenance value: `address` 0x3FFB to 0x3FFE, `value`
        Acknowledge,  // 30 00 or 30 01: `address` is the acknowledged block write's
        Block,        // six memory bytes (`payload`) from `address`
    };
    Kind kind = Ignored;
    quint16 word = 0;
    int address = 0;
    quint32 value = 0;
    QByteArray payload; // bytes 2 to 7
};

// `withValues`: the maintenance value words are read as values (the update-checking
// edition reads none, so there they are block replies like any other word).
Reply parseReply(const QByteArray &frame, bool withValues = true);
// Whether `reply` answers `request`, the request in flight. A duplicated or late reply to
// an earlier request would otherwise start a second chain of requests beside the first.
bool answers(const QByteArray &request, const Reply &reply);
// The device information reply's payload as the controller keeps it.
QJsonObject deviceInfo(const QByteArray &payload);

} // namespace DashboardProtocol
