// The appcast update backend against a feed served on 127.0.0.1: a newer version is
// announced once with its notes; the same or an older one, a broken feed, an HTTP error
// and a refused connection announce nothing; the download address opens only if it is
// a web address.

#include "FeedServer.h"

#include "updater/AppcastUpdater.h"
#include "updater/Updater.h"

#include <QDesktopServices>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

// Stands in for the browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class tst_Appcast : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void newerVersionAnnouncedOnce_data();
    void newerVersionAnnouncedOnce();
    void nothingToAnnounce_data();
    void nothingToAnnounce();
    void refusedConnection();
    void downloadOpensOnlyWebAddresses_data();
    void downloadOpensOnlyWebAddresses();
    void updaterUsesFeedSetting();

private:
    // Runs one check of a fresh backend against the server and returns its announcements.
    QList<QVariantList> checkOnce(AppcastUpdater &updater);

    FeedServer server;
};

void tst_Appcast::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(server.listen());
}

QList<QVariantList> tst_Appcast::checkOnce(AppcastUpdater &updater)
{
    QSignalSpy found(&updater, &AppcastUpdater::newVersion);
    QSignalSpy finished(&updater, &AppcastUpdater::checkFinished);
    if (!finished.wait(10000))
        return {{QStringLiteral("no end of check")}};
    return QList<QVariantList>(found.begin(), found.end());
}

void tst_Appcast::newerVersionAnnouncedOnce_data()
{
    QTest::addColumn<QByteArray>("feed");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("notes");
    const QString dl = QStringLiteral("https://example.org/veltrokx4-%1.exe");
    QTest::newRow("newest of three, not the first")
        << FeedServer::feed({{"0.1.0", "old", dl.arg("0.1.0")},
                             {"0.2.0", "<ul><li>Backups</li></ul>", dl.arg("0.2.0")},
                             {"0.1.5", "fixes", dl.arg("0.1.5")}})
        << "0.2.0"
        << "<ul><li>Backups</li></ul>";
    // Compared as texts, "0.9.0" would win and "0.10.0" would not even be newer.
    QTest::newRow("numbers, not texts")
        << FeedServer::feed({{"0.9.0", "nine", dl.arg("0.9.0")}, {"0.10.0", "ten", dl.arg("0.10")}})
        << "0.10.0"
        << "ten";
    QTest::newRow("short version string and element forms")
        << QByteArray(
               "<rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
               "<channel><item><sparkle:version>120</sparkle:version>"
               "<sparkle:shortVersionString>0.1.1</sparkle:shortVersionString>"
               "<description>small</description>"
               "<enclosure url=\"https://example.org/a.exe\"/></item>"
               "<item><description>beta</description>"
               "<enclosure url=\"https://example.org/b.exe\" sparkle:version=\"0.3.0-beta\"/>"
               "</item></channel></rss>")
        << "0.1.1"
        << "small";
}

void tst_Appcast::newerVersionAnnouncedOnce()
{
    QFETCH(QByteArray, feed);
    QFETCH(QString, version);
    QFETCH(QString, notes);
    server.setResponse(feed);
    AppcastUpdater updater(server.url().toString(), QStringLiteral("0.1.0"));
    const auto found = checkOnce(updater);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().value(0).toString(), version);
    QCOMPARE(found.first().value(1).toString(), notes);

    // The daily check finds the same version again: it is not announced twice.
    QSignalSpy again(&updater, &AppcastUpdater::newVersion);
    QSignalSpy finished(&updater, &AppcastUpdater::checkFinished);
    updater.check();
    QVERIFY(finished.wait(10000));
    QCOMPARE(again.count(), 0);
}

void tst_Appcast::nothingToAnnounce_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    const QString dl = QStringLiteral("https://example.org/x.exe");
    QTest::newRow("same version") << FeedServer::feed({{"0.1.0", "same", dl}}) << 200;
    QTest::newRow("same version, shorter") << FeedServer::feed({{"0.1", "same", dl}}) << 200;
    QTest::newRow("older") << FeedServer::feed({{"0.0.9", "old", dl}}) << 200;
    QTest::newRow("truncated feed") << FeedServer::feed({{"0.2.0", "new", dl}}).left(200) << 200;
    QTest::newRow("not XML") << QByteArray("<html><body>Not found</b></html>") << 200;
    QTest::newRow("no item") << QByteArray("<rss><channel/></rss>") << 200;
    QTest::newRow("no version") << FeedServer::feed({{"", "none", dl}}) << 200;
    QTest::newRow("HTTP error") << FeedServer::feed({{"0.2.0", "new", dl}}) << 404;
}

void tst_Appcast::nothingToAnnounce()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    server.setResponse(body, status);
    const int before = server.requests();
    AppcastUpdater updater(server.url().toString(), QStringLiteral("0.1.0"));
    QCOMPARE(checkOnce(updater).size(), 0);
    QCOMPARE(server.requests(), before + 1);
}

void tst_Appcast::refusedConnection()
{
    AppcastUpdater updater(FeedServer::refusingUrl().toString(), QStringLiteral("0.1.0"));
    QCOMPARE(checkOnce(updater).size(), 0);
    // Still usable afterwards.
    server.setResponse(FeedServer::feed({{"0.2.0", "new", "https://example.org/x.exe"}}));
    AppcastUpdater other(server.url().toString(), QStringLiteral("0.1.0"));
    QCOMPARE(checkOnce(other).size(), 1);
}

void tst_Appcast::downloadOpensOnlyWebAddresses_data()
{
    QTest::addColumn<QString>("download");
    QTest::addColumn<bool>("opened");
    QTest::newRow("https") << "https://example.org/veltrokx4-0.2.0.exe" << true;
    QTest::newRow("local file") << "file:///tmp/veltrokx4.exe" << false;
    QTest::newRow("other scheme") << "javascript:alert(1)" << false;
}

void tst_Appcast::downloadOpensOnlyWebAddresses()
{
    QFETCH(QString, download);
    QFETCH(bool, opened);
    UrlCatcher browser;
    for (const char *scheme : {"https", "http", "file", "javascript"})
        QDesktopServices::setUrlHandler(scheme, &browser, "open");

    server.setResponse(FeedServer::feed({{"0.2.0", "new", download}}));
    AppcastUpdater updater(server.url().toString(), QStringLiteral("0.1.0"));
    updater.doUpdate(); // nothing found yet: nothing to open
    QCOMPARE(browser.opened.size(), 0);
    QCOMPARE(checkOnce(updater).size(), 1);
    updater.doUpdate();
    QCOMPARE(browser.opened.size(), opened ? 1 : 0);
    if (opened)
        QCOMPARE(browser.opened.first(), QUrl(download));
    for (const char *scheme : {"https", "http", "file", "javascript"})
        QDesktopServices::unsetUrlHandler(scheme);
}

void tst_Appcast::updaterUsesFeedSetting()
{
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    QSettings().remove(QStringLiteral("Update/URL"));
    QCOMPARE(QUrl(Updater::feedUrl()).scheme(), QStringLiteral("https"));
    QCOMPARE(QUrl(Updater::feedUrl()).path(),
             QStringLiteral("/software/lumarec/updates/win/appcast.xml"));

    QSettings().setValue(QStringLiteral("Update/URL"), server.url().toString());
    server.setResponse(FeedServer::feed({{"0.3.1", "notes", "https://example.org/x.exe"}}));
    Updater updater;
    QSignalSpy found(&updater, &Updater::newVersion);
    QVERIFY(found.wait(10000));
    QCOMPARE(found.first().value(0).toString(), QStringLiteral("0.3.1"));
    QCOMPARE(found.first().value(1).toString(), QStringLiteral("notes"));
    QSettings().remove(QStringLiteral("Update/URL"));
}

QTEST_MAIN(tst_Appcast)
#include "tst_appcast.moc"
