#include "config/ParameterCatalogue.h"

#include "config/DataScrambler.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLoggingCategory>

// Outside any namespace, as Q_INIT_RESOURCE requires. The resource lives in the static
// kx4core library, so whoever loads the catalogue registers it first.
static void initCatalogueResource()
{
    Q_INIT_RESOURCE(catalogue);
}

namespace {

Q_LOGGING_CATEGORY(lcCatalogue, "kx4.config")

quint16 scaleDiv(const QJsonObject &item)
{
    return quint16(
        item.value(QLatin1String("scale")).toObject().value(QLatin1String("div")).toInt());
}

quint16 pidOf(const QJsonObject &item)
{
    return quint16(item.value(QLatin1String("pid")).toInt());
}

quint16 cidOf(const QJsonObject &item)
{
    return quint16(item.value(QLatin1String("cid")).toInt());
}

} // namespace

ParameterCatalogue::LoadResult ParameterCatalogue::load(const QString &path, EngineTable &engines,
                                                        ItemTable &items)
{
    static const bool resourceReady = (initCatalogueResource(), true);
    Q_UNUSED(resourceReady)

    QFile file(path);
    // Not a regular file (a FIFO, a device): opening or reading it may never end.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        qCWarning(lcCatalogue) << "cannot open catalogue" << path << file.errorString();
        return NotReadable;
    }
    DataScrambler scrambler;
    scrambler.setKeyFromPassphrase(passPhrase());
    const QByteArray json = scrambler.decode(file.readAll());
    if (scrambler.lastError() != DataScrambler::NoError)
        qCWarning(lcCatalogue) << "catalogue" << path << "does not unscramble, result"
                               << scrambler.lastError();
    return parse(json, engines, items);
}

ParameterCatalogue::LoadResult ParameterCatalogue::parse(const QByteArray &json,
                                                         EngineTable &engines, ItemTable &items)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (doc.isNull() || doc.isEmpty()) {
        qCWarning(lcCatalogue) << "catalogue is not a usable JSON document:" << error.errorString();
        return Corrupted;
    }

    engines.clear();
    items.clear();
    const QJsonObject top = doc.object();
    // QJsonObject walks its members in ascending key-text order, so of several keys
    // that read as the same index ("2" and "02", or any non-number as 0) the last wins.
    const QJsonObject engineObject = top.value(QLatin1String("engines")).toObject();
    for (auto it = engineObject.constBegin(); it != engineObject.constEnd(); ++it)
        engines.insert(it.key().toInt(), it.value().toVariant().toString());

    const QJsonArray list = top.value(QLatin1String("items")).toArray();
    for (const QJsonValue &value : list) {
        const QJsonObject item = value.toObject();
        items.insert(parameterHash(item), item);
    }
    qCDebug(lcCatalogue) << "catalogue holds" << engines.size() << "engines and" << items.size()
                         << "items";
    return Loaded;
}

QString ParameterCatalogue::loadErrorText(LoadResult result)
{
    switch (result) {
    case Loaded:
        break;
    case NotReadable:
        return QCoreApplication::translate("CFGRunner", "Config data could not be read");
    case Corrupted:
        return QCoreApplication::translate("CFGRunner", "Config data is corrupted");
    }
    return QString();
}

QStringList ParameterCatalogue::engineNames(const EngineTable &engines)
{
    return engines.values();
}

bool ParameterCatalogue::appliesToEngine(const QJsonObject &item, int engine)
{
    if (engine < 0)
        return false;
    // Variant equality, so an index written as 2.0 still matches engine 2.
    return item.value(QLatin1String("engines"))
        .toArray()
        .toVariantList()
        .contains(QVariant(engine));
}

QVariantList ParameterCatalogue::parameterList(const ItemTable &items, int engine, QSet<uint> *ids,
                                               QSet<QString> *names)
{
    QVariantList list;
    if (engine < 0)
        return list;
    for (auto it = items.constBegin(); it != items.constEnd(); ++it) {
        if (!appliesToEngine(it.value(), engine))
            continue;
        list.append(QVariant(it.value()));
        if (ids)
            ids->insert(parameterHash(it.value()));
        if (names)
            names->insert(it.value().value(QLatin1String("name")).toString());
    }
    return list;
}

QString ParameterCatalogue::describe(const ItemTable &items, uint hash, bool shortForm)
{
    const auto it = items.constFind(hash);
    if (it == items.constEnd())
        return QString();
    return buildDescription(it.value(), shortForm);
}

QString ParameterCatalogue::buildDescription(const QJsonObject &item, bool shortForm)
{
    const QString name = item.value(QLatin1String("name")).toString();
    const QString units = item.value(QLatin1String("units")).toString();
    const QJsonObject comment = item.value(QLatin1String("comment")).toObject();
    QString text = comment.value(QLatin1String("ru")).toString();
    if (text.isEmpty())
        text = comment.value(QLatin1String("en")).toString();

    if (shortForm)
        return QStringLiteral("%1 (%2, %3)").arg(name, text, units);

    return QLatin1String("<table width=\"100%\" border=1><tr><th colspan=\"2\">") + name +
           QLatin1String("</th></tr>") + QLatin1String("<tr><td>") +
           QCoreApplication::translate("CFGRunner", "Info") + QLatin1String(":</td><td>") + text +
           QLatin1String("</td></tr><tr><td>") + QCoreApplication::translate("CFGRunner", "Units") +
           QLatin1String(":</td><td>") + units + QLatin1String("</td></tr></table>");
}

quint32 ParameterCatalogue::parameterHash(const QJsonObject &item, uint seed)
{
    return parameterHash(item.value(QLatin1String("pid")).toInt(),
                         item.value(QLatin1String("cid")).toInt(),
                         item.value(QLatin1String("name")).toString(), seed);
}

quint32 ParameterCatalogue::parameterHash(qint64 pid, qint64 cid, const QString &name, uint seed)
{
    // Joined without separators: pid 1/cid 23 and pid 12/cid 3 under one name collide.
    // The hash is the one Qt 5's qHash(QString, 0) gives, h = 31 * h + unit over the
    // UTF-16 units with 32-bit wrap, computed here rather than by qHash: it is stored in
    // layouts and device records, and Qt 6's string hash gives other values.
    const QString text =
        QStringLiteral("%1%2%3").arg(QString::number(pid), QString::number(cid), name);
    quint32 h = seed;
    for (const QChar unit : text)
        h = 31 * h + unit.unicode();
    return h;
}

quint32 ParameterCatalogue::matchRecord(const ItemTable &items, quint16 pid, quint16 cid,
                                        quint16 div, int engine)
{
    quint32 best = 0;
    int bestRank = -1;
    for (auto it = items.constBegin(); it != items.constEnd(); ++it) {
        const QJsonObject &item = it.value();
        if (pidOf(item) != pid || scaleDiv(item) != div)
            continue;
        const int rank = (cidOf(item) == cid ? 2 : 0) + (appliesToEngine(item, engine) ? 1 : 0);
        if (rank > bestRank || (rank == bestRank && it.key() < best)) {
            best = it.key();
            bestRank = rank;
        }
    }
    return best;
}
