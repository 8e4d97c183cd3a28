#include "app/CommandLine.h"

#include "app/CommandRun.h"
#include "edition/Edition.h"
#include "link/ELM327IOBase.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>
#include <QLoggingCategory>
#include <cstdio>

namespace CommandLine {

namespace {

// Every option of the command line. Commands are the options that name what to do; a new
// option is one row here (and its handling in CommandRun.cpp).
struct OptionRow
{
    const char *name;
    const char *valueName; // nullptr: a switch
    const char *help;
    bool command;
};
const OptionRow optionRows[] = {
    {"port", "PORT",
     "Adapter port: a serial device (ttyUSB0, /dev/ttyUSB0, COM3) or a Wi-Fi adapter's "
     "address (192.168.0.10:35000).",
     false},
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
    {"backup-first", nullptr,
     "With --import: first back up what the dashboard holds into the backup folder; the "
     "import starts only once that backup is whole.",
     false},
    {"dry-run", nullptr,
     "With --apply-layout or --import: print what the write would change and write nothing.",
     false},
    {"diagnostics", "FILE",
     "At the end, also after a failure, write the diagnostics report (the adapter traffic "
     "and what the program knows of the port, the adapter and the dashboard) to FILE.",
     false},
    {"splash", "PICTURE", "Convert a picture and upload it as the splash screen.", true},
    {"reset-maintenance", nullptr,
     "Make the current odometer and engine time the saved maintenance points.", true},
    {"check-adapter", nullptr,
     "Say what the adapter is and can do: its identification and whether it answers like the "
     "chip it names, the response count, the rate switch, the supply voltage, the time of one "
     "exchange, a wireless module, the time of a 16-page backup. Exit status 0 when the "
     "adapter answered, with or without a dashboard behind it.",
     true},
};

const char *const helpAndVersion[] = {"-h", "--help", "-?", "--help-all", "-v", "--version"};

// The update-checking edition has only help and version (no backups, board settings or
// maintenance values to work with).
#if !KX4_UPDATE_EDITION
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
        {QStringLiteral("check-adapter"), Command::CheckAdapter},
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
    if (parser.isSet(QStringLiteral("diagnostics"))) {
        out->diagnostics = parser.value(QStringLiteral("diagnostics"));
        if (out->diagnostics.isEmpty()) {
            *error = QStringLiteral("--diagnostics needs a file");
            return false;
        }
    }
    out->withCounters = parser.isSet(QStringLiteral("with-counters"));
    if (out->withCounters && out->command != Command::Import) {
        *error = QStringLiteral("--with-counters goes with --import only");
        return false;
    }
    out->backupFirst = parser.isSet(QStringLiteral("backup-first"));
    if (out->backupFirst && out->command != Command::Import) {
        *error = QStringLiteral("--backup-first goes with --import only");
        return false;
    }
    out->dryRun = parser.isSet(QStringLiteral("dry-run"));
    if (out->dryRun && out->command != Command::Import && out->command != Command::ApplyLayout) {
        *error = QStringLiteral("--dry-run goes with --apply-layout or --import only");
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
    if (out->file.isEmpty() && out->command != Command::Info &&
        out->command != Command::ResetMaintenance && out->command != Command::CheckAdapter) {
        *error = QStringLiteral("--%1 needs a file").arg(name);
        return false;
    }
    return true;
}

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

void printUsageError(const QString &error)
{
    std::fputs(QStringLiteral("veltrokx4: %1\nTry 'veltrokx4 --help'.\n")
                   .arg(error)
                   .toLocal8Bit()
                   .constData(),
               stderr);
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
                       "  veltrokx4 --port PORT [--baud RATE] [--plain] [--diagnostics FILE] "
                       "COMMAND\n"
                       "Progress goes to standard error (on a terminal), the result to standard "
                       "output. Exit status: 0 done, 1 usage error, 2 connection failed, "
                       "3 refused (wrong board, bad file), 4 communication error; "
                       "--check-adapter: 0 when the adapter answered, 2 when none did."));
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
        printUsageError(error);
        return UsageError;
    }
    // One line on failure is the whole report; QT_LOGGING_RULES still shows the rest.
    QLoggingCategory::setFilterRules(
        QStringLiteral("kx4.*.debug=false\nkx4.*.info=false\nkx4.*.warning=false"));
    if (options.command == Command::CheckAdapter)
        return runAdapterCheck(options);
    return runCommand(options);
#endif
}

} // namespace CommandLine
