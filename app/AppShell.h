#pragma once

// The steps of main(), kept small and separate so that the end-to-end tests
// build the application exactly the way the program does. main() calls them in
// this order: registerTypes, (high-DPI, QApplication), setIdentity,
// processCommandLine, installTranslators, createController, setLoggingRules,
// (QQmlApplicationEngine), prepareEngine, loadMainWindow, exec, shutdown.

#include <QString>

class CFGRunner;
class QCoreApplication;
class QCommandLineParser;
class QQmlApplicationEngine;
class QTranslator;

namespace AppShell {

// Registers CFGRunner and ParameterListModel as uncreatable QML types, and in the
// update-checking edition the creatable Updater.
void registerTypes();

// Organisation, application name and version (these also name the settings
// store), the window icon (with a window only), and the program's folder as a
// plug-in path.
void setIdentity(QCoreApplication &app);

// Help, version and the options of the command line without a window
// (CommandLine). --help and --version print and exit(0); anything unknown
// prints an error and exits(1), before any window exists.
void processCommandLine(QCoreApplication &app, QCommandLineParser &parser);

// The one session controller, without a parent: main() deletes it.
CFGRunner *createController();

// Pages log through console.*: keep that out of the user's terminal.
void setLoggingRules();

// Program folder as import path, the drop handler, "runner" and the version of
// the framework the program was built with ("QT_VERSION_STR").
void prepareEngine(QQmlApplicationEngine &engine, CFGRunner *runner);

// Loads "qrc:/main.qml"; false when the window could not be created.
bool loadMainWindow(QQmlApplicationEngine &engine);

// Deletes the controller (its link resets an open adapter with "ATZ") and then
// the application translator, if any.
void shutdown(CFGRunner *runner, QTranslator *translator);

} // namespace AppShell
