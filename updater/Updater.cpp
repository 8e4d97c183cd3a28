#include "updater/Updater.h"

#include "updater/AppcastUpdater.h"
#ifdef KX4_HAVE_WINSPARKLE
#include "updater/SparkleUpdater.h"
#endif

#include <QCoreApplication>
#include <QSettings>
#include <QtQml/qqml.h>

const char *const Updater::DefaultFeedUrl =
    "https://quorvel.ru/software/lumarec/updates/win/appcast.xml";

Updater::Updater(QObject *parent) : QObject(parent)
{
    const QString url = feedUrl();
#ifdef KX4_HAVE_WINSPARKLE
    backend = new SparkleUpdater(url);
#else
    auto *appcast = new AppcastUpdater(url, QCoreApplication::applicationVersion());
    connect(appcast, &AppcastUpdater::newVersion, this, &Updater::newVersion);
    backend = appcast;
#endif
}

Updater::~Updater()
{
    delete backend;
}

QString Updater::feedUrl()
{
    return QSettings()
        .value(QStringLiteral("Update/URL"), QString::fromLatin1(DefaultFeedUrl))
        .toString();
}

void Updater::registerType()
{
    qmlRegisterType<Updater>("ru.quorvel.Updater", 1, 0, "Updater");
}

void Updater::doUpdate()
{
    if (backend)
        backend->doUpdate();
}

void Updater::checkUpdate()
{
    if (backend)
        backend->check();
}
