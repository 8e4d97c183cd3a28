#include "link/LinkRecorder.h"

#include <cstring>

LinkRecorder::LinkRecorder(int maxEntries, int maxBytes)
    : m_maxEntries(qMax(1, maxEntries)), m_maxBytes(qMax(1, maxBytes))
{
}

void LinkRecorder::event(const QString &text)
{
    if (m_enabled) {
        const QByteArray utf8 = text.toUtf8();
        add(Event, utf8.constData(), utf8.size());
    }
}

void LinkRecorder::clear()
{
    m_first = 0;
    m_count = 0;
    m_end = 0;
}

void LinkRecorder::setLimits(int maxEntries, int maxBytes)
{
    clear();
    m_maxEntries = qMax(1, maxEntries);
    m_maxBytes = qMax(1, maxBytes);
    m_slots.clear();
    m_slots.shrink_to_fit();
    m_arena.clear();
    m_arena.squeeze();
}

qint64 LinkRecorder::bytes() const
{
    return m_count ? m_end - m_slots[size_t(m_first)].start : 0;
}

void LinkRecorder::add(Kind kind, const char *data, int size)
{
    if (size > m_maxBytes) {
        // Only a chunk as large as the whole ring: its end is the newest part.
        data += size - m_maxBytes;
        size = m_maxBytes;
    }
    if (m_slots.empty()) {
        m_slots.resize(size_t(m_maxEntries));
        m_arena.resize(m_maxBytes);
    }
    while (m_count > 0 && (m_count == m_maxEntries ||
                           m_end + size - m_slots[size_t(m_first)].start > m_maxBytes)) {
        m_first = (m_first + 1) % m_maxEntries;
        --m_count;
    }

    const int at = int(m_end % m_maxBytes);
    const int first = qMin(size, m_maxBytes - at);
    char *arena = m_arena.data();
    std::memcpy(arena + at, data, size_t(first));
    std::memcpy(arena, data + first, size_t(size - first));

    const qint64 ms = m_clock.isValid() ? m_clock.elapsed() : 0;
    m_slots[size_t((m_first + m_count) % m_maxEntries)] = Slot{ms, m_end, size, kind};
    ++m_count;
    ++m_recorded;
    m_end += size;
}

QByteArray LinkRecorder::bytesOf(const Slot &slot) const
{
    const int at = int(slot.start % m_maxBytes);
    const int first = qMin(slot.size, m_maxBytes - at);
    QByteArray bytes(m_arena.constData() + at, first);
    bytes.append(m_arena.constData(), slot.size - first);
    return bytes;
}

QList<LinkRecorder::Entry> LinkRecorder::entries() const
{
    QList<Entry> list;
    list.reserve(m_count);
    for (int i = 0; i < m_count; ++i) {
        const Slot &slot = m_slots[size_t((m_first + i) % m_maxEntries)];
        list.append(Entry{slot.ms, slot.kind, bytesOf(slot)});
    }
    return list;
}

QString LinkRecorder::format(const Entry &entry)
{
    QString line =
        QStringLiteral("%1.%2 ").arg(entry.ms / 1000).arg(entry.ms % 1000, 3, 10, QLatin1Char('0'));
    if (entry.kind == Event) {
        QString text = QString::fromUtf8(entry.bytes);
        for (QChar &c : text) {
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char(' ');
        }
        return line + QStringLiteral("-- ") + text;
    }

    QByteArray bytes = entry.bytes;
    if (entry.kind == Sent) {
        line += QLatin1String("-> ");
        // Every command goes out with its carriage return; a bare one stays visible.
        if (bytes.endsWith('\r') && bytes.size() > 1)
            bytes.chop(1);
    } else {
        line += QLatin1String("<- ");
    }
    static const char hex[] = "0123456789ABCDEF";
    for (const char ch : qAsConst(bytes)) {
        const uchar c = uchar(ch);
        if (c == '\r')
            line += QLatin1String("\\r");
        else if (c == '\n')
            line += QLatin1String("\\n");
        else if (c == '\\')
            line += QLatin1String("\\\\");
        else if (c >= 0x20 && c < 0x7F)
            line += QLatin1Char(char(c));
        else
            line += QLatin1String("\\x") + QLatin1Char(hex[c >> 4]) + QLatin1Char(hex[c & 15]);
    }
    return line;
}
