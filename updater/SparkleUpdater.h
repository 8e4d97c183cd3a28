#pragma once

// The update backend on Windows: WinSparkle checks the appcast feed once a day and shows
// its own dialogs. Built only where the WinSparkle library is found (updater/build.cmake).

#include "updater/QuorvelUpdater.h"

#include <QString>

class SparkleUpdater : public QuorvelUpdater
{
public:
    explicit SparkleUpdater(const QString &feedUrl);
    ~SparkleUpdater() override;

    void check() override;
};
