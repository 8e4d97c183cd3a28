#pragma once

// The link's flight recorder: the recent traffic with the adapter (every line written,
// every chunk read, as raw bytes) and the session's events, each with its time in
// milliseconds since the connect, kept in memory at all times so that a user can save it
// after a fault nobody expected. Recording is a copy into a preallocated ring and a clock
// read; all formatting waits until the record is written out.
//
// The ring holds at most maxEntries() entries and maxBytes() bytes of their contents;
// each new entry pushes out the oldest ones until both fit.

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <vector>

class LinkRecorder
{
public:
    enum Kind : quint8 { Sent, Received, Event };

    struct Entry
    {
        qint64 ms = 0;
        Kind kind = Event;
        QByteArray bytes; // UTF-8 text for events
    };

    static constexpr int DefaultMaxEntries = 20000;
    static constexpr int DefaultMaxBytes = 2 * 1024 * 1024;

    explicit LinkRecorder(int maxEntries = DefaultMaxEntries, int maxBytes = DefaultMaxBytes);

    // On by default. Off, nothing new is kept (what was kept stays).
    void setEnabled(bool on) { m_enabled = on; }
    bool isEnabled() const { return m_enabled; }

    // Times count from here (the link calls it when it connects).
    void restartClock() { m_clock.start(); }

    void sent(const QByteArray &bytes)
    {
        if (m_enabled)
            add(Sent, bytes.constData(), bytes.size());
    }
    void received(const QByteArray &bytes)
    {
        if (m_enabled && !bytes.isEmpty())
            add(Received, bytes.constData(), bytes.size());
    }
    void event(const QString &text);

    void clear();
    // New bounds; what was kept is dropped.
    void setLimits(int maxEntries, int maxBytes);

    int maxEntries() const { return m_maxEntries; }
    int maxBytes() const { return m_maxBytes; }
    int count() const { return m_count; }
    // Entries recorded since the recorder was made, dropped ones included.
    qint64 recorded() const { return m_recorded; }
    // Bytes held by the entries now in the ring.
    qint64 bytes() const;
    // Oldest first.
    QList<Entry> entries() const;

    // The entry as one line of text: "12.345 -> 0040FFFFFFFFFFFF" for a line written (its
    // carriage return left out), "12.356 <- 4000112233445566\r>" for bytes read (control
    // characters and bytes outside printable ASCII as escapes), "12.400 -- text" for an
    // event.
    static QString format(const Entry &entry);

private:
    struct Slot
    {
        qint64 ms;
        qint64 start; // position of the first byte in the stream of all bytes kept
        int size;
        Kind kind;
    };

    void add(Kind kind, const char *data, int size);
    QByteArray bytesOf(const Slot &slot) const;

    int m_maxEntries;
    int m_maxBytes;
    bool m_enabled = true;
    QElapsedTimer m_clock;
    // Both rings are allocated at the first entry.
    std::vector<Slot> m_slots;
    QByteArray m_arena;
    int m_first = 0;
    int m_count = 0;
    qint64 m_end = 0; // stream position after the newest byte
    qint64 m_recorded = 0;
};
