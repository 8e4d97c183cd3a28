#pragma once

// An update backend behind Updater: SparkleUpdater where WinSparkle is available,
// AppcastUpdater everywhere else. Updater owns exactly one and deletes it through this
// interface.

class QuorvelUpdater
{
public:
    virtual ~QuorvelUpdater() = default;

    // Looks for a newer version now (the backends also check on their own, once a day).
    virtual void check() = 0;

    // Takes the user to the newer version found by the last check. WinSparkle offers its
    // own dialogs, so its backend does nothing here.
    virtual void doUpdate() {}
};
