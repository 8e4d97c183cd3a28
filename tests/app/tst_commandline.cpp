// The program's command line, run as a separate process: help, version and usage errors
// answered before any controller exists, and every command against the simulated
// dashboard (kx4-sim, also a process), with no display.
#include "image/ImageConverter.h"
#include "tests/backup/ScratchFiles.h"
#include "tests/common/NonRegularFiles.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/types.h>

class TstCommandLine : public QObject
{
    Q_OBJECT

    static constexpr const char *ControllerLine = "Creating the session controller";

    QTemporaryDir home;

    // Commands run with no display at all; settings and backups stay in `home`.
    QProcess *start(const QStringList &args, bool window = false)
    {
        auto *p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (window) {
            env.insert("QT_QPA_PLATFORM", "offscreen");
        } else {
            env.remove("QT_QPA_PLATFORM");
            env.remove("DISPLAY");
            env.remove("WAYLAND_DISPLAY");
        }
        env.insert("QT_LOGGING_RULES", "kx4.app.debug=true");
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        p->setProcessEnvironment(env);
        p->start(KX4_PROGRAM, args);
        return p;
    }

    struct Result
    {
        int code = -1;
        QString out;
        QString err;
    };

    Result run(const QStringList &args)
    {
        QProcess *p = start(args);
        Result r;
        if (!p->waitForFinished(90000)) {
            p->kill();
            p->waitForFinished(5000);
            r.err = "the program did not exit";
        } else if (p->exitStatus() == QProcess::NormalExit) {
            r.code = p->exitCode();
        }
        r.out = QString::fromLocal8Bit(p->readAllStandardOutput());
        r.err += QString::fromLocal8Bit(p->readAllStandardError());
        delete p;
        return r;
    }

    // Starts kx4-sim and returns its pty's path (empty on failure).
    static QString startSim(QProcess &sim, const QStringList &args)
    {
        sim.start(KX4_SIM_PROGRAM, args);
        if (!sim.waitForStarted(5000))
            return QString();
        QDeadlineTimer deadline(10000);
        while (!sim.canReadLine() && sim.state() == QProcess::Running && !deadline.hasExpired())
            sim.waitForReadyRead(100);
        return QString::fromLocal8Bit(sim.readLine()).trimmed();
    }

    static void stopSim(QProcess &sim)
    {
        ::kill(pid_t(sim.processId()), SIGTERM);
        sim.waitForFinished(10000);
    }

    static QJsonObject readJson(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return QJsonObject();
        return QJsonDocument::fromJson(f.readAll()).object();
    }

    static bool writeJson(const QString &path, const QJsonObject &o)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(QJsonDocument(o).toJson()) > 0;
    }

private slots:
    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stdoutHas");
        QTest::addColumn<QString>("stderrHas");
        QTest::addColumn<bool>("display");

        QTest::newRow("--version") << QStringList{"--version"} << 0 << "VeltroKX4 0.2.0\n"
                                   << "" << false;
        QTest::newRow("-v") << QStringList{"-v"} << 0 << "VeltroKX4 0.2.0\n"
                            << "" << false;
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "--version"
                                << "" << false;
        QTest::newRow("-h") << QStringList{"-h"} << 0 << "--help"
                            << "" << false;
        QTest::newRow("help lists the commands")
            << QStringList{"--help"} << 0 << "--reset-maintenance"
            << "" << false;
        QTest::newRow("help lists the exit status")
            << QStringList{"--help"} << 0 << "4 communication error"
            << "" << false;
        QTest::newRow("unknown option") << QStringList{"--colour=red"} << 1 << ""
                                        << "Unknown option 'colour'" << true;
        QTest::newRow("no command") << QStringList{"--port=COM3"} << 1 << ""
                                    << "no command given" << false;
        QTest::newRow("no port") << QStringList{"--info"} << 1 << ""
                                 << "--info needs --port" << false;
        QTest::newRow("two commands")
            << QStringList{"--port", "COM3", "--info", "--export"} << 1 << ""
            << "one command at a time" << false;
        QTest::newRow("counters without import")
            << QStringList{"--port", "COM3", "--info", "--with-counters"} << 1 << ""
            << "--with-counters goes with --import only" << false;
        QTest::newRow("odd rate") << QStringList{"--port", "COM3", "--baud", "1234", "--info"} << 1
                                  << ""
                                  << "--baud takes 0 (automatic) or one of" << false;
        QTest::newRow("stray argument")
            << QStringList{"--port", "COM3", "--info", "x.bkp"} << 1 << ""
            << "unexpected argument \"x.bkp\"" << false;
        QTest::newRow("value for --export")
            << QStringList{"--port", "COM3", "--export=x.bkp"} << 1 << ""
            << "Unexpected value after '--export'" << false;
        QTest::newRow("empty file") << QStringList{"--port", "COM3", "--splash", ""} << 1 << ""
                                    << "--splash needs a file" << false;
        QTest::newRow("empty diagnostics file")
            << QStringList{"--port", "COM3", "--info", "--diagnostics", ""} << 1 << ""
            << "--diagnostics needs a file" << false;
        QTest::newRow("missing file value") << QStringList{"--port", "COM3", "--import"} << 1 << ""
                                            << "Missing value after '--import'" << false;
        QTest::newRow("port that does not exist")
            << QStringList{"--port", "/nonexistent/ttyKX4", "--baud", "38400", "--info"} << 2 << ""
            << "Cannot open /nonexistent/ttyKX4" << false;
        QTest::newRow("unknown short option") << QStringList{"-x"} << 1 << ""
                                              << "Unknown option" << true;
    }

    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, stdoutHas);
        QFETCH(QString, stderrHas);
        QFETCH(bool, display);

        // An unknown option is the window's parser's to refuse, with a display as ever.
        QProcess *p = start(args, display);
        QVERIFY2(p->waitForFinished(30000), "the program did not exit");
        const QString out = QString::fromLocal8Bit(p->readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(p->readAllStandardError());
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), exitCode);
        if (!stdoutHas.isEmpty())
            QVERIFY2(out.contains(stdoutHas), qPrintable(out));
        if (!stderrHas.isEmpty())
            QVERIFY2(err.contains(stderrHas), qPrintable(err));
        QVERIFY2(!err.contains(ControllerLine), qPrintable(err));
    }

    // Without options the program goes on to create the controller (and then
    // keeps running until it is stopped).
    void plainStartCreatesController()
    {
        QProcess *p = start({}, true);
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += p->readAllStandardError()).contains(ControllerLine),
                                 30000);
        p->kill();
        p->waitForFinished(10000);
    }

    // Every command against one simulated dashboard (double display, 4 pages), in the order
    // a workshop would use them, each checked by its exit status, its output and what the
    // dashboard holds afterwards.
    void commandsAgainstSimulator()
    {
        QTemporaryDir dir;
        const QString port = dir.filePath("adapter");
        const QString state = dir.filePath("dash.json");
        QProcess sim;
        // Served on its pty and, as a Wi-Fi adapter, on a TCP port.
        const QString wifi =
            startSim(sim, {"--kind", "extended", "--baud", "115200", "--disp", "1", "--pages", "4",
                           "--link", port, "--state", state, "--tcp", "0"});
        QVERIFY2(wifi.startsWith("tcp://127.0.0.1:"), qPrintable(wifi));
        const QStringList at = {"--port", port, "--baud", "115200"};
        const auto cli = [&](const QStringList &args) { return run(at + args); };
        const auto file = [&](const QString &name) { return dir.filePath(name); };

        // The same dashboard through the serial line and through the network adapter's
        // address as a user types it.
        for (const QStringList &where : {at, QStringList{"--port", wifi.mid(6)}}) {
            const Result r = run(where + QStringList{"--info"});
            QVERIFY2(r.code == 0, qPrintable(r.err));
            for (const char *line : {"version: 1\n", "memory: 4 pages (4096 bytes)\n",
                                     "display: double (13 positions)\n", "records: 5\n"})
                QVERIFY2(r.out.contains(line), qPrintable(r.out));
            // Not a terminal: no progress lines, only the result.
            QCOMPARE(r.err, QString());
        }
        Result r;

        // Saved from the dashboard, edited, applied, read back.
        r = cli({"--save-layout", file("saved.json")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QJsonObject profile = readJson(file("saved.json"));
        QCOMPARE(profile.value("format").toString(), QString("veltrokx4-layout"));
        QCOMPARE(profile.value("display").toString(), QString("double"));
        QJsonArray positions = profile.value("positions").toArray();
        QCOMPARE(positions.size(), 13);
        int filled = 0;
        for (const QJsonValue &v : positions)
            filled += v.isObject() ? 1 : 0;
        QCOMPARE(filled, 5);
        QVERIFY(positions.at(12).isNull());
        positions[12] = QJsonObject{{"name", "VBAT"}, {"pid", 66}, {"cid", 2024}};
        profile["positions"] = positions;
        QJsonObject board = profile.value("board").toObject();
        QVERIFY(!board.isEmpty());
        board["rpmlim"] = 7300;
        board["menuAtStart"] = !board.value("menuAtStart").toBool();
        profile["board"] = board;
        QVERIFY(writeJson(file("edited.json"), profile));

        // Refused before anything is written: an item the catalogue does not have.
        QJsonObject bad = profile;
        positions[11] = QJsonObject{{"name", "NITRO"}, {"pid", 200}, {"cid", 2024}};
        bad["positions"] = positions;
        QVERIFY(writeJson(file("bad.json"), bad));
        r = cli({"--apply-layout", file("bad.json")});
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains("Position 12 of the layout: \"NITRO\""), qPrintable(r.err));
        QCOMPARE(r.out, QString());

        r = cli({"--apply-layout", file("edited.json")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        r = cli({"--save-layout", file("readback.json")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QJsonObject readBack = readJson(file("readback.json"));
        QCOMPARE(readBack.value("positions"), profile.value("positions"));
        QCOMPARE(readBack.value("board"), profile.value("board"));
        QCOMPARE(readBack.value("engine"), profile.value("engine"));

        // Portrait: the double display turns the picture by 270 degrees onto its 173 x 128.
        QImage picture(120, 160, QImage::Format_RGB32);
        picture.fill(Qt::white);
        for (int x = 20; x < 100; ++x)
            picture.setPixel(x, 64, qRgb(0, 0, 0));
        QVERIFY(picture.save(file("logo.png")));
        r = cli({"--splash", file("logo.png")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        ImageConverter expected;
        expected.applyDisplayProfile(1);
        QVERIFY(expected.load(file("logo.png")));
        const QByteArray splash = expected.bitmap();

        // A backup into a named file: header, device information, 4 pages, counters. It
        // holds the applied layout and the splash.
        r = cli({"--export", file("car1.bkp")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.out, file("car1.bkp") + "\n");
        QFile backup(file("car1.bkp"));
        QVERIFY(backup.open(QIODevice::ReadOnly));
        const QByteArray image = backup.readAll();
        QVERIFY(image.startsWith(QByteArray::fromHex("01C0BE100101")));
        const int infoLength = qFromLittleEndian<quint32>(image.constData() + 8);
        QCOMPARE(image.size(), 12 + infoLength + 4 * 1024 + 8);
        const QByteArray pages = image.mid(12 + infoLength, 4 * 1024);
        QCOMPARE(pages.mid(0x400, splash.size()).toHex(), splash.toHex());
        QCOMPARE(qFromLittleEndian<quint16>(pages.constData() + 0x200 + 10), quint16(7300));
        bool vbatAt12 = false;
        for (int at = 0; at + 22 <= 0x200; at += 22) {
            const QByteArray record = pages.mid(at, 22);
            vbatAt12 |= qFromLittleEndian<quint16>(record.constData()) == 66 && record[11] == 12;
        }
        QVERIFY(vbatAt12);
        // Nothing was left in the backup folder.
        QVERIFY(
            QDir(home.filePath("data")).entryList({"*.bkp"}, QDir::Files, QDir::NoSort).isEmpty());

        r = cli({"--reset-maintenance"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QString resetSays = r.out;
        // The original layout again, so that the import below has something to undo.
        r = cli({"--apply-layout", file("saved.json")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        r = cli({"--info"});
        const QRegularExpression maintenance(
            "\nodometer: (\\d+) km\nodometer at maintenance: (\\d+) "
            "km\nengine time: (\\d+) s\nengine time at "
            "maintenance: (\\d+) min");
        const QRegularExpressionMatch m = maintenance.match(r.out);
        QVERIFY2(m.hasMatch(), qPrintable(r.out));
        QCOMPARE(m.captured(2), m.captured(1));
        QCOMPARE(m.captured(4).toUInt(), m.captured(3).toUInt() / 60);
        // The reset printed the values it read back.
        QCOMPARE(resetSays, QString("odometer at maintenance: %1 km\nengine time at maintenance: "
                                    "%2 min\n")
                                .arg(m.captured(2), m.captured(4)));

        // Refused by the checks: not a backup; then the backup with its counters.
        r = cli({"--import", file("edited.json")});
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains("not a backup file"), qPrintable(r.err));
        r = cli({"--import", file("car1.bkp"), "--with-counters"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        stopSim(sim);

        // The dashboard holds the backup again: its layout, not the one applied after it,
        // and the saved counters are the backup's, not the reset's.
        const QJsonObject saved = readJson(state);
        const QByteArray memory =
            QByteArray::fromBase64(saved.value("memory").toString().toLatin1());
        QCOMPARE(memory.left(4 * 1024).toHex(), pages.toHex());
        const QJsonObject values = saved.value("values").toObject();
        const QByteArray counters = image.right(8);
        QCOMPARE(quint32(values.value("savedOdometer").toDouble()),
                 qFromLittleEndian<quint32>(counters.constData()));
        QCOMPARE(quint32(values.value("savedEngineTime").toDouble()),
                 qFromLittleEndian<quint32>(counters.constData() + 4));
    }

    // An export that cannot end in the file asked for: refused as the file's fault (status
    // 3), on one line, within its bound, and what stood under the name is still there.
    // FILE is refused before the port is opened.
    void exportCannotProceed_data()
    {
        QTest::addColumn<QString>("target"); // what stands in the way
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message"); // all of standard error; %1 is FILE
        QTest::addColumn<int>("limitMs");     // the process ends within this

        const QString notRegular =
            "veltrokx4: %1 could not be written: it is a device, a FIFO or a socket, not a "
            "regular file\n";
        QTest::newRow("FILE is a FIFO") << "fifo" << 3 << notRegular << 15000;
        QTest::newRow("FILE is a device node") << "device" << 3 << notRegular << 15000;
        QTest::newRow("FILE is a folder")
            << "folder" << 3
            << "veltrokx4: %1 could not be written: it is a folder, not a regular file\n"
            << 15000;
        // No FILE: the backup folder's disk fills up in the middle of the pages (a cap on
        // the program's file sizes fails the write as a full disk does).
        QTest::newRow("backup folder full")
            << "full" << 3 << "veltrokx4: Export failed - the backup could not be written\n"
            << 30000;
        // Another program (this test) has the port open, as a second export at once would.
        QTest::newRow("port in use")
            << "port in use" << 2
            << "veltrokx4: Cannot open %2: the port is in use by another program\n" << 15000;
    }

    void exportCannotProceed()
    {
        QFETCH(QString, target);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QFETCH(int, limitMs);

        QTemporaryDir dir;
        const QString port = dir.filePath("adapter");
        QProcess sim;
        QVERIFY(!startSim(sim, {"--baud", "115200", "--pages", "4", "--link", port}).isEmpty());
        const QString file = dir.filePath("car.bkp");
        char kind = '-';
        if (target == "fifo") {
            QVERIFY(makeFifo(file));
            kind = 'p';
        } else if (target == "device") {
            if (!makeNullDevice(file))
                QSKIP("making a device node takes root");
            kind = 'c';
        } else if (target == "folder") {
            QVERIFY(QDir().mkdir(file));
            kind = 'd';
        }
        const QStringList backups = QDir(home.filePath("data/Veltro/VeltroKX4"))
                                        .entryList(QDir::Files | QDir::Hidden, QDir::Name);

        QStringList args = {"--port", port, "--baud", "115200", "--export"};
        std::unique_ptr<FileSizeCap> cap;
        if (target == "full")
            cap.reset(new FileSizeCap(2048)); // passed on to the program
        else
            args << file;
        QSerialPort holder;
        if (target == "port in use") {
            holder.setPortName(port);
            QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));
        }
        QElapsedTimer clock;
        clock.start();
        QProcess *p = start(args);
        QVERIFY(p->waitForStarted(10000));
        cap.reset();
        const bool ended = p->waitForFinished(limitMs);
        const qint64 ms = clock.elapsed();
        if (!ended)
            p->kill();
        p->waitForFinished(5000);
        stopSim(sim);
        QVERIFY2(ended, qPrintable(QString("still running after %1 ms").arg(ms)));
        qInfo("%s: status %d after %lld ms", QTest::currentDataTag(), p->exitCode(), ms);
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), exitCode);
        QCOMPARE(QString::fromLocal8Bit(p->readAllStandardError()),
                 QString(message).replace("%1", file).replace("%2", port));
        QCOMPARE(QString::fromLocal8Bit(p->readAllStandardOutput()), QString());
        QCOMPARE(fileKind(file), kind);
        // Nothing new in the backup folder, whole or partial.
        QCOMPARE(QDir(home.filePath("data/Veltro/VeltroKX4"))
                     .entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 backups);
        delete p;
    }

    // A plain adapter (--plain) whose line goes dead in the middle of a backup: a
    // communication error, and no backup file that looks whole; the diagnostics report asked
    // for is written all the same, and ends with the line going dead.
    void communicationErrorLeavesNoBackup()
    {
        QTemporaryDir dir;
        const QString port = dir.filePath("adapter");
        QProcess sim;
        QVERIFY(!startSim(sim, {"--baud", "115200", "--pages", "4", "--link", port, "--fault",
                                "hangup@80"})
                     .isEmpty());
        const Result r = run({"--port", port, "--baud", "115200", "--plain", "--diagnostics",
                              dir.filePath("report.txt"), "--export", dir.filePath("car2.bkp")});
        stopSim(sim);
        QCOMPARE(r.code, 4);
        QVERIFY2(!r.err.isEmpty(), "no reason given");
        QVERIFY(!QFile::exists(dir.filePath("car2.bkp")));

        QFile f(dir.filePath("report.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString report = QString::fromUtf8(f.readAll());
        QVERIFY(report.startsWith("VeltroKX4 diagnostics report\n"));
        QVERIFY(report.contains("\n  Name: .../adapter\n"));
        QVERIFY(report.contains(" -> 0040FFFFFFFFFFFF\n")); // the export's first read
        QVERIFY2(report.contains(" -- port error ") && report.contains(" -- port closed\n"),
                 qPrintable(report.right(1500)));
        QVERIFY(!report.contains(dir.path()));
    }
};

QTEST_GUILESS_MAIN(TstCommandLine)
#include "tst_commandline.moc"
