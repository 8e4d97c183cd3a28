// One command of the command line against one dashboard, through the same controller as
// the window: connect, wait for the discovery and the configuration read, run the command,
// wait until the controller has settled (the re-read after a write included), check and
// print the result. Progress goes to a terminal's standard error, the result to standard
// output.

#include "app/CommandRun.h"

#include "config/BackupFile.h"
#include "config/BackupStorage.h"
#include "config/LayoutProfile.h"
#include "link/ELM327IOBase.h"
#include "runner/CFGRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <functional>
#include <utility>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

// The update-checking edition has no command to run.
#if !KX4_UPDATE_EDITION

namespace CommandLine {

namespace {

bool stderrIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

// Every byte of the text, a NUL included.
void print(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

void printErr(const QString &text)
{
    print(stderr, text);
}

void printOut(const QString &text)
{
    print(stdout, text);
}

// The progress line on a terminal: the step's name and a bar redrawn in place. Not on a
// terminal it prints nothing, so a script's log keeps only the result and the errors.
class ProgressLine
{
public:
    ProgressLine() : m_on(stderrIsTerminal()) {}

    // Something a script's log must keep too: always printed.
    void warn(const QString &text)
    {
        flushNote();
        end();
        printErr(QStringLiteral("veltrokx4: %1\n").arg(text));
    }

    void step(const QString &label)
    {
        // The same step again goes on in its line, unless the line shows a status.
        if (label == m_label && m_status.isEmpty())
            return;
        flushNote();
        end();
        m_label = label;
        m_value = -1;
        draw(0);
    }
    void draw(double value)
    {
        if (!m_on || m_label.isEmpty())
            return;
        const int percent = qBound(0, int(value * 100 + 0.5), 100);
        if (percent == m_value)
            return;
        // A new transfer in the same step (the board record after the table) starts at 0;
        // a bar drawn back at 0 only for it to end at once says nothing.
        if (percent == 0 && m_value > 0)
            return;
        flushNote();
        m_value = percent;
        constexpr int Width = 30;
        const int filled = percent * Width / 100;
        printErr(QStringLiteral("\r%1 [%2%3] %4%")
                     .arg(m_label, -22)
                     .arg(QString(filled, QLatin1Char('#')))
                     .arg(QString(Width - filled, QLatin1Char('.')))
                     .arg(percent, 3));
        m_open = true;
    }
    // What the step is doing when there is no share to show (the rate being tried), in
    // place of the bar.
    void status(const QString &text)
    {
        if (!m_on || text == m_status)
            return;
        flushNote();
        m_status = text;
        m_value = -1;
        printErr(QStringLiteral("\r%1").arg(text, -(22 + 2 + 30 + 6)));
        m_open = true;
    }
    // A message between progress lines (the controller's alerts), terminal only. It is
    // printed when the run goes on; a run that ends on it says it once, as its failure.
    void note(const QString &text)
    {
        if (!m_on)
            return;
        flushNote();
        end();
        m_note = text;
    }
    // The note not yet printed, dropped when it is `text` (the run ends saying it).
    void dropNote(const QString &text)
    {
        if (m_note == text)
            m_note.clear();
    }
    void flushNote()
    {
        const QString text = std::exchange(m_note, QString());
        if (text.isEmpty())
            return;
        end();
        printErr(text + QLatin1Char('\n'));
    }
    void end()
    {
        if (m_open)
            printErr(QStringLiteral("\n"));
        m_open = false;
        m_status.clear();
    }

private:
    bool m_on;
    bool m_open = false;
    QString m_label;
    QString m_status;
    QString m_note;
    int m_value = -1;
};

QString stateLabel(CFGRunner::State state)
{
    switch (state) {
    case CFGRunner::Connecting:
        return QStringLiteral("Connecting");
    case CFGRunner::Reading:
        return QStringLiteral("Reading");
    case CFGRunner::Writing:
    case CFGRunner::GenWrite:
        return QStringLiteral("Writing");
    case CFGRunner::Uploading:
        return QStringLiteral("Uploading splash");
    case CFGRunner::Exporting:
        return QStringLiteral("Exporting");
    case CFGRunner::Importing:
        return QStringLiteral("Importing");
    default:
        return QString();
    }
}

const QString kBoardNotUnderstood =
    QStringLiteral("the dashboard's board record is not understood: its board settings stay as "
                   "they are");
const QString kBoardNotRead = QStringLiteral(
    "the dashboard holds no parameter table, so its board record was not read");

// One command against one dashboard: connect, wait for the discovery and the
// configuration read, run the command, wait until the controller has settled (including
// the re-read after a write), check and print the result. Every way out goes through
// finish().
class Run
{
public:
    explicit Run(const Options &options) : m_options(options) {}

    int exec()
    {
        QObject::connect(&m_runner, &CFGRunner::stateChanged, &m_context,
                         [this](CFGRunner::State state) { onStateChanged(state); });
        QObject::connect(&m_runner, &CFGRunner::progress, &m_context, [this](double value) {
            m_quiet = 0;
            m_progress.draw(value);
        });
        QObject::connect(&m_runner, &CFGRunner::alert, &m_context, [this](const QString &msg) {
            m_lastAlert = msg;
            if (!m_holdNotes)
                m_progress.note(msg);
        });
        QObject::connect(&m_runner, &CFGRunner::deviceInfo, &m_context,
                         [this](const QVariantMap &info) { m_info = info; });
        QObject::connect(&m_runner, &CFGRunner::deviceParam, &m_context,
                         [this](CFGRunner::Param kind, const QVariant &value) {
                             m_quiet = 0;
                             m_params[kind] = value.toUInt();
                         });
        QObject::connect(&m_runner, &CFGRunner::deviceConfig, &m_context,
                         [this](const QVariantList &config) { m_config = config; });
        QObject::connect(&m_runner, &CFGRunner::boardConfig, &m_context,
                         [this](const QVariantMap &board) {
                             m_board = board;
                             m_boardRead = true;
                         });
        QObject::connect(&m_runner, &CFGRunner::connectionFailed, &m_context,
                         [this](const QString &reason) { m_lastAlert = reason; });
        QObject::connect(&m_runner, &CFGRunner::disconnectedFromHost, &m_context,
                         [this] { onDisconnected(); });
        QObject::connect(&m_poll, &QTimer::timeout, &m_context, [this] { poll(); });

        m_runner.loadDefaultConfig();
        // A file the command cannot use is refused before the connection, which can take
        // seconds (or fail for another reason first).
        const QString refusal = checkFiles();
        if (!refusal.isEmpty()) {
            finish(Refused, refusal);
            saveDiagnostics();
            return m_code;
        }
        const QString port = resolvePort(m_options.port);
        m_poll.start(PollMs);
        m_progress.step(stateLabel(CFGRunner::Connecting));
        // The rate search probes one rate after the other; the poll says which.
        m_searching = m_options.baud == 0;
        const bool opened = m_runner.connectToHost(port, m_options.baud, !m_options.plain);
        m_searching = false;
        if (!opened) {
            finish(ConnectionFailed,
                   QStringLiteral("cannot open the adapter on %1").arg(m_options.port));
        } else {
            waitUntilSettled([this] { discovered(); });
        }
        if (!m_done)
            m_loop.exec();
        saveDiagnostics();
        return m_code;
    }

private:
    static constexpr int PollMs = 100;
    // Idle for this many polls in a row, with no state change between them, is settled:
    // longer than the controller's 200 ms pause before it reads a written configuration
    // back, and its timer is due before our third poll, so the re-read is never missed.
    static constexpr int SettledPolls = 4;
    // No sign of life from the controller for this long ends the run.
    static constexpr int SilentPollsLimit = 300;

    void waitUntilSettled(std::function<void()> then)
    {
        m_then = std::move(then);
        m_settled = 0;
    }

    void onStateChanged(CFGRunner::State state)
    {
        m_searching = false;
        m_quiet = 0;
        m_settled = 0;
        if (state != CFGRunner::Idle && state != CFGRunner::NotConnected)
            m_busy = true;
        const QString label = stateLabel(state);
        if (!label.isEmpty())
            m_progress.step(label);
    }

    void poll()
    {
        if (m_done)
            return;
        if (m_searching) {
            // 0 while the port is closed between two rates; the last one tried stays.
            const int rate = m_runner.lineRate();
            if (rate > 0)
                m_progress.status(QStringLiteral("Connecting: trying %1 bit/s").arg(rate));
        }
        if (++m_quiet > SilentPollsLimit) {
            finish(m_discovered ? CommunicationFailed : ConnectionFailed,
                   QStringLiteral("the dashboard stopped answering"));
            return;
        }
        if (!m_then || m_runner.getState() != CFGRunner::Idle) {
            m_settled = 0;
            return;
        }
        if (++m_settled < SettledPolls)
            return;
        m_progress.flushNote();
        m_progress.end();
        const auto then = std::move(m_then);
        m_then = nullptr;
        m_busy = false;
        then();
    }

    void onDisconnected()
    {
        if (m_done)
            return;
        const QString reason =
            m_lastAlert.isEmpty() ? QStringLiteral("connection closed") : m_lastAlert;
        finish(m_discovered ? CommunicationFailed : ConnectionFailed, reason);
    }

    // Starts an operation that should leave Idle; false (and the run refused) when the
    // controller turned it down and stayed Idle.
    bool started(bool accepted)
    {
        if (accepted && (m_busy || m_runner.getState() != CFGRunner::Idle))
            return true;
        finish(Refused, m_lastAlert.isEmpty() ? QStringLiteral("refused") : m_lastAlert);
        return false;
    }

    void discovered()
    {
        if (m_info.isEmpty()) {
            finish(ConnectionFailed, QStringLiteral("the dashboard reports no device information"));
            return;
        }
        m_discovered = true;
        // The engine the board record names, as the window selects it.
        const QStringList engines = m_runner.engines();
        const int engidx = m_board.value(QStringLiteral("engidx")).toInt();
        m_engine = engines.value(engidx, engines.value(0));
        m_runner.setEngineByName(m_engine, m_config);

        switch (m_options.command) {
        case Command::Info:
            printInfo();
            finish(Success);
            break;
        case Command::SaveLayout:
            if (!m_boardRead)
                m_progress.warn(kBoardNotRead);
            else if (m_board.isEmpty())
                m_progress.warn(QStringLiteral("the dashboard's board record is not understood: "
                                               "the profile holds no board settings"));
            if (!m_runner.saveLayout(absolute(m_options.file), m_engine, m_config, m_board)) {
                finish(Refused, m_lastAlert);
                return;
            }
            printOut(QStringLiteral("saved the layout to %1\n").arg(m_options.file));
            finish(Success);
            break;
        case Command::ApplyLayout:
            applyLayout();
            break;
        case Command::Export:
            exportBackup();
            break;
        case Command::Import:
            if (!importDifference())
                break;
            if (started(
                    m_runner.importConfigFile(absolute(m_options.file), m_options.withCounters)))
                waitUntilSettled([this] {
                    printOut(QStringLiteral("imported %1\n").arg(m_options.file));
                    printDifference(m_difference, QStringLiteral("  "));
                    finish(Success);
                });
            break;
        case Command::Splash:
            uploadSplash();
            break;
        case Command::ResetMaintenance:
            resetMaintenance();
            break;
        case Command::None:
            break;
        }
    }

    void printInfo()
    {
        const int pages = m_info.value(QStringLiteral("pages")).toInt();
        const bool twin = m_info.value(QStringLiteral("disp")).toInt() == 1;
        QString out;
        out += QStringLiteral("version: %1\n").arg(m_info.value(QStringLiteral("version")).toInt());
        out += QStringLiteral("memory: %1 pages (%2 bytes)\n").arg(pages).arg(pages * 1024);
        out += QStringLiteral("display: %1 (%2 positions)\n")
                   .arg(twin ? QStringLiteral("double") : QStringLiteral("single"))
                   .arg(twin ? 13 : 6);
        out += QStringLiteral("records: %1\n").arg(m_info.value(QStringLiteral("count")).toInt());
        const auto param = [this](CFGRunner::Param kind) {
            return m_params.contains(kind) ? QString::number(m_params.value(kind))
                                           : QStringLiteral("unknown");
        };
        out += QStringLiteral("odometer: %1 km\n").arg(param(CFGRunner::PP_ODO_Current));
        out +=
            QStringLiteral("odometer at maintenance: %1 km\n").arg(param(CFGRunner::PP_ODO_Saved));
        // The dashboard counts the engine time in seconds and keeps its saved point in
        // minutes; both also as hours and minutes, which is how they are compared.
        const auto engineTime = [this, &param](CFGRunner::Param kind, const char *unit,
                                               uint perMinute) {
            if (!m_params.contains(kind))
                return param(kind);
            return QStringLiteral("%1 %2 (%3)")
                .arg(param(kind), QLatin1String(unit),
                     hoursAndMinutes(m_params.value(kind) / perMinute));
        };
        out +=
            QStringLiteral("engine time: %1\n").arg(engineTime(CFGRunner::PP_TIM_Current, "s", 60));
        out += QStringLiteral("engine time at maintenance: %1\n")
                   .arg(engineTime(CFGRunner::PP_TIM_Saved, "min", 1));
        printOut(out);
    }

    // "66 h 40 min" for 4000 minutes.
    static QString hoursAndMinutes(uint minutes)
    {
        return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
    }

    // The command's own file, checked as the command will use it once connected: the
    // layout profile read and matched against the catalogue (a double display's profile
    // loads for any display here; what a single one leaves out is said after the
    // connection), the backup read whole, the picture readable. Empty when usable.
    QString checkFiles()
    {
        const QString file = absolute(m_options.file);
        switch (m_options.command) {
        case Command::ApplyLayout: {
            m_holdNotes = true;
            m_lastAlert.clear();
            const bool ok = !m_runner.loadLayout(file).isEmpty();
            m_holdNotes = false;
            const QString error = ok ? QString() : m_lastAlert;
            m_lastAlert.clear();
            return ok || !error.isEmpty() ? error
                                          : QStringLiteral("cannot read %1").arg(m_options.file);
        }
        case Command::Import: {
            if (!QFileInfo::exists(file))
                return QStringLiteral("Cannot import - the source file does not exist");
            BackupFile::Refusal refusal = BackupFile::NoRefusal;
            if (!BackupFile::load(file, BackupFile::readInfo(file), &refusal))
                return BackupFile::refusalText(refusal);
            return QString();
        }
        case Command::Export:
            return m_options.file.isEmpty() ? QString() : exportTargetProblem(m_options.file);
        case Command::Splash: {
            QImageReader reader(file);
            if (!reader.canRead())
                return QStringLiteral("Cannot load %1\n%2")
                    .arg(m_options.file, reader.errorString());
            return QString();
        }
        default:
            return QString();
        }
    }

    void applyLayout()
    {
        m_lastAlert.clear();
        const QVariantMap layout = m_runner.loadLayout(absolute(m_options.file));
        if (layout.isEmpty()) {
            finish(Refused, m_lastAlert);
            return;
        }
        // What loading had to leave out (a double display's positions 7 to 13).
        if (!m_lastAlert.isEmpty())
            m_progress.warn(m_lastAlert);
        // As the device page does it: the engine first (its list decides what may be
        // shown), then the positions and the board settings, then "Apply changes".
        m_runner.setEngineByName(layout.value(QStringLiteral("engine")).toString(), m_config);
        const QVariantList config = layout.value(QStringLiteral("config")).toList();
        const QVariantMap board = layout.value(QStringLiteral("board")).toMap();
        const int engine = layout.value(QStringLiteral("engineIndex")).toInt();
        if (!layoutDifference(config, board))
            return;
        if (!m_boardRead && !board.isEmpty()) {
            // Nothing was read, so the controller has no board record to write over: the
            // positions go first, and the read after them brings the record (an erased
            // area reads as the default one), which the board settings then replace.
            writeLayout(config, QVariantMap(), engine, [this, config, board, engine] {
                writeLayout(config, board, engine, [this] { applied(); });
            });
            return;
        }
        writeLayout(config, board, engine, [this] { applied(); });
    }

    // One configuration write of the layout and its check once the controller has read
    // the dashboard back. A profile without board settings keeps the dashboard's own
    // (the write still sets their engine index); a board record the controller did not
    // understand is written back as it was, and only the positions are checked.
    void writeLayout(const QVariantList &config, QVariantMap board, int engine,
                     std::function<void()> then)
    {
        if (m_board.isEmpty()) {
            if (!board.isEmpty())
                m_progress.warn(m_boardRead ? kBoardNotUnderstood : kBoardNotRead);
            board.clear();
        } else if (board.isEmpty()) {
            board = m_board;
        }
        m_runner.updateConfig(config, board);
        if (!started(true))
            return;
        waitUntilSettled([this, config, board, engine, then] {
            const QStringList differ =
                LayoutProfile::readBackDifferences(config, board, engine, m_config, m_board);
            if (!differ.isEmpty()) {
                // The exchange went through; the dashboard did not keep what it was sent.
                finish(Refused,
                       QStringLiteral("the dashboard holds something else after the write: %1")
                           .arg(differ.join(QStringLiteral(", "))));
                return;
            }
            then();
        });
    }

    void applied()
    {
        printOut(QStringLiteral("applied %1\n").arg(m_options.file));
        printDifference(m_difference, QStringLiteral("  "));
        finish(Success);
    }

    // What the write changes against what was read, as the window asks it. With --dry-run
    // it is printed and the run ends there, having written nothing: false.
    bool layoutDifference(const QVariantList &config, const QVariantMap &board)
    {
        // The board settings as writeLayout gives them to the controller.
        QVariantMap written = board;
        if (m_board.isEmpty())
            written.clear();
        else if (written.isEmpty())
            written = m_board;
        return takeDifference(m_runner.configDifference(config, written));
    }

    bool importDifference()
    {
        return takeDifference(
            m_runner.importFileDifference(absolute(m_options.file), m_options.withCounters));
    }

    bool takeDifference(const QVariantMap &difference)
    {
        if (!difference.value(QStringLiteral("ok")).toBool()) {
            finish(Refused, difference.value(QStringLiteral("error")).toString());
            return false;
        }
        m_difference = difference.value(QStringLiteral("lines")).toStringList();
        if (!m_options.dryRun)
            return true;
        printDifference(m_difference, QString());
        printOut(QStringLiteral("dry run: nothing written\n"));
        finish(Success);
        return false;
    }

    static void printDifference(const QStringList &lines, const QString &indent)
    {
        if (lines.isEmpty()) {
            printOut(indent + QStringLiteral("nothing changes\n"));
            return;
        }
        for (const QString &line : lines)
            printOut(indent + line + QLatin1Char('\n'));
    }

    // The port as the window lists it ("ttyUSB0", "COM3"), or a device path: a system port
    // by its path is found under its name, and any other device file (a pseudo-terminal, a
    // Bluetooth or network bridge) is taken as one of the extra ports.
    static QString resolvePort(const QString &port)
    {
        const QStringList listed = availableSerialPorts();
        if (listed.contains(port) || !QFileInfo(port).isAbsolute() || !QFileInfo::exists(port))
            return port;
        const QString name = QFileInfo(port).fileName();
        if (listed.contains(name) && QFileInfo(QStringLiteral("/dev/") + name) == QFileInfo(port))
            return name;
        QStringList extra =
            qEnvironmentVariable("KX4_EXTRA_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
        extra.append(port);
        qputenv("KX4_EXTRA_PORTS", extra.join(QLatin1Char(':')).toLocal8Bit());
        return port;
    }


    void exportBackup()
    {
        const QString folder = BackupStorage::folder();
        QStringList before;
        for (const QVariant &entry : BackupStorage::list(folder))
            before << entry.toMap().value(QStringLiteral("name")).toString();
        // The controller's "Saved as" names the file in the backup folder, which is moved
        // to FILE: the result line names the file written, and a failure says why itself.
        m_holdNotes = true;
        if (!started(m_runner.exportConfig(true)))
            return;
        waitUntilSettled([this, folder, before] {
            QString made;
            for (const QVariant &entry : BackupStorage::list(folder)) {
                const QString name = entry.toMap().value(QStringLiteral("name")).toString();
                if (!before.contains(name))
                    made = BackupStorage::pathFor(folder, name);
            }
            if (made.isEmpty()) {
                // A backup that could not be written (a full disk) is the file's fault, as
                // an unwritable FILE is; otherwise the dashboard's replies broke it off.
                finish(m_lastAlert == backupNotWrittenText() ? Refused : CommunicationFailed,
                       m_lastAlert);
                return;
            }
            if (!m_options.file.isEmpty()) {
                if (!moveInto(made, m_options.file))
                    return;
                made = m_options.file;
            }
            printOut(made + QLatin1Char('\n'));
            finish(Success);
        });
    }

    // The controller's alert for an export whose file could not be written, in the
    // language it alerts in.
    static QString backupNotWrittenText()
    {
        return QCoreApplication::translate("CFGRunner",
                                           "Export failed - the backup could not be written");
    }

    // Why --export cannot write `path`, or nothing when it can try: the backup goes to a
    // new file or replaces a regular one. A device node, a FIFO, a socket or a folder under
    // that name would be swapped for a plain file (as root, "--export /dev/full" would
    // replace the device), so they are refused.
    static QString exportTargetProblem(const QString &path)
    {
        const QFileInfo target(path);
        if (!target.exists() || target.isFile())
            return QString();
        return QStringLiteral("%1 could not be written: it is %2, not a regular file")
            .arg(path, target.isDir() ? QStringLiteral("a folder")
                                      : QStringLiteral("a device, a FIFO or a socket"));
    }

    // The backup made in the backup folder goes to the file asked for, replacing it only
    // once complete.
    bool moveInto(const QString &from, const QString &to)
    {
        // The target may have been replaced while the export ran.
        const QString problem = exportTargetProblem(to);
        if (!problem.isEmpty()) {
            finish(Refused, QStringLiteral("%1; the backup is %2").arg(problem, from));
            return false;
        }
        QFile in(from);
        QSaveFile out(to);
        const QByteArray bytes = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
        if (bytes.isEmpty() || !out.open(QIODevice::WriteOnly) ||
            out.write(bytes) != bytes.size() || !out.commit()) {
            // The backup itself is safe in the backup folder.
            finish(Refused, QStringLiteral("cannot write %1 (%2); the backup is %3")
                                .arg(to, out.errorString(), from));
            return false;
        }
        in.close();
        in.remove();
        return true;
    }

    void uploadSplash()
    {
        if (!m_runner.loadSplash(QUrl::fromLocalFile(absolute(m_options.file)).toString())) {
            finish(Refused, m_lastAlert);
            return;
        }
        m_runner.uploadSplash();
        if (!started(true))
            return;
        waitUntilSettled([this] {
            printOut(QStringLiteral("uploaded %1\n").arg(m_options.file));
            finish(Success);
        });
    }

    void resetMaintenance()
    {
        // The window's "Reset Maintenance": the current odometer and engine time become the
        // saved points, and the controller reads the four values back.
        m_runner.resetMaintenance();
        if (!started(true))
            return;
        waitUntilSettled([this] {
            const uint minutes = m_params.value(CFGRunner::PP_TIM_Saved);
            printOut(QStringLiteral("odometer at maintenance: %1 km\n"
                                    "engine time at maintenance: %2 min (%3)\n")
                         .arg(m_params.value(CFGRunner::PP_ODO_Saved))
                         .arg(minutes)
                         .arg(hoursAndMinutes(minutes)));
            finish(Success);
        });
    }

    static QString absolute(const QString &file) { return QFileInfo(file).absoluteFilePath(); }

    // After the command, whatever its end. A report that cannot be written turns a
    // success into a refusal (an unwritable file); a failure keeps its own status.
    void saveDiagnostics()
    {
        if (m_options.diagnostics.isEmpty())
            return;
        const QString error = m_runner.saveDiagnostics(absolute(m_options.diagnostics));
        if (error.isEmpty())
            return;
        printErr(QStringLiteral("veltrokx4: %1\n").arg(error));
        if (m_code == Success)
            m_code = Refused;
    }

    // The one way out: the result has been printed, a failure is said here.
    void finish(ExitCode code, const QString &message = QString())
    {
        if (m_done)
            return;
        m_done = true;
        m_code = code;
        m_then = nullptr;
        m_poll.stop();
        // The alert that ends the run is its failure line, said once.
        if (code != Success)
            m_progress.dropNote(message);
        m_progress.flushNote();
        m_progress.end();
        if (code != Success)
            printErr(QStringLiteral("veltrokx4: %1\n")
                         .arg(message.isEmpty() ? QStringLiteral("failed") : message));
        m_loop.quit();
    }

    const Options m_options;
    CFGRunner m_runner;
    QObject m_context;
    QEventLoop m_loop;
    QTimer m_poll;
    ProgressLine m_progress;
    std::function<void()> m_then;
    int m_settled = 0;
    int m_quiet = 0;
    bool m_busy = false;
    bool m_discovered = false;
    bool m_done = false;
    bool m_searching = false; // the link probes rates (inside connectToHost)
    bool m_holdNotes = false; // the controller's alerts are not shown as notes
    int m_code = Success;
    QString m_lastAlert;
    // What the write changes, taken before it.
    QStringList m_difference;
    QString m_engine;
    QVariantMap m_info;
    QVariantList m_config;
    QVariantMap m_board;
    // Whether the controller has read the board record at all: a dashboard without a
    // parameter table (count 0) is not read beyond its device information.
    bool m_boardRead = false;
    QHash<int, uint> m_params;
};

} // namespace

int runCommand(const Options &options)
{
    Run command(options);
    return command.exec();
}

} // namespace CommandLine

#endif // !KX4_UPDATE_EDITION
