#pragma once

// The program without a window: one command against one dashboard, for scripts and for
// setting up many dashboards in a row.
//
//   veltrokx4 --port PORT [--baud RATE] [--plain] [--diagnostics FILE] COMMAND
//
// It drives the same CFGRunner as the window, so the controller's checks, complete-or-
// nothing backups and recovery hold here too. main() asks requested() before it creates
// the application object: these commands run on a core application, with no display.

#include <QString>
#include <QStringList>

class QCommandLineParser;
class QCoreApplication;

namespace CommandLine {

// Exit status of the program; the window's own start-up failure is UsageError's 1 too.
enum ExitCode {
    Success = 0,
    UsageError = 1,          // unknown or missing options, a command without --port
    ConnectionFailed = 2,    // the port did not open, or no dashboard answered
    Refused = 3,             // refused by the checks: wrong board, bad or unwritable file
    CommunicationFailed = 4, // the exchange with the dashboard broke off or went wrong
};

// What the command line asks for, once checked.
enum class Command {
    None,
    Info,
    SaveLayout,
    ApplyLayout,
    Export,
    Import,
    Splash,
    ResetMaintenance,
    CheckAdapter
};

struct Options
{
    QString port;
    int baud = 0;
    bool plain = false;
    Command command = Command::None;
    QString file; // the command's file (--export: the optional one); else empty
    bool withCounters = false;
    bool dryRun = false; // --apply-layout, --import: print the difference, write nothing
    bool backupFirst = false; // --import: export the dashboard's memory first
    QString diagnostics; // the diagnostics report goes here at the end, also on failure
};

// True when the arguments hold one of the command line's options (help and version
// included), so the program runs without a window.
bool requested(int argc, char **argv);

// A usage error as the command line says them all: "veltrokx4: " and the error, then
// where to look.
void printUsageError(const QString &error);

// Adds help, version and every command-line option to the parser.
void addOptions(QCommandLineParser &parser);

// Runs the command the processed parser holds and returns the exit status.
int run(QCoreApplication &app, const QCommandLineParser &parser);

} // namespace CommandLine
