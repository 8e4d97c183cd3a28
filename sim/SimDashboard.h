#pragma once

// The dashboard's firmware as seen from the CAN bus: configuration memory, device
// information, maintenance counters and the restart commands. SimAdapter hands it every
// frame it sends and prints what it returns; tests read and preset its state directly.
//
// Worked examples (host frames with id 0x74D, replies with id 0x745):
//   FF FF                    -> FF FF 01 10 03 00 00 00  (version 1, 16 pages, 3 records)
//   FE 7F                    -> FE 7F <saved odometer, u32 LE> FF FF
//   00 42 FF FF FF FF FF FF  -> 00 42 <memory 0x0200..0x0205>
//   06 C0 11 22 33 44 55 66  -> 30 00 06 00 FF FF FF FF  (bytes stored at 0x0006)
//   01 11                    -> nothing; silent while restarting

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

struct SimFrame
{
    quint32 id = 0;
    QByteArray data;
};

class SimDashboard
{
public:
    enum MaintenanceValue {
        EngineTime = 0x3FFB,      // current engine time
        SavedEngineTime = 0x3FFC, // engine time at the last maintenance
        Odometer = 0x3FFD,        // current odometer
        SavedOdometer = 0x3FFE    // odometer at the last maintenance
    };

    enum class Mode { Running, Restarting, UpdateMode };

    explicit SimDashboard(int pages = 16);

    // Frames the dashboard accepts (the adapter's transmit id) and sends its replies with.
    quint32 hostId() const { return m_hostId; }
    quint32 deviceId() const { return m_deviceId; }
    void setHostId(quint32 id) { m_hostId = id; }
    void setDeviceId(quint32 id) { m_deviceId = id; }

    // One frame from the bus; returns the frames the dashboard sends back (maybe none).
    QList<SimFrame> handleFrame(const SimFrame &frame);

    // Memory: pages x 1024 bytes, erased to FF. setPages keeps what still fits.
    int pages() const { return m_memory.size() / 1024; }
    void setPages(int pages);
    QByteArray &memory() { return m_memory; }
    const QByteArray &memory() const { return m_memory; }
    QByteArray readMemory(int address, int length) const;   // FF beyond the end
    void writeMemory(int address, const QByteArray &bytes); // clipped at the end
    void eraseMemory();

    // Device information. count() is the configured value, or when none is set (-1) the
    // number of records at the start of the parameter table, as the firmware counts them.
    quint8 version() const { return m_version; }
    void setVersion(quint8 v) { m_version = v; }
    void setUnknownVersion() { m_version = 0xFF; } // the 0xFF version mode
    int configuredCount() const { return m_count; }
    void setCount(int count) { m_count = count; }
    quint8 count() const;
    quint8 disp() const { return m_disp; }
    void setDisp(quint8 d) { m_disp = d; }
    quint8 r4() const { return m_r4; }
    quint8 r5() const { return m_r5; }
    void setReserved(quint8 r4, quint8 r5)
    {
        m_r4 = r4;
        m_r5 = r5;
    }
    QByteArray deviceInfoReply() const;

    quint32 value(MaintenanceValue which) const;
    void setValue(MaintenanceValue which, quint32 v);

    // Block write acknowledgement: 30 00 (default) or 30 01.
    void setAckByte(quint8 b) { m_ackByte = b; }
    quint8 ackByte() const { return m_ackByte; }

    // Restart (01 11): silent for this long. Update mode (01 10): silent until reset().
    void setRestartSilenceMs(int ms) { m_restartSilenceMs = ms; }
    int restartSilenceMs() const { return m_restartSilenceMs; }
    Mode mode() const;
    void reset(); // power cycle: back to Running, memory and counters kept

    // Requests counted by kind, for tests and the inspection interface.
    int writesDone() const { return m_writes; }
    int readsDone() const { return m_reads; }
    bool changedSinceMark() const { return m_changed; }
    void markSaved() { m_changed = false; }

    static constexpr int recordSize = 22;
    static constexpr int maxRecords = 23; // 0x0000-0x01FF holds 23 records

private:
    QByteArray valueReply(quint16 word, quint32 value) const;
    QByteArray ackReply(quint16 address) const;

    QByteArray m_memory;
    quint32 m_hostId = 0x74D;
    quint32 m_deviceId = 0x745;
    quint8 m_version = 1;
    int m_count = -1;
    quint8 m_disp = 0;
    quint8 m_r4 = 0;
    quint8 m_r5 = 0;
    quint32 m_values[4] = {0, 0, 0, 0};
    quint8 m_ackByte = 0x00;
    int m_restartSilenceMs = 500;
    Mode m_mode = Mode::Running;
    QElapsedTimer m_restartClock;
    int m_writes = 0;
    int m_reads = 0;
    bool m_changed = false;
};
