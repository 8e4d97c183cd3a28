#pragma once

// The update backend where WinSparkle does not exist: fetches the appcast feed (an RSS
// document with Sparkle's version attributes) at start and once a day, and reports the
// newest item when its version is above the running one. It downloads and runs nothing;
// doUpdate() opens the newest item's download address in the browser.
//
// A feed item as the vendor publishes it:
//   <item>
//     <title>Version 0.2.0</title>
//     <description><![CDATA[<ul><li>Backups</li></ul>]]></description>
//     <enclosure url="https://.../veltrokx4-0.2.0.exe" sparkle:version="0.2.0"/>
//   </item>

#include "updater/QuorvelUpdater.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVector>

class QNetworkAccessManager;
class QNetworkReply;

class AppcastUpdater : public QObject, public QuorvelUpdater
{
    Q_OBJECT
public:
    // The newest item of a feed: its version, release notes and download address.
    struct Release
    {
        QVector<int> version; // its numbers without trailing zeros: "0.10.0" is {0, 10}
        QString versionText;
        QString notes;
        QUrl download;
    };

    static constexpr int CheckIntervalMs = 24 * 60 * 60 * 1000;
    // A feed is a few kilobytes; anything far larger is not one.
    static constexpr qint64 MaxFeedSize = 1024 * 1024;

    AppcastUpdater(const QString &feedUrl, const QString &currentVersion,
                   QObject *parent = nullptr);
    ~AppcastUpdater() override;

    void check() override;
    void doUpdate() override;

    // The newest release in `feed`; false (with `error` set) when the feed is not
    // well-formed or has no item with a version.
    static bool parseFeed(const QByteArray &feed, Release *newest, QString *error);
    // The numbers of a version such as "0.10.2"; false for anything else ("0.2.0-beta").
    static bool versionNumbers(const QString &text, QVector<int> *numbers);

signals:
    void newVersion(QString version, QString changelog);
    // A check has ended, whatever its outcome.
    void checkFinished();

private:
    void onFinished();

    QUrl m_feedUrl;
    QVector<int> m_current;
    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QTimer m_daily;
    Release m_announced;
};
