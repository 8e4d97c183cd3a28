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
#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <sys/types.h>
#include <termios.h>
#include <unistd.h>

class TstCommandLine : public QObject
{
    Q_OBJECT

    static constexpr const char *ControllerLine = "Creating the session controller";

    QTemporaryDir home;

    // Commands run with no display at all; settings and backups stay in `home`.
    QProcess *start(const QStringList &args, bool window = false,
                    const QString &stderrFile = QString())
    {
        auto *p = new QProcess(this);
        if (!stderrFile.isEmpty())
            p->setStandardErrorFile(stderrFile);
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

    // As a user at a terminal runs it: standard error on a pseudo-terminal (the progress
    // bar), standard output in a pipe. `err` is what the terminal showed.
    Result runOnTerminal(const QStringList &args)
    {
        Result r;
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
            r.err = "no pseudo-terminal";
            return r;
        }
        const QByteArray slave = ::ptsname(master);
        // Held open here too, so that nothing the program wrote is lost when it exits;
        // no output processing, so the text reads as written.
        const int held = ::open(slave.constData(), O_RDWR | O_NOCTTY);
        termios mode;
        ::tcgetattr(held, &mode);
        mode.c_oflag &= ~tcflag_t(OPOST);
        ::tcsetattr(held, TCSANOW, &mode);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        QByteArray shown;
        const auto drain = [&] {
            char buffer[4096];
            ssize_t n;
            while ((n = ::read(master, buffer, sizeof buffer)) > 0)
                shown.append(buffer, int(n));
        };
        QProcess *p = start(args, false, QString::fromLocal8Bit(slave));
        QDeadlineTimer deadline(90000);
        while (!p->waitForFinished(50) && !deadline.hasExpired())
            drain();
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        } else if (p->exitStatus() == QProcess::NormalExit) {
            r.code = p->exitCode();
        }
        drain();
        r.out = QString::fromLocal8Bit(p->readAllStandardOutput());
        r.err = QString::fromLocal8Bit(shown);
        delete p;
        ::close(held);
        ::close(master);
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
        QTest::newRow("help: a Wi-Fi adapter's address for --port")
            << QStringList{"--help"} << 0 << "or a Wi-Fi adapter's"
            << "" << false;
        // Said as every other message, with where to look, in the window's start too.
        QTest::newRow("unknown option")
            << QStringList{"--colour=red"} << 1 << ""
            << "veltrokx4: Unknown option 'colour'.\nTry 'veltrokx4 --help'.\n"
            << true;
        QTest::newRow("unknown option with a command")
            << QStringList{"--port", "COM3", "--info", "--colour"} << 1 << ""
            << "veltrokx4: Unknown option 'colour'.\nTry 'veltrokx4 --help'.\n"
            << false;
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
        QTest::newRow("backup first without import")
            << QStringList{"--port", "COM3", "--export", "--backup-first"} << 1 << ""
            << "--backup-first goes with --import only" << false;
        QTest::newRow("dry run of an export")
            << QStringList{"--port", "COM3", "--export", "--dry-run"} << 1 << ""
            << "--dry-run goes with --apply-layout or --import only" << false;
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
        QTest::newRow("adapter check without a port") << QStringList{"--check-adapter"} << 1 << ""
                                                      << "--check-adapter needs --port" << false;
        QTest::newRow("adapter check on a port that does not exist")
            << QStringList{"--port", "/nonexistent/ttyKX4", "--check-adapter"} << 2
            << "Adapter: Cannot open /nonexistent/ttyKX4"
            << "veltrokx4: Cannot open /nonexistent/ttyKX4: there is no such port\n" << false;
        QTest::newRow("help: the adapter check's exit status")
            << QStringList{"--help"} << 0 << "--check-adapter: 0 when the adapter answered" << ""
            << false;
        QTest::newRow("unknown short option") << QStringList{"-x"} << 1 << ""
                                              << "veltrokx4: Unknown option 'x'." << true;
        // The command's file is checked before the port is opened: refused (3), not a
        // connection failure on a wrong port.
        QTest::newRow("missing layout, wrong port")
            << QStringList{"--port", "/nonexistent/ttyKX4", "--apply-layout", "/nonexistent/a.json"}
            << 3 << ""
            << "veltrokx4: The layout could not be read" << false;
        QTest::newRow("missing backup, wrong port")
            << QStringList{"--port", "/nonexistent/ttyKX4", "--import", "/nonexistent/a.bkp"} << 3
            << ""
            << "veltrokx4: Cannot import - the source file does not exist\n"
            << false;
        QTest::newRow("not a backup, wrong port")
            << QStringList{"--port", "/nonexistent/ttyKX4", "--import", KX4_PROGRAM} << 3 << ""
            << "veltrokx4: Cannot import - the source file is not a backup file\n"
            << false;
        QTest::newRow("missing picture, wrong port")
            << QStringList{"--port", "/nonexistent/ttyKX4", "--splash", "/nonexistent/a.png"} << 3
            << ""
            << "veltrokx4: Cannot load /nonexistent/a.png\n"
            << false;
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

        // A dry run says what the write would change and writes nothing: the dashboard
        // reads back as it was saved.
        r = cli({"--apply-layout", file("edited.json"), "--dry-run"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains("Position 13: (empty) ") && r.out.contains(" VBAT\n") &&
                     r.out.contains(" 7300 rpm\n") && r.out.contains("Enter menu at startup: ") &&
                     r.out.endsWith("dry run: nothing written\n"),
                 qPrintable(r.out));
        const QString wouldChange = r.out.left(r.out.size() - int(strlen("dry run: nothing written\n")));
        r = cli({"--save-layout", file("unchanged.json")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(readJson(file("unchanged.json")).value("positions"),
                 readJson(file("saved.json")).value("positions"));
        QCOMPARE(readJson(file("unchanged.json")).value("board"),
                 readJson(file("saved.json")).value("board"));
        QCOMPARE(r.out, QString("saved the layout to %1\n").arg(file("unchanged.json")));

        // The write prints what it changed, the lines of the dry run.
        r = cli({"--apply-layout", file("edited.json")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QStringList indented;
        for (const QString &line : wouldChange.split('\n', Qt::SkipEmptyParts))
            indented << "  " + line;
        QCOMPARE(r.out, QString("applied %1\n%2\n").arg(file("edited.json"), indented.join('\n')));
        // Applied again: nothing changes, and it says so.
        r = cli({"--apply-layout", file("edited.json"), "--dry-run"});
        QCOMPARE(r.out, QString("nothing changes\ndry run: nothing written\n"));
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

        // At a terminal: the bar says which rate the search tries, a read ends at 100 %
        // with no bar of a further step drawn back at 0 %, and a refusal is said once.
        r = runOnTerminal({"--port", port, "--info"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.err.contains("\rConnecting: trying 9600 bit/s") &&
                     r.err.contains("\rConnecting: trying 115200 bit/s"),
                 qPrintable(r.err));
        QVERIFY2(!r.err.contains(QRegularExpression("100%.*\\] +0%")), qPrintable(r.err));
        QVERIFY2(r.out.contains("display: double (13 positions)\n"), qPrintable(r.out));
        QImage huge(400, 400, QImage::Format_RGB32);
        huge.fill(Qt::white);
        QVERIFY(huge.save(file("huge.png")));
        r = runOnTerminal(at + QStringList{"--splash", file("huge.png")});
        QCOMPARE(r.code, 3);
        QCOMPARE(r.err.count("Cannot load"), 1);
        QCOMPARE(r.err.count("is larger than the display's"), 1);
        QVERIFY2(r.err.contains("veltrokx4: Cannot load"), qPrintable(r.err));

        // A backup into a named file: header, device information, 4 pages, counters. It
        // holds the applied layout and the splash. At a terminal as in a pipe, the result
        // names the file written, and nothing names the backup folder's file it was made
        // in.
        r = runOnTerminal(at + QStringList{"--export", file("car1.bkp")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.out, file("car1.bkp") + "\n");
        QVERIFY2(r.err.contains("Exporting") && !r.err.contains(".bkp"), qPrintable(r.err));
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
            "km\nengine time: (\\d+) s \\((\\d+) h (\\d+) min\\)\nengine time at "
            "maintenance: (\\d+) min (\\(\\d+ h \\d+ min\\))\n");
        const QRegularExpressionMatch m = maintenance.match(r.out);
        QVERIFY2(m.hasMatch(), qPrintable(r.out));
        QCOMPARE(m.captured(2), m.captured(1));
        QCOMPARE(m.captured(6).toUInt(), m.captured(3).toUInt() / 60);
        // Both engine times also in hours and minutes, which compare at a glance.
        QCOMPARE(m.captured(4).toUInt(), m.captured(3).toUInt() / 3600);
        QCOMPARE(m.captured(5).toUInt(), m.captured(3).toUInt() / 60 % 60);
        QCOMPARE(m.captured(7), QString("(%1 h %2 min)")
                                    .arg(m.captured(6).toUInt() / 60)
                                    .arg(m.captured(6).toUInt() % 60));
        // The reset printed the values it read back.
        QCOMPARE(resetSays, QString("odometer at maintenance: %1 km\nengine time at maintenance: "
                                    "%2 min %3\n")
                                .arg(m.captured(2), m.captured(6), m.captured(7)));

        // Refused by the checks: not a backup; then the backup with its counters.
        r = cli({"--import", file("edited.json")});
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains("not a backup file"), qPrintable(r.err));
        // A dry run of the import: the backup's origin and what it puts back, nothing
        // written.
        r = cli({"--import", file("car1.bkp"), "--with-counters", "--dry-run"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.out.startsWith("Backup car1.bkp, made ") &&
                     r.out.contains("From a dashboard with firmware 1, 4 pages of memory, double "
                                    "display\n") &&
                     r.out.contains("Position 13: (empty) ") && r.out.contains(" 7300 rpm\n") &&
                     r.out.contains("Saved odometer point: ") &&
                     r.out.endsWith("dry run: nothing written\n"),
                 qPrintable(r.out));
        r = cli({"--save-layout", file("unchanged.json")});
        QCOMPARE(readJson(file("unchanged.json")).value("positions"),
                 readJson(file("saved.json")).value("positions"));
        QCOMPARE(readJson(file("unchanged.json")).value("board"),
                 readJson(file("saved.json")).value("board"));
        r = cli({"--info"});
        QVERIFY2(r.out.contains(m.captured(0)), qPrintable(r.out));
        // What the dashboard held is backed up first, then the import.
        r = cli({"--import", file("car1.bkp"), "--with-counters", "--backup-first"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QString folder = home.filePath("data") + "/Veltro/VeltroKX4";
        const QStringList made = QDir(folder).entryList({"*.bkp"}, QDir::Files, QDir::NoSort);
        QCOMPARE(made, QStringList{"0000.bkp"});
        const QString kept = folder + "/0000.bkp";
        QVERIFY2(r.out.startsWith(QString("backed up the dashboard to %1\nimported %2\n  Backup "
                                          "car1.bkp, made ")
                                      .arg(QDir::toNativeSeparators(kept), file("car1.bkp"))),
                 qPrintable(r.out));
        QVERIFY(QFileInfo(kept).size() > 4 * 1024);
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

    void layoutAcrossEngines_data()
    {
        QTest::addColumn<QJsonValue>("board");
        QTest::newRow("board null") << QJsonValue(QJsonValue::Null);
        QTest::newRow("board absent") << QJsonValue(QJsonValue::Undefined);
    }

    // A workshop applies a diesel profile, then a petrol one without board settings: the
    // petrol layout is written with the board settings the dashboard had and the petrol
    // engine's index, and the read-back check finds exactly that.
    void layoutAcrossEngines()
    {
        QFETCH(QJsonValue, board);
        QTemporaryDir dir;
        const QString port = dir.filePath("adapter");
        QProcess sim;
        QVERIFY(!startSim(sim, {"--baud", "115200", "--link", port}).isEmpty());
        const auto cli = [&](const QStringList &args) {
            return run(QStringList{"--port", port, "--baud", "115200"} + args);
        };
        const QJsonObject dieselBoard{
            {"rpm", 1},          {"speed", 0},          {"aux", 1},
            {"adelay", 300},     {"rpmlim", 4500},      {"warnodo", 9000},
            {"warntime", 600},   {"animation", true},   {"menuAtStart", false},
            {"rpmWarning", true}, {"maintenanceWarning", false}, {"logoWhenStopped", true}};
        const QJsonObject rpm{{"name", "RPM"}, {"pid", 12}, {"cid", 2024}};
        const QJsonObject speed{{"name", "SPEED"}, {"pid", 13}, {"cid", 2024}};
        QJsonObject diesel{{"format", "veltrokx4-layout"}, {"formatVersion", 1},
                           {"engine", "Diesel, common rail"}, {"display", "single"},
                           {"positions", QJsonArray{rpm, QJsonValue(), QJsonValue(),
                                                    QJsonValue(), QJsonValue(), QJsonValue()}},
                           {"board", dieselBoard}};
        QJsonObject petrol = diesel;
        petrol["engine"] = "Petrol, port injection";
        petrol["positions"] = QJsonArray{speed, rpm};
        if (board.isUndefined())
            petrol.remove("board");
        else
            petrol["board"] = board;
        QVERIFY(writeJson(dir.filePath("diesel.json"), diesel));
        QVERIFY(writeJson(dir.filePath("petrol.json"), petrol));

        Result r = cli({"--apply-layout", dir.filePath("diesel.json")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        r = cli({"--apply-layout", dir.filePath("petrol.json")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        // Then what it changed: the engine first.
        QVERIFY2(r.out.startsWith("applied " + dir.filePath("petrol.json") +
                                  "\n  Engine: Diesel, common rail "),
                 qPrintable(r.out));
        r = cli({"--save-layout", dir.filePath("after.json")});
        stopSim(sim);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QJsonObject after = readJson(dir.filePath("after.json"));
        QCOMPARE(after.value("engine").toString(), QString("Petrol, port injection"));
        QCOMPARE(after.value("positions").toArray().at(0), QJsonValue(speed));
        QCOMPARE(after.value("positions").toArray().at(1), QJsonValue(rpm));
        QCOMPARE(after.value("board").toObject(), dieselBoard);
    }

    void layoutOntoOddBoardRecords_data()
    {
        QTest::addColumn<bool>("blank");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QString>("applyNote");
        // Erased memory: no parameter table, so discovery reads nothing more; the write of
        // the positions brings the erased board area, read as the default record, and the
        // profile's settings then replace it.
        QTest::newRow("erased dashboard") << true << "its board record was not read" << "";
        // A record of another version is sent back as it is; the positions are written.
        QTest::newRow("board record of version 2")
            << false << "board record is not understood: the profile holds no board settings"
            << "board record is not understood: its board settings stay as they are";
    }

    void layoutOntoOddBoardRecords()
    {
        QFETCH(bool, blank);
        QFETCH(QString, note);
        QFETCH(QString, applyNote);
        QTemporaryDir dir;
        const QString port = dir.filePath("adapter");
        const QString state = dir.filePath("dash.json");
        QStringList simArgs{"--baud", "115200", "--link", port, "--state", state};
        if (blank)
            simArgs << "--blank";
        QProcess sim;
        QVERIFY(!startSim(sim, simArgs).isEmpty());
        const auto memory = [&state] {
            return QByteArray::fromBase64(readJson(state).value("memory").toString().toLatin1());
        };
        if (!blank) {
            stopSim(sim);
            QJsonObject edited = readJson(state);
            QByteArray bytes = memory();
            bytes[0x202] = 2;
            edited["memory"] = QString::fromLatin1(bytes.toBase64());
            QVERIFY(writeJson(state, edited));
            QVERIFY(!startSim(sim, simArgs).isEmpty());
        }
        const QByteArray boardBefore = memory().mid(0x200, 0x200);
        const auto cli = [&](const QStringList &args) {
            return run(QStringList{"--port", port, "--baud", "115200"} + args);
        };

        Result r = cli({"--save-layout", dir.filePath("before.json")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY(readJson(dir.filePath("before.json")).value("board").isNull());
        QVERIFY2(r.err.contains(note), qPrintable(r.err));

        const QJsonObject board{
            {"rpm", 0},          {"speed", 1},          {"aux", 0},
            {"adelay", 120},     {"rpmlim", 5200},      {"warnodo", 8000},
            {"warntime", 900},   {"animation", false},  {"menuAtStart", true},
            {"rpmWarning", true}, {"maintenanceWarning", true}, {"logoWhenStopped", false}};
        const QJsonObject rpm{{"name", "RPM"}, {"pid", 12}, {"cid", 2024}};
        const QJsonArray positions{QJsonValue(), rpm};
        QVERIFY(writeJson(dir.filePath("profile.json"),
                          {{"format", "veltrokx4-layout"}, {"formatVersion", 1},
                           {"engine", "Petrol, turbocharged"}, {"display", "single"},
                           {"positions", positions}, {"board", board}}));
        r = cli({"--apply-layout", dir.filePath("profile.json")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.err, applyNote.isEmpty() ? QString() : "veltrokx4: the dashboard's " + applyNote + "\n");
        r = cli({"--save-layout", dir.filePath("after.json")});
        stopSim(sim);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QJsonObject after = readJson(dir.filePath("after.json"));
        QCOMPARE(after.value("positions").toArray().at(0), positions.at(0));
        QCOMPARE(after.value("positions").toArray().at(1), positions.at(1));
        if (blank) {
            // The profile's settings, with the engine's index in the record.
            QCOMPARE(after.value("board").toObject(), board);
            QCOMPARE(memory().at(0x200 + 16), char(2));
        } else {
            QVERIFY(after.value("board").isNull());
            QCOMPARE(memory().mid(0x200, 0x200).toHex(), boardBefore.toHex());
        }
    }

    // An export that cannot be made: refused as the file's fault (status 3) or as a port
    // that did not open (2), said on one line, within its bound, with what stood under the
    // name still there and nothing new in the backup folder. FILE is refused before the
    // port is opened.
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

    // The adapter check against adapters of several kinds (the simulator's options), each
    // as the check prints it; every row also writes the diagnostics report, which holds the
    // same lines.
    void checkAdapter_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("tcp"); // the Wi-Fi adapter's address rather than the pty
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("genuine v2.1, ELM327 kind")
            << QStringList{"--kind", "genuine"} << QStringList{"--plain"} << false
            << QStringList{"Adapter: ELM327 v2.1, \"OBDII to RS232 Interpreter\"",
                           "Answers like the chip it names: yes, it knows at ign, at rd, at amc",
                           "Response count: accepted",
                           "Rate switch: switched from 38400 to 500000 bit/s",
                           "Highest rate reached: 500000 bit/s", "Supply voltage: 12.6V",
                           "Dashboard: answers (firmware 1, 8 pages)",
                           "One exchange: * ms (median of 20 dashboard requests)",
                           "Wireless module: not seen: *",
                           "16-page backup: about * (2730 exchanges)"};
        QTest::newRow("clone refusing the digit and at brd")
            << QStringList{"--kind", "clone"} << QStringList{"--plain", "--baud", "38400"} << false
            << QStringList{"Adapter: ELM327 v1.5, \"OBDII to RS232 Interpreter\"",
                           "Answers like the chip it names: no, it refuses at ign, at rd, which a "
                           "genuine ELM327 v1.5 knows: probably a clone with the first version's "
                           "commands",
                           "Response count: refused (\"?\"): every request waits out the reply "
                           "time-out",
                           "Rate switch: \"at brd\" refused at 500000, 250000, 115200",
                           "Highest rate reached: 38400 bit/s",
                           "Dashboard: answers (firmware 1, 8 pages)"};
        QTest::newRow("extended without at rv behind a Bluetooth module")
            << QStringList{"--kind", "extended", "--rv", "none", "--module", "bluetooth"}
            << QStringList{"--baud", "38400"} << false
            << QStringList{"Adapter: ELM327 v1.4b, \"OBDII to RS232 Interpreter\"",
                           "Extended command set: ELS27 v3.2.1",
                           "Answers like the chip it names: yes, it knows at ign, at rd",
                           "Response count: accepted", "Supply voltage: unavailable (no answer)",
                           "Dashboard: answers (firmware 1, 8 pages)",
                           "Wireless module: likely: an adapter command takes * ms, the line "
                           "explains * ms"};
        QTest::newRow("extended whose digit draws NO DATA, refusing at rv")
            << QStringList{"--kind", "extended", "--count-no-data", "--rv", "?"} << QStringList()
            << false
            << QStringList{"Response count: answered \"NO DATA\": not used, every request waits "
                           "out the reply time-out",
                           "Rate switch: switched from 38400 to 500000 bit/s",
                           "Supply voltage: unavailable (the adapter answers \"?\")"};
        QTest::newRow("adapter without a dashboard")
            << QStringList{"--kind", "genuine", "--host-id", "7E0"} << QStringList{"--plain"} << false
            << QStringList{"Adapter: ELM327 v2.1, \"OBDII to RS232 Interpreter\"",
                           "Response count: not known: no dashboard answered",
                           "Dashboard: no answer",
                           "One exchange: * ms (median of 20 adapter commands)",
                           "16-page backup: at least * (2730 exchanges, and the dashboard's time)"};
        QTest::newRow("Wi-Fi adapter")
            << QStringList{"--kind", "genuine", "--tcp", "0"} << QStringList{"--plain"} << true
            << QStringList{"Port: tcp://127.0.0.1:* (network)",
                           "Rate switch: not tried: a network adapter has no line rate",
                           "Wireless module: yes: a network (Wi-Fi) adapter",
                           "Dashboard: answers (firmware 1, 8 pages)"};
    }

    void checkAdapter()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QStringList, args);
        QFETCH(bool, tcp);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        QProcess sim;
        const QString served = startSim(sim, simArgs + QStringList{"--link", dir.filePath("a")});
        QVERIFY(!served.isEmpty());
        const QString port = tcp ? served : dir.filePath("a");
        const QString report = dir.filePath("report.txt");
        const Result r =
            run(QStringList{"--port", port, "--check-adapter", "--diagnostics", report} + args);
        stopSim(sim);
        QVERIFY2(r.code == 0, qPrintable(r.err + r.out));
        QCOMPARE(r.err, QString());
        const QStringList printed = r.out.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(printed.value(0).startsWith("Port: "), qPrintable(r.out));
        for (const QString &line : lines) {
            const QRegularExpression shape(QRegularExpression::wildcardToRegularExpression(line));
            QVERIFY2(!printed.filter(shape).isEmpty(), qPrintable(line + "\n" + r.out));
        }
        QFile f(report);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY(text.contains("\nAdapter check ("));
        for (const QString &line : printed.mid(1))
            QVERIFY2(text.contains("\n  " + line + "\n"), qPrintable(line));
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
