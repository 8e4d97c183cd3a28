#pragma once

// The controller's long operations, one object each: an operation keeps its own progress
// and its next step. CFGRunner starts one at a time, feeds it the replies that answer its
// requests, and maps it to the states and signals the interface knows; each ends with
// operationFinished. The operations themselves are in their own files:
//
//   ConfigReadOperation.cpp   discovery (device information, maintenance values) and the
//                             configuration read (parameter table, then board record)
//   ConfigWriteOperation.cpp  configuration write, table reset, each with its read after
//   MaintenanceOperation.cpp  maintenance-point write (and the reset's read of the values)
//   SplashOperation.cpp       splash picture upload
//   RestartOperation.cpp      restart and firmware-update hand-off
//   ExportOperation.cpp       backup export
//   ImportOperation.cpp       backup import, and the read after it

#include "runner/CFGRunner.h"

class RunnerOperation
{
public:
    RunnerOperation(CFGRunner &runner, CFGRunner::Operation kind) : runner(runner), m_kind(kind)
    {
    }
    virtual ~RunnerOperation() = default;
    RunnerOperation(const RunnerOperation &) = delete;
    RunnerOperation &operator=(const RunnerOperation &) = delete;

    CFGRunner::Operation kind() const { return m_kind; }

    // The replies that answer this operation's request in flight. Acknowledgements come
    // only while the state is Writing, Uploading, Importing or GenWrite, block replies
    // only while it is Reading or Exporting.
    virtual void onDeviceInfo(const QByteArray &payload) { Q_UNUSED(payload) }
    virtual void onValue(int address, quint32 value)
    {
        Q_UNUSED(address)
        Q_UNUSED(value)
    }
    virtual void onAcknowledge(int address) { Q_UNUSED(address) }
    virtual void onBlock(int address, const QByteArray &payload)
    {
        Q_UNUSED(address)
        Q_UNUSED(payload)
    }
    // The adapter is ready for the first request (Connecting).
    virtual void onReady() {}
    // Cut off by the end of the session or by the next operation: what it holds (an
    // unfinished backup file) goes now.
    virtual void cutOff() {}
    // Only waiting for a read that a later operation would not let happen (the read after
    // a write): it may give way with what it has done.
    virtual bool waiting() const { return false; }

    // The exchanges this operation makes, as far as it knows them (a discovery learns the
    // size of the table it reads on the way), and those it has sent; retransmissions are
    // not counted. With the waits it still has, its time left.
    int exchangesPlanned() const { return m_planned; }
    int exchangesSent() const { return m_sent; }
    void exchangeSent() { ++m_sent; }
    virtual int pausesLeftMs() const { return 0; }

protected:
    void planExchanges(int exchanges) { m_planned += exchanges; }

    // The operation's last step: operationFinished, then the object goes.
    void finish(bool ok, const QString &reason = QString(), const QString &file = QString())
    {
        runner.finishOperation(ok, reason, file);
    }
    // The four maintenance values in turn, from the saved odometer point. True once the
    // last one (the current engine time) is in.
    void requestValues();
    bool valueRead(int address, quint32 value);

    CFGRunner &runner;

private:
    CFGRunner::Operation m_kind;
    int m_planned = 0;
    int m_sent = 0;
};

// The configuration read: the parameter table in 6-byte block reads from 0x0000, parsed
// into the configuration list, then the board record from 0x0200. Part of every operation
// that reads the configuration (discovery, requestConfig, and the reads after a write, a
// table reset or an import).
class ConfigReader
{
public:
    explicit ConfigReader(CFGRunner &runner) : runner(runner) {}
    // What requestConfig does once it may start: false, and nothing changed, when the
    // dashboard reports no records.
    bool start();
    // The block reads start() would make: the table of "count" records, then the board
    // record at the size last read (or the usual 18 bytes).
    int exchanges() const;
    // True when the read is over (the board record is in, the state is back at Idle).
    bool onBlock(int address, const QByteArray &payload);

private:
    bool onParamChunk(int address, const QByteArray &payload);
    bool onBoardChunk(int address, const QByteArray &payload);
    bool finishBoardRead();

    CFGRunner &runner;
};
