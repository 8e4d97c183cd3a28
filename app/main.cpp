// VeltroKX4: configuration tool for the KX4 CAN-bus instrument dashboard.

#include "app/AppShell.h"
#include "app/StartupProbe.h"
#include "app/Translators.h"
#include "runner/CFGRunner.h"
#include "ui/UiResources.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QQmlApplicationEngine>

int main(int argc, char **argv)
{
    initUiResources();
    AppShell::registerTypes();
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
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
