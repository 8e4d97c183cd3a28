#include "updater/SparkleUpdater.h"

#include <QCoreApplication>

#include <winsparkle.h>

SparkleUpdater::SparkleUpdater(const QString &feedUrl)
{
    win_sparkle_set_app_details(
        reinterpret_cast<const wchar_t *>(QCoreApplication::organizationName().utf16()),
        reinterpret_cast<const wchar_t *>(QCoreApplication::applicationName().utf16()),
        reinterpret_cast<const wchar_t *>(QCoreApplication::applicationVersion().utf16()));
    win_sparkle_set_appcast_url(feedUrl.toLocal8Bit().constData());
    win_sparkle_set_automatic_check_for_updates(1);
    win_sparkle_set_update_check_interval(86400);
    win_sparkle_init();
}

SparkleUpdater::~SparkleUpdater()
{
    win_sparkle_cleanup();
}

void SparkleUpdater::check()
{
    win_sparkle_check_update_with_ui();
}
