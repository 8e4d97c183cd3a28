// VeltroKX4: configuration tool for the KX4 CAN-bus instrument dashboard.

#include "app/AppShell.h"
#include "app/CommandLine.h"
#include "app/StartupProbe.h"
#include "app/Translators.h"
#include "runner/CFGRunner.h"
#include "ui/UiResources.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QQmlApplicationEngine>

#ifdef Q_OS_WIN
#include <cstdio>
#include <windows.h>

// A windowed program has no console of its own: print into the one it was started from,
// unless the output already goes to a file or a pipe.
static void useParentConsole()
{
    const auto unset = [](DWORD handle) {
        const HANDLE h = GetStdHandle(handle);
        return h == nullptr || h == INVALID_HANDLE_VALUE || GetFileType(h) == FILE_TYPE_UNKNOWN;
    };
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (unset(STD_OUTPUT_HANDLE))
        freopen("CONOUT$", "w", stdout);
    if (unset(STD_ERROR_HANDLE))
        freopen("CONOUT$", "w", stderr);
}
#endif

// The command line's commands, help and version: no window, no display needed.
static int runWithoutWindow(int argc, char **argv)
{
#ifdef Q_OS_WIN
    useParentConsole();
#endif
    QCoreApplication app(argc, argv);
    AppShell::setIdentity(app);
    QCommandLineParser parser;
    AppShell::processCommandLine(app, parser);
    return CommandLine::run(app, parser);
}

int main(int argc, char **argv)
{
    if (CommandLine::requested(argc, argv))
        return runWithoutWindow(argc, argv);

    initUiResources();
    AppShell::registerTypes();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling); // always on in Qt 6
#endif
    QApplication app(argc, argv);
    AppShell::setIdentity(app);

    QCommandLineParser parser;
    AppShell::processCommandLine(app, parser);

    QTranslator *translator = installTranslators(&app, "lang");
    CFGRunner *runner = AppShell::createController();
    AppShell::setLoggingRules();

    QQmlApplicationEngine engine;
    AppShell::prepareEngine(engine, runner);
    // Without a window the event loop would wait forever for a close that
    // cannot come.
    const bool loaded = AppShell::loadMainWindow(engine);
    if (loaded)
        StartupProbe::attach(engine, runner); // only when the benchmark asks (KX4_PROBE)
    const int code = loaded ? app.exec() : 1;

    AppShell::shutdown(runner, translator);
    return code;
}
