#include "updater/AppcastUpdater.h"

#include <QDesktopServices>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QXmlStreamReader>

Q_LOGGING_CATEGORY(lcUpdater, "kx4.updater")

namespace {

const QString SparkleNs = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");
constexpr int TransferTimeoutMs = 30000;

bool isWebUrl(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

// Sparkle gives the version as an attribute of <enclosure> or as an element of the item;
// the short version string is the one meant for people and wins over the build number.
struct ItemReader
{
    QString version;
    QString shortVersion;
    QString notes;
    QUrl download;
    QUrl link;

    void takeVersions(const QXmlStreamAttributes &attributes)
    {
        for (const QXmlStreamAttribute &a : attributes) {
            if (a.namespaceUri() != SparkleNs)
                continue;
            if (a.name() == QLatin1String("version"))
                version = a.value().toString().trimmed();
            else if (a.name() == QLatin1String("shortVersionString"))
                shortVersion = a.value().toString().trimmed();
        }
    }

    void read(QXmlStreamReader &xml)
    {
        while (xml.readNextStartElement()) {
            const bool sparkle = xml.namespaceUri() == SparkleNs;
            const auto name = xml.name();
            if (!sparkle && name == QLatin1String("enclosure")) {
                download = QUrl(xml.attributes().value(QLatin1String("url")).toString().trimmed());
                takeVersions(xml.attributes());
                xml.skipCurrentElement();
            } else if (!sparkle && name == QLatin1String("description")) {
                notes = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            } else if (!sparkle && name == QLatin1String("link")) {
                link = QUrl(xml.readElementText().trimmed());
            } else if (sparkle && name == QLatin1String("version")) {
                version = xml.readElementText().trimmed();
            } else if (sparkle && name == QLatin1String("shortVersionString")) {
                shortVersion = xml.readElementText().trimmed();
            } else {
                xml.skipCurrentElement();
            }
        }
    }
};

} // namespace

AppcastUpdater::AppcastUpdater(const QString &feedUrl, const QString &currentVersion,
                               QObject *parent)
    : QObject(parent), m_feedUrl(feedUrl.trimmed()), m_network(new QNetworkAccessManager(this))
{
    if (!versionNumbers(currentVersion, &m_current))
        qCWarning(lcUpdater) << "running version" << currentVersion << "is not a version number";
    m_daily.setInterval(CheckIntervalMs);
    connect(&m_daily, &QTimer::timeout, this, &AppcastUpdater::check);
    m_daily.start();
    // The first check runs once whoever created the updater has connected to it.
    QTimer::singleShot(0, this, &AppcastUpdater::check);
}

AppcastUpdater::~AppcastUpdater()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void AppcastUpdater::check()
{
    if (m_reply)
        return; // the check in progress answers this one too
    if (!isWebUrl(m_feedUrl)) {
        qCWarning(lcUpdater) << "no update check: the feed address is not a web address"
                             << m_feedUrl.toString();
        emit checkFinished();
        return;
    }
    QNetworkRequest request(m_feedUrl);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(TransferTimeoutMs);
    qCDebug(lcUpdater) << "checking" << m_feedUrl.toString();
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > MaxFeedSize && m_reply) {
            qCWarning(lcUpdater) << "update feed larger than" << MaxFeedSize << "bytes ignored";
            m_reply->abort();
        }
    });
    connect(m_reply, &QNetworkReply::finished, this, &AppcastUpdater::onFinished);
}

void AppcastUpdater::onFinished()
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    if (!reply)
        return;
    reply->deleteLater();

    if (reply->error() != QNetworkReply::NoError) {
        qCWarning(lcUpdater) << "update check failed:" << reply->errorString();
        emit checkFinished();
        return;
    }
    Release newest;
    QString error;
    if (!parseFeed(reply->read(MaxFeedSize + 1), &newest, &error)) {
        qCWarning(lcUpdater) << "update feed ignored:" << error;
        emit checkFinished();
        return;
    }
    qCDebug(lcUpdater) << "newest release" << newest.versionText;
    // Each newer version is announced once, not again at every daily check.
    if (newest.version > m_current &&
        (m_announced.versionText.isEmpty() || newest.version != m_announced.version)) {
        m_announced = newest;
        emit newVersion(newest.versionText, newest.notes);
    }
    emit checkFinished();
}

void AppcastUpdater::doUpdate()
{
    if (m_announced.versionText.isEmpty())
        return;
    // Only a web address from the feed is handed to the system, never a local file or
    // another program's scheme.
    if (!isWebUrl(m_announced.download)) {
        qCWarning(lcUpdater) << "no web download address for" << m_announced.versionText;
        return;
    }
    QDesktopServices::openUrl(m_announced.download);
}

bool AppcastUpdater::parseFeed(const QByteArray &feed, Release *newest, QString *error)
{
    if (feed.size() > MaxFeedSize) {
        *error = QStringLiteral("feed too large");
        return false;
    }
    QXmlStreamReader xml(feed);
    Release best;
    bool found = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.name() != QLatin1String("item") ||
            !xml.namespaceUri().isEmpty())
            continue;
        ItemReader item;
        item.read(xml);
        const QString text = item.shortVersion.isEmpty() ? item.version : item.shortVersion;
        // "0.2.0-beta" or "v2" are not version numbers this program can compare.
        QVector<int> version;
        if (!versionNumbers(text, &version))
            continue;
        if (!found || version > best.version)
            best = Release{version, text, item.notes,
                           item.download.isEmpty() ? item.link : item.download};
        found = true;
    }
    if (xml.hasError()) {
        *error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
        return false;
    }
    if (!found) {
        *error = QStringLiteral("no item with a version");
        return false;
    }
    *newest = best;
    return true;
}

bool AppcastUpdater::versionNumbers(const QString &text, QVector<int> *numbers)
{
    numbers->clear();
    const QStringList parts = text.split(QLatin1Char('.'));
    for (const QString &part : parts) {
        bool ok = false;
        const int n = part.toInt(&ok);
        // toInt() would also take "+1" and " 1".
        if (!ok || !part.at(0).isDigit()) {
            numbers->clear();
            return false;
        }
        numbers->append(n);
    }
    // 0.2 and 0.2.0 are the same version; without trailing zeros, comparing the lists
    // element by element (a shorter one first) orders versions.
    while (!numbers->isEmpty() && numbers->last() == 0)
        numbers->removeLast();
    return true;
}
