#ifndef PARAMETERCATALOGUE_H
#define PARAMETERCATALOGUE_H

// The built-in catalogue of vehicle values the dashboard can show: loading it from its
// scrambled resource, the engine filter, descriptions and the parameter hash.
// CFGRunner owns the two tables (engine names and items by hash) and delegates every
// catalogue operation to these functions, one call each.

#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>

class ParameterCatalogue
{
public:
    using EngineTable = QMap<int, QString>;        // engine index -> display name
    using ItemTable = QHash<quint32, QJsonObject>; // parameter hash -> whole item

    enum LoadResult {
        Loaded = 0,
        NotReadable, // the file could not be opened
        Corrupted,   // wrong key or version, integrity failure, bad JSON, empty document
    };

    // The resource the program ships, built from ui/data/catalogue.json.
    static QString defaultPath() { return QStringLiteral("://data/codes.dat"); }
    // The fixed pass phrase the catalogue key is made from (also used by the packing tool).
    static QString passPhrase()
    {
        return QStringLiteral("KX4 gauges read the bus; the catalogue reads nobody.");
    }

    // Reads, unscrambles and parses a catalogue file. Only on Loaded are both tables
    // replaced; otherwise they keep what they held.
    static LoadResult load(const QString &path, EngineTable &engines, ItemTable &items);
    // Parses decoded catalogue JSON text, same contract as load().
    static LoadResult parse(const QByteArray &json, EngineTable &engines, ItemTable &items);
    // The user-facing text for a failed load, translated in the CFGRunner context:
    // "Config data could not be read" / "Config data is corrupted". Empty for Loaded.
    static QString loadErrorText(LoadResult result);

    // Engine names in ascending index order.
    static QStringList engineNames(const EngineTable &engines);
    // Items offered for the engine (none when engine < 0), in the table's iteration
    // order; adds their hashes / names to the sets when given (the sets are not emptied).
    static QVariantList parameterList(const ItemTable &items, int engine, QSet<uint> *ids = nullptr,
                                      QSet<QString> *names = nullptr);
    static bool appliesToEngine(const QJsonObject &item, int engine);

    // Description of the item with that hash; a null string when there is none.
    static QString describe(const ItemTable &items, uint hash, bool shortForm = true);
    // Short form "Name (comment, units)" or a rich-text table with "Info" and "Units".
    // The comment is the "ru" text, or the "en" text when the "ru" one is empty.
    static QString buildDescription(const QJsonObject &item, bool shortForm = true);

    // Qt 5's string hash (h = 31 * h + unit, from `seed`) of "%1%2%3" filled with "pid",
    // "cid" and "name", whatever Qt the program is built with. Every caller uses seed 0.
    static quint32 parameterHash(const QJsonObject &item, uint seed = 0);
    static quint32 parameterHash(qint64 pid, qint64 cid, const QString &name, uint seed = 0);

    // The item a stored device record stands for: "pid" and "scale"."div" must match.
    // Among several matches the choice is deterministic: an item whose "cid" matches
    // too, then one offered for the engine, then the lowest hash. 0 when none matches.
    static quint32 matchRecord(const ItemTable &items, quint16 pid, quint16 cid, quint16 div,
                               int engine);
};

#endif // PARAMETERCATALOGUE_H
