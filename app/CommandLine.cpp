#include "app/CommandLine.h"

#include "config/BackupStorage.h"
#include "config/LayoutProfile.h"
#include "edition/Edition.h"
#include "link/ELM327IOBase.h"
#include "runner/CFGRunner.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <functional>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace CommandLine {

namespace {

// Every option of the command line. Commands are the options that name what to do; a new
// option is one row here (and its handling in Run).
struct OptionRow
{
    const char *name;
    const char *valueName; // nullptr: a switch
    const char *help;
    bool command;
};
const OptionRow optionRows[] = {
    {"port", "PORT", "Adapter port (a serial device such as /dev/ttyUSB0 or COM3).", false},
    {"baud", "RATE", "Adapter rate in bit/s; 0 or left out: found automatically.", false},
    {"plain", nullptr,
     "Plain ELM327 adapter (the window's adapter kind \"ELM327\"); without it the extended "
     "command set (\"ELS27\") is used.",
     false},
    {"info", nullptr,
     "Print the dashboard's version, memory, display, record count and maintenance values.", true},
    {"save-layout", "FILE", "Save the display layout and board settings as a layout profile.",
     true},
    {"apply-layout", "FILE", "Write a layout profile into the dashboard and read it back.", true},
    {"export", nullptr,
     "Back up the dashboard's configuration memory, into FILE when one follows, else into "
     "the backup folder.",
     true},
    {"import", "FILE", "Write a backup file into the dashboard.", true},
    {"with-counters", nullptr, "With --import: also restore the saved maintenance points.", false},
    {"splash", "PICTURE", "Convert a picture and upload it as the splash screen.", true},
    {"reset-maintenance", nullptr,
     "Make the current odometer and engine time the saved maintenance points.", true},
};

const char *const helpAndVersion[] = {"-h", "--help", "-?", "--help-all", "-v", "--version"};

// The update-checking edition has only help and version (no backups, board settings or
// maintenance values to work with).
#if !KX4_UPDATE_EDITION
enum class Command {
    None,
    Info,
    SaveLayout,
    ApplyLayout,
    Export,
    Import,
    Splash,
    ResetMaintenance
};

struct Options
{
    QString port;
    int baud = 0;
    bool plain = false;
    Command command = Command::None;
    QString file; // the command's file, empty for --info, --reset-maintenance, --export
    bool withCounters = false;
};

Command commandFor(const QString &name)
{
    static const QHash<QString, Command> commands{
        {QStringLiteral("info"), Command::Info},
        {QStringLiteral("save-layout"), Command::SaveLayout},
        {QStringLiteral("apply-layout"), Command::ApplyLayout},
        {QStringLiteral("export"), Command::Export},
        {QStringLiteral("import"), Command::Import},
        {QStringLiteral("splash"), Command::Splash},
        {QStringLiteral("reset-maintenance"), Command::ResetMaintenance},
    };
    return commands.value(name, Command::None);
}

bool parseOptions(const QCommandLineParser &parser, Options *out, QString *error)
{
    QStringList given;
    for (const OptionRow &row : optionRows) {
        if (row.command && parser.isSet(QLatin1String(row.name)))
            given << QStringLiteral("--") + QLatin1String(row.name);
    }
    if (given.isEmpty()) {
        *error = QStringLiteral("no command given");
        return false;
    }
    if (given.size() > 1) {
        *error = QStringLiteral("one command at a time, not %1").arg(given.join(QLatin1Char(' ')));
        return false;
    }
    const QString name = given.first().mid(2);
    out->command = commandFor(name);
    if (!parser.isSet(QStringLiteral("port"))) {
        *error = QStringLiteral("--%1 needs --port").arg(name);
        return false;
    }
    out->port = parser.value(QStringLiteral("port"));
    if (out->port.isEmpty()) {
        *error = QStringLiteral("--port needs a port name");
        return false;
    }
    if (parser.isSet(QStringLiteral("baud"))) {
        bool ok = false;
        out->baud = parser.value(QStringLiteral("baud")).toInt(&ok);
        if (!ok || (out->baud != 0 && !baudRates.contains(out->baud))) {
            QStringList rates;
            for (qint32 rate : baudRates)
                rates << QString::number(rate);
            *error = QStringLiteral("--baud takes 0 (automatic) or one of %1")
                         .arg(rates.join(QStringLiteral(", ")));
            return false;
        }
    }
    out->plain = parser.isSet(QStringLiteral("plain"));
    out->withCounters = parser.isSet(QStringLiteral("with-counters"));
    if (out->withCounters && out->command != Command::Import) {
        *error = QStringLiteral("--with-counters goes with --import only");
        return false;
    }

    const QStringList extra = parser.positionalArguments();
    if (out->command == Command::Export) {
        if (extra.size() > 1) {
            *error = QStringLiteral("--export takes at most one file");
            return false;
        }
        out->file = extra.value(0);
        return true;
    }
    if (!extra.isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(extra.first());
        return false;
    }
    for (const OptionRow &row : optionRows) {
        if (row.valueName && QLatin1String(row.name) == name)
            out->file = parser.value(name);
    }
    return true;
}

bool stderrIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void printErr(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void printOut(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

// The progress line on a terminal: the step's name and a bar redrawn in place. Not on a
// terminal it prints nothing, so a script's log keeps only the result and the errors.
class ProgressLine
{
public:
    ProgressLine() : m_on(stderrIsTerminal()) {}

    void step(const QString &label)
    {
        if (label == m_label)
            return;
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
    // A message between progress lines (the controller's alerts), terminal only.
    void note(const QString &text)
    {
        if (!m_on)
            return;
        end();
        printErr(text + QLatin1Char('\n'));
    }
    void end()
    {
        if (m_open)
            printErr(QStringLiteral("\n"));
        m_open = false;
    }

private:
    bool m_on;
    bool m_open = false;
    QString m_label;
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
                         [this](const QVariantMap &board) { m_board = board; });
        QObject::connect(&m_runner, &CFGRunner::disconnectedFromHost, &m_context,
                         [this] { onDisconnected(); });
        QObject::connect(&m_poll, &QTimer::timeout, &m_context, [this] { poll(); });

        m_runner.loadDefaultConfig();
        const QString port = resolvePort(m_options.port);
        m_poll.start(PollMs);
        m_progress.step(stateLabel(CFGRunner::Connecting));
        if (!m_runner.connectToHost(port, m_options.baud, !m_options.plain)) {
            finish(ConnectionFailed,
                   QStringLiteral("cannot open the adapter on %1").arg(m_options.port));
        } else {
            waitUntilSettled([this] { discovered(); });
        }
        if (!m_done)
            m_loop.exec();
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
            if (started(
                    m_runner.importConfigFile(absolute(m_options.file), m_options.withCounters)))
                waitUntilSettled([this] {
                    printOut(QStringLiteral("imported %1\n").arg(m_options.file));
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
        out += QStringLiteral("engine time: %1 s\n").arg(param(CFGRunner::PP_TIM_Current));
        out += QStringLiteral("engine time at maintenance: %1 min\n")
                   .arg(param(CFGRunner::PP_TIM_Saved));
        printOut(out);
    }

    void applyLayout()
    {
        const QVariantMap layout = m_runner.loadLayout(absolute(m_options.file));
        if (layout.isEmpty()) {
            finish(Refused, m_lastAlert);
            return;
        }
        // As the device page does it: the engine first (its list decides what may be
        // shown), then the positions and the board settings, then "Apply changes".
        m_runner.setEngineByName(layout.value(QStringLiteral("engine")).toString(), m_config);
        const QVariantList config = layout.value(QStringLiteral("config")).toList();
        QVariantMap board = layout.value(QStringLiteral("board")).toMap();
        if (board.isEmpty())
            board = m_board;
        else if (m_board.isEmpty())
            m_progress.note(QStringLiteral("the dashboard's board record is not understood: "
                                           "its board settings stay as they are"));
        m_runner.updateConfig(config, board);
        if (!started(true))
            return;
        waitUntilSettled([this, config, board] {
            QStringList differ;
            for (int i = 0; i < config.size(); ++i) {
                if (hashAt(config, i) != hashAt(m_config, i))
                    differ << QStringLiteral("position %1").arg(i + 1);
            }
            if (!m_board.isEmpty()) {
                for (auto it = board.cbegin(); it != board.cend(); ++it) {
                    if (m_board.value(it.key()).toInt() != it.value().toInt())
                        differ << it.key();
                }
            }
            if (!differ.isEmpty()) {
                finish(CommunicationFailed,
                       QStringLiteral("the dashboard holds something else after the write: %1")
                           .arg(differ.join(QStringLiteral(", "))));
                return;
            }
            printOut(QStringLiteral("applied %1\n").arg(m_options.file));
            finish(Success);
        });
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

    static uint hashAt(const QVariantList &config, int i)
    {
        const QVariantMap entry = config.value(i).toMap();
        return entry.value(QStringLiteral("active")).toBool()
                   ? entry.value(QStringLiteral("hid")).toUInt()
                   : 0;
    }

    void exportBackup()
    {
        const QString folder = BackupStorage::folder();
        QStringList before;
        for (const QVariant &entry : BackupStorage::list(folder))
            before << entry.toMap().value(QStringLiteral("name")).toString();
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
                finish(CommunicationFailed, m_lastAlert);
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

    // The backup made in the backup folder goes to the file asked for, replacing it only
    // once complete.
    bool moveInto(const QString &from, const QString &to)
    {
        QFile in(from);
        QSaveFile out(to);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
            finish(Refused, QStringLiteral("cannot write %1: %2").arg(to, out.errorString()));
            return false;
        }
        const QByteArray bytes = in.readAll();
        if (out.write(bytes) != bytes.size() || !out.commit()) {
            finish(Refused, QStringLiteral("cannot write %1: %2").arg(to, out.errorString()));
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
        // The window's "Reset Maintenance": the current values become the saved points.
        const uint odometer = m_params.value(CFGRunner::PP_ODO_Current);
        const uint engineTime = m_params.value(CFGRunner::PP_TIM_Current);
        if (m_params.size() < 4) {
            finish(Refused, QStringLiteral("the dashboard did not report its maintenance values"));
            return;
        }
        m_runner.updateEeeprom(odometer, engineTime);
        if (!started(true))
            return;
        waitUntilSettled([this, odometer, engineTime] {
            printOut(QStringLiteral("odometer at maintenance: %1 km\n"
                                    "engine time at maintenance: %2\n")
                         .arg(odometer)
                         .arg(engineTime));
            finish(Success);
        });
    }

    static QString absolute(const QString &file) { return QFileInfo(file).absoluteFilePath(); }

    // The one way out: the result has been printed, a failure is said here.
    void finish(ExitCode code, const QString &message = QString())
    {
        if (m_done)
            return;
        m_done = true;
        m_code = code;
        m_then = nullptr;
        m_poll.stop();
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
    int m_code = Success;
    QString m_lastAlert;
    QString m_engine;
    QVariantMap m_info;
    QVariantList m_config;
    QVariantMap m_board;
    QHash<int, uint> m_params;
};

#endif // !KX4_UPDATE_EDITION

} // namespace

bool requested(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        for (const char *option : helpAndVersion) {
            if (arg == QLatin1String(option))
                return true;
        }
        for (const OptionRow &row : optionRows) {
            if (Edition::UpdateChecking)
                break;
            const QString name = QStringLiteral("--") + QLatin1String(row.name);
            if (arg == name || arg.startsWith(name + QLatin1Char('=')))
                return true;
        }
    }
    return false;
}

void addOptions(QCommandLineParser &parser)
{
    if (Edition::UpdateChecking) {
        parser.addHelpOption();
        parser.addVersionOption();
        return;
    }
    parser.setApplicationDescription(
        QStringLiteral("Without options: the window. With a command: that command against the "
                       "dashboard on PORT, without a window:\n"
                       "  veltrokx4 --port PORT [--baud RATE] [--plain] COMMAND\n"
                       "Progress goes to standard error (on a terminal), the result to standard "
                       "output. Exit status: 0 done, 1 usage error, 2 connection failed, "
                       "3 refused (wrong board, bad file), 4 communication error."));
    parser.addHelpOption();
    parser.addVersionOption();
    for (const OptionRow &row : optionRows) {
        if (row.valueName)
            parser.addOption(QCommandLineOption(QLatin1String(row.name), QLatin1String(row.help),
                                                QLatin1String(row.valueName)));
        else
            parser.addOption(QCommandLineOption(QLatin1String(row.name), QLatin1String(row.help)));
    }
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("With --export: the backup file to write."),
                                 QStringLiteral("[FILE]"));
}

int run(QCoreApplication &app, const QCommandLineParser &parser)
{
    Q_UNUSED(app)
#if KX4_UPDATE_EDITION
    Q_UNUSED(parser)
    return UsageError;
#else
    Options options;
    QString error;
    if (!parseOptions(parser, &options, &error)) {
        printErr(QStringLiteral("veltrokx4: %1\nTry 'veltrokx4 --help'.\n").arg(error));
        return UsageError;
    }
    // One line on failure is the whole report; QT_LOGGING_RULES still shows the rest.
    QLoggingCategory::setFilterRules(
        QStringLiteral("kx4.*.debug=false\nkx4.*.info=false\nkx4.*.warning=false"));
    Run command(options);
    return command.exec();
#endif
}

} // namespace CommandLine
