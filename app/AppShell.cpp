#include "app/AppShell.h"

#include "app/CommandLine.h"
#include "app/QDropTextHandler.h"
#include "edition/Edition.h"
#include "models/ParameterListModel.h"
#include "runner/CFGRunner.h"
#include "updater/Updater.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QLoggingCategory>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QTranslator>
#include <QUrl>
#include <QtQml/qqml.h>
#include <cstdlib>

Q_LOGGING_CATEGORY(lcApp, "kx4.app", QtInfoMsg)

namespace AppShell {

void registerTypes()
{
    qmlRegisterUncreatableType<CFGRunner>("CFGRunner", 1, 0, "CFGRunner",
                                          "Cannot create CFGRunner - use the static instance");
    qmlRegisterUncreatableType<ParameterListModel>("ParameterListModel", 1, 0, "ParameterListModel",
                                                   "Cannot create the ParameterListModel instance");
    if (Edition::UpdateChecking)
        Updater::registerType();
}

void setIdentity(QCoreApplication &app)
{
    QCoreApplication::setOrganizationName(Edition::OrganisationName);
    QCoreApplication::setApplicationName(Edition::ApplicationName);
    QCoreApplication::setApplicationVersion(Edition::Version);
    if (qobject_cast<QApplication *>(&app))
        QApplication::setWindowIcon(QIcon("://lumarec.ico"));
    app.addLibraryPath(QCoreApplication::applicationDirPath());
}

void processCommandLine(QCoreApplication &app, QCommandLineParser &parser)
{
    CommandLine::addOptions(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
#ifdef Q_OS_WIN
        // A windowed start has no console to print into: the framework's message box.
        if (qobject_cast<QApplication *>(&app))
            parser.process(app);
#endif
        CommandLine::printUsageError(parser.errorText());
        std::exit(CommandLine::UsageError);
    }
    // Help and version, answered by the framework.
    parser.process(app);
}

CFGRunner *createController()
{
    qCDebug(lcApp) << "Creating the session controller";
    return new CFGRunner(nullptr);
}

void setLoggingRules()
{
    QLoggingCategory::setFilterRules("qml=false");
}

void prepareEngine(QQmlApplicationEngine &engine, CFGRunner *runner)
{
    engine.addImportPath(QCoreApplication::applicationDirPath());
    registerDropHandler(&engine);
    engine.rootContext()->setContextProperty("runner", runner);
    engine.rootContext()->setContextProperty("QT_VERSION_STR", QString(QT_VERSION_STR));
}

bool loadMainWindow(QQmlApplicationEngine &engine)
{
    engine.load(QUrl("qrc:/main.qml"));
    if (engine.rootObjects().isEmpty()) {
        qCCritical(lcApp) << "The main window could not be loaded";
        return false;
    }
    return true;
}

void shutdown(CFGRunner *runner, QTranslator *translator)
{
    qCDebug(lcApp) << "Shutting down";
    delete runner;
    if (translator) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

} // namespace AppShell
