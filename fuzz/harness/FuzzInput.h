#pragma once

// Reads a fuzz input as a sequence of small decisions: bytes, integers, short byte
// strings. Past the end every read gives zero/empty, so a target never has to check.

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool atEnd() const { return m_pos >= m_size; }
    size_t remaining() const { return m_size - m_pos; }

    quint8 byte() { return atEnd() ? 0 : m_data[m_pos++]; }
    bool flag() { return byte() & 1; }
    quint16 u16()
    {
        const quint16 lo = byte();
        return quint16(lo | (quint16(byte()) << 8));
    }
    quint32 u32()
    {
        const quint32 lo = u16();
        return lo | (quint32(u16()) << 16);
    }
    // A value in 0..n-1 (n > 0).
    int pick(int n) { return int(byte() % n); }
    // Up to `max` bytes, the count taken from the input first.
    QByteArray bytes(int max) { return take(int(byte() % (max + 1))); }
    QByteArray take(int n)
    {
        const int count = int(qMin<size_t>(size_t(qMax(n, 0)), remaining()));
        const QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), count);
        m_pos += size_t(count);
        return out;
    }
    QByteArray rest() { return take(int(remaining())); }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};
