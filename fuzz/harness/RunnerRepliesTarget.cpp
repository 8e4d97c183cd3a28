// Input: one byte of options, then actions: answers to the request in flight (with the
// request's own control word and fuzzed payload), arbitrary frames, adapter status
// texts, raw output, repeated replies, operations started by the user, events run, and
// the adapter going away. The controller and its link are the real ones, on a pty.
//
// Checked beyond the sanitizers: every block write goes to an address the running
// operation owns (the tables for a configuration write, the two maintenance values for
// a maintenance write, the picture area for an upload, the pages for an import), and
// every backup file left in the storage folder holds all it claims.

#include "fuzz/harness/FuzzInput.h"
#include "fuzz/harness/FuzzSupport.h"
#include "fuzz/harness/FuzzTargets.h"
#include "fuzz/harness/PtyLine.h"

#include "config/BackupFile.h"
#include "config/BackupStorage.h"
#include "runner/CFGRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QJsonObject>
#include <QSerialPort>
#include <QUrl>
#include <QtEndian>

namespace {

struct Range
{
    int first;
    int last;
};

QString pictureUrl()
{
    static const QString url = [] {
        QImage picture(124, 88, QImage::Format_RGB32);
        picture.fill(Qt::white);
        for (int y = 20; y < 60; ++y)
            for (int x = 30; x < 90; ++x)
                picture.setPixel(x, y, qRgb(0, 0, 0));
        const QString path = scratchDir() + QStringLiteral("/splash.png");
        picture.save(path, "PNG");
        return QUrl::fromLocalFile(path).toString();
    }();
    return url;
}

const char *const statusTexts[] = {"NO DATA",     "CAN ERROR", "STOPPED", "?",   "BUS BUSY",
                                   "BUFFER FULL", "OK",        "",        ">OK", "ERROR"};

class RunnerRun
{
public:
    RunnerRun(FuzzInput &in, PtyLine &line) : in(in), line(line)
    {
        link = runner.findChild<ELM327IOBase *>();
    }

    void run()
    {
        const quint8 options = in.byte();
        if (options & 1)
            runner.loadDefaultConfig();
        adv = options & 2;
        connect();

        while (!in.atEnd()) {
            const quint8 action = in.byte();
            switch (action % 12) {
            case 0:
            case 1:
            case 2:
            case 3:
                answer(action);
                break;
            case 4:
                reply(in.bytes(10).toHex().toUpper());
                break;
            case 5:
                reply(statusTexts[in.pick(int(sizeof statusTexts / sizeof *statusTexts))]);
                break;
            case 6:
                line.feed(in.bytes(24), port());
                break;
            case 7:
                line.feed(lastOutput, port());
                break;
            case 8:
            case 9:
                operation();
                break;
            case 10:
                QCoreApplication::sendPostedEvents();
                QCoreApplication::processEvents();
                break;
            case 11:
                // The adapter unplugged: the port closes under the link.
                if (QSerialPort *p = port())
                    p->close();
                break;
            }
            check();
        }
        QCoreApplication::sendPostedEvents();
        check();
        checkBackups();
    }

private:
    QSerialPort *port() { return link->findChild<QSerialPort *>(); }

    void connect()
    {
        owned.clear();
        if (!runner.connectToHost(line.path(), 38400, adv))
            fuzzFail("the controller cannot open the pty");
        // The adapter takes its initialisation commands one by one.
        for (int i = 0; i < 24 && runner.getState() == CFGRunner::Connecting; ++i) {
            line.feed("OK\r\r>", port());
            check();
        }
    }

    void feed(const QByteArray &output)
    {
        lastOutput = output;
        line.feed(output, port());
    }

    void reply(const QByteArray &text) { feed(text + (in.flag() ? "\r\r>" : "\r>")); }

    // A reply with the control word of the request in flight: an acknowledgement for a
    // block write, the request's own word otherwise.
    void answer(quint8 action)
    {
        QByteArray frame;
        const quint16 word =
            lastRequest.size() >= 2 ? qFromLittleEndian<quint16>(lastRequest.constData()) : 0xFFFF;
        if (lastRequest.size() == 8 && (word & 0xC000) == 0xC000) {
            frame = QByteArray::fromHex((action & 0x10) ? "3001" : "3000");
            frame.append(char(word & 0xFF)).append(char((word >> 8) & 0x3F));
            frame.append(in.take(4).leftJustified(4, '\xFF'));
        } else {
            frame.append(char(word & 0xFF)).append(char(word >> 8));
            frame.append(in.take(6).leftJustified(6, '\xFF'));
            if (word == 0xFFFF && quint8(frame.at(2)) != 0xFF) {
                version = quint8(frame.at(2));
                pages = quint8(frame.at(3));
            }
        }
        reply(frame.toHex().toUpper());
    }

    QVariantList configList()
    {
        const QVariantList items = runner.parameterList();
        QVariantList list;
        const int positions = in.flag() ? 13 : 6;
        for (int i = 0; i < positions; ++i) {
            const quint8 pick = in.byte();
            if (items.isEmpty() || pick < 128) {
                list << QVariantMap{{QStringLiteral("active"), false},
                                    {QStringLiteral("hid"), 0},
                                    {QStringLiteral("descr"), QString()}};
                continue;
            }
            const QVariantMap item = items.at(pick % items.size()).toMap();
            list << QVariantMap{{QStringLiteral("active"), true},
                                {QStringLiteral("hid"), item.value(QStringLiteral("hid"))},
                                {QStringLiteral("descr"), QString()}};
        }
        return list;
    }

    QVariantMap boardMap()
    {
        QVariantMap board;
        for (const char *key : {"version", "rpm", "speed", "aux", "adelay", "rflags", "rpmlim",
                                "warnodo", "warntime", "engidx"})
            board.insert(QLatin1String(key), int(qint16(in.u16())));
        return board;
    }

    void writeBackup()
    {
        const QString dir = BackupStorage::folder();
        BackupStorage::ensureFolder(dir);
        QByteArray content;
        if (in.flag()) {
            content = in.bytes(64);
        } else {
            const QJsonObject info{{QStringLiteral("version"), version},
                                   {QStringLiteral("pages"), pages},
                                   {QStringLiteral("count"), 0},
                                   {QStringLiteral("disp"), 0},
                                   {QStringLiteral("r4"), 0},
                                   {QStringLiteral("r5"), 0}};
            const bool counters = in.flag();
            content = BackupFile::encodeHead(info, counters);
            content.append(QByteArray(pages * BackupFile::PageSize, char(in.byte())));
            if (counters)
                content.append(BackupFile::encodeCounters(in.u32(), in.u32()));
        }
        QFile file(BackupStorage::pathFor(dir, QStringLiteral("fuzz")));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(content);
    }

    // Starts one of the user's operations; when it is taken up, the addresses it may
    // write become the owned ones.
    void operation()
    {
        const CFGRunner::State before = runner.getState();
        QList<Range> claim;
        CFGRunner::State running = CFGRunner::NotConnected;
        switch (in.pick(12)) {
        case 0:
            runner.requestConfig();
            break;
        case 1:
            runner.updateConfig(configList(), in.flag() ? boardMap() : QVariantMap());
            running = CFGRunner::Writing;
            claim = {{0x0000, 0x03FF}};
            break;
        case 2:
            runner.resetConfig();
            running = CFGRunner::Writing;
            claim = {{0x0000, 0x0000}};
            break;
        case 3:
            runner.updateEeeprom(in.u32(), in.u32());
            running = CFGRunner::GenWrite;
            claim = {{0x3FFE, 0x3FFE}, {0x3FFC, 0x3FFC}};
            break;
        case 4:
            runner.exportConfig(in.flag());
            break;
        case 5:
            writeBackup();
            runner.importConfig(QStringLiteral("fuzz"), in.flag());
            running = CFGRunner::Importing;
            claim = {{0x0000, qMax(0, qMin(pages, BackupFile::MaxPages) * 1024 - 1)},
                     {0x3FFE, 0x3FFE},
                     {0x3FFC, 0x3FFC}};
            break;
        case 6:
            runner.loadSplash(pictureUrl());
            runner.uploadSplash();
            running = CFGRunner::Uploading;
            claim = {{0x0400, 0x3FFF}};
            break;
        case 7:
            runner.disconnectFromHost();
            owned.clear();
            break;
        case 8:
            connect();
            break;
        case 9:
            runner.setEngine(int(qint8(in.byte())), configList());
            break;
        case 10:
            runner.clearSplash();
            break;
        case 11:
            switch (in.pick(3)) {
            case 0:
                runner.mcuReset();
                break;
            case 1:
                runner.toDFU();
                break;
            default:
                runner.requestReboot();
                break;
            }
            break;
        }
        if (running != CFGRunner::NotConnected && runner.getState() == running && before != running)
            owned = claim;
        check();
    }

    bool owns(int address) const
    {
        for (const Range &r : owned) {
            if (address >= r.first && address <= r.last)
                return true;
        }
        return false;
    }

    void check()
    {
        const auto lines = line.takeLines();
        for (const QByteArray &sent : lines) {
            if (sent.isEmpty() || sent.size() % 2 || sent.toLower().startsWith("at") ||
                sent.toLower().startsWith("st"))
                continue;
            const QByteArray frame = QByteArray::fromHex(sent);
            if (frame.toHex().toUpper() != sent)
                continue;
            lastRequest = frame;
            if (frame.size() != 8)
                continue;
            const quint16 word = qFromLittleEndian<quint16>(frame.constData());
            if ((word & 0xC000) == 0xC000 && !owns(word & 0x3FFF))
                fuzzFail("a block write outside the running operation's addresses:",
                         frame.toHex(' '));
        }
    }

    void checkBackups()
    {
        const QDir dir(BackupStorage::folder());
        const auto files = dir.entryInfoList({QStringLiteral("*.bkp")}, QDir::Files);
        for (const QFileInfo &info : files) {
            QFile file(info.filePath());
            if (info.baseName() == QLatin1String("fuzz") || !file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray content = file.readAll();
            if (content.size() < backupClaimedSize(content))
                fuzzFail("an exported backup that claims more than it holds");
        }
        QDir(BackupStorage::folder()).removeRecursively();
    }

    FuzzInput &in;
    PtyLine &line;
    CFGRunner runner;
    ELM327IOBase *link = nullptr;
    bool adv = false;
    int pages = 0;
    int version = 1;
    QList<Range> owned;
    QByteArray lastRequest;
    QByteArray lastOutput;
};

} // namespace

int fuzzRunnerReplies(const uint8_t *data, size_t size)
{
    PtyLine &line = PtyLine::shared();
    line.reset();
    QDir(BackupStorage::folder()).removeRecursively();
    FuzzInput in(data, size);
    {
        RunnerRun run(in, line);
        run.run();
    }
    line.reset();
    return 0;
}
