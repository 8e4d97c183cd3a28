#include "sim/SimDashboard.h"

#include <QLoggingCategory>
#include <QtEndian>

Q_LOGGING_CATEGORY(lcSimDash, "kx4.sim.dashboard", QtWarningMsg)

namespace {
constexpr quint16 kDeviceInfoWord = 0xFFFF;
constexpr quint16 kUpdateModeWord = 0x1001; // bytes 01 10
constexpr quint16 kRestartWord = 0x1101;    // bytes 01 11
constexpr quint16 kAddressMask = 0x3FFF;
constexpr int kOpRead = 1;
constexpr int kOpWrite = 3;

int valueIndex(int address)
{
    return (address >= SimDashboard::EngineTime && address <= SimDashboard::SavedOdometer)
               ? address - SimDashboard::EngineTime
               : -1;
}
} // namespace

SimDashboard::SimDashboard(int pages)
{
    setPages(pages);
}

void SimDashboard::setPages(int pages)
{
    pages = qBound(0, pages, 255);
    const int old = m_memory.size();
    if (pages * 1024 > old)
        m_memory.append(QByteArray(pages * 1024 - old, char(0xFF))); // fresh pages read erased
    else
        m_memory.truncate(pages * 1024);
}

void SimDashboard::eraseMemory()
{
    m_memory.fill(char(0xFF));
    m_changed = true;
}

QByteArray SimDashboard::readMemory(int address, int length) const
{
    QByteArray out(length, char(0xFF));
    for (int i = 0; i < length; ++i) {
        const int a = address + i;
        if (a >= 0 && a < m_memory.size())
            out[i] = m_memory.at(a);
    }
    return out;
}

void SimDashboard::writeMemory(int address, const QByteArray &bytes)
{
    for (int i = 0; i < bytes.size(); ++i) {
        const int a = address + i;
        if (a >= 0 && a < m_memory.size())
            m_memory[a] = bytes.at(i);
    }
    m_changed = true;
}

quint8 SimDashboard::count() const
{
    if (m_count >= 0)
        return quint8(qMin(m_count, 255));
    // The firmware counts the records from the start of the table up to the first erased
    // one (identifier FF FF): after the table is erased with FF the count is 0.
    int n = 0;
    while (n < maxRecords && (n + 1) * recordSize <= m_memory.size()) {
        const uchar *rec = reinterpret_cast<const uchar *>(m_memory.constData()) + n * recordSize;
        if (rec[0] == 0xFF && rec[1] == 0xFF)
            break;
        ++n;
    }
    return quint8(n);
}

QByteArray SimDashboard::deviceInfoReply() const
{
    QByteArray r(8, char(0xFF));
    r[2] = char(m_version);
    r[3] = char(pages());
    r[4] = char(count());
    r[5] = char(m_disp);
    r[6] = char(m_r4);
    r[7] = char(m_r5);
    return r;
}

quint32 SimDashboard::value(MaintenanceValue which) const
{
    const int i = valueIndex(which);
    return i >= 0 ? m_values[i] : 0;
}

void SimDashboard::setValue(MaintenanceValue which, quint32 v)
{
    const int i = valueIndex(which);
    if (i >= 0) {
        m_values[i] = v;
        m_changed = true;
    }
}

SimDashboard::Mode SimDashboard::mode() const
{
    if (m_mode == Mode::Restarting && m_restartClock.isValid() &&
        m_restartClock.elapsed() >= m_restartSilenceMs) {
        return Mode::Running;
    }
    return m_mode;
}

void SimDashboard::reset()
{
    m_mode = Mode::Running;
    m_restartClock.invalidate();
}

QByteArray SimDashboard::valueReply(quint16 word, quint32 value) const
{
    QByteArray r(8, char(0xFF));
    qToLittleEndian<quint16>(word, r.data());
    qToLittleEndian<quint32>(value, r.data() + 2);
    return r;
}

QByteArray SimDashboard::ackReply(quint16 address) const
{
    QByteArray r(8, char(0xFF));
    r[0] = char(0x30);
    r[1] = char(m_ackByte);
    qToLittleEndian<quint16>(address, r.data() + 2);
    return r;
}

QList<SimFrame> SimDashboard::handleFrame(const SimFrame &frame)
{
    if (frame.id != m_hostId || frame.data.size() < 2)
        return {};
    if (m_mode == Mode::Restarting && mode() == Mode::Running) {
        m_mode = Mode::Running; // the restart is over
        qCDebug(lcSimDash) << "restart complete";
    }
    if (m_mode != Mode::Running)
        return {};

    const quint16 word = qFromLittleEndian<quint16>(frame.data.constData());
    auto reply = [this](const QByteArray &data) { return QList<SimFrame>{{m_deviceId, data}}; };

    if (word == kDeviceInfoWord)
        return reply(deviceInfoReply());
    if (word == kUpdateModeWord) {
        qCDebug(lcSimDash) << "restart into update mode";
        m_mode = Mode::UpdateMode;
        return {};
    }
    if (word == kRestartWord) {
        qCDebug(lcSimDash) << "restart, silent for" << m_restartSilenceMs << "ms";
        m_mode = Mode::Restarting;
        m_restartClock.start();
        return {};
    }

    const int op = word >> 14;
    const int address = word & kAddressMask;
    if (op == kOpRead) {
        ++m_reads;
        // The maintenance counters sit at the top of the address space: a read there
        // answers the 32-bit value instead of memory bytes.
        const int vi = valueIndex(address);
        if (vi >= 0)
            return reply(valueReply(word, m_values[vi]));
        return reply(frame.data.left(2) + readMemory(address, 6));
    }
    if (op == kOpWrite) {
        const QByteArray bytes = frame.data.mid(2, 6);
        if (bytes.isEmpty())
            return {};
        ++m_writes;
        const int vi = valueIndex(address);
        if (vi >= 0) {
            // Only the saved maintenance points can be written; the current counters are
            // the firmware's own and a write to them is acknowledged and ignored.
            if ((address == SavedOdometer || address == SavedEngineTime) && bytes.size() >= 4)
                setValue(MaintenanceValue(address), qFromLittleEndian<quint32>(bytes.constData()));
        } else {
            writeMemory(address, bytes);
        }
        return reply(ackReply(quint16(address)));
    }
    return {}; // words with bits 15-14 = 00 or 10 mean nothing to this firmware
}
