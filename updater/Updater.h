#pragma once

// The update checker the main window of the update-checking edition creates (QML type
// "Updater" in "ru.quorvel.Updater"). It picks the backend for the platform, hands it the
// feed address from the setting "Update/URL" and passes a newer version on as newVersion.

#include <QObject>
#include <QString>

class QuorvelUpdater;

class Updater : public QObject
{
    Q_OBJECT
public:
    explicit Updater(QObject *parent = nullptr);
    ~Updater() override;

    // The feed address: "Update/URL" from the settings, or the vendor's feed.
    static QString feedUrl();
    static const char *const DefaultFeedUrl;

    // Registers the QML type; main() does this before the application object exists.
    static void registerType();

    Q_INVOKABLE void doUpdate();

signals:
    void newVersion(QString version, QString changelog);

public slots:
    void checkUpdate();

private:
    QuorvelUpdater *backend = nullptr;
};
