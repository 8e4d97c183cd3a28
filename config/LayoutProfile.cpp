#include "config/LayoutProfile.h"

#include "config/BoardConfig.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStringList>
#include <cmath>

const char LayoutProfile::FormatName[] = "veltrokx4-layout";

namespace {

// The board settings by name, with the range the board settings page accepts. The
// numbers are the board record's own: "rpm" and "speed" pick the gauge's scale (0: 6000
// and 240, 1: 8000 and 280), "aux" the auxiliary gauges, "warntime" is minutes (the page
// shows whole hours, 1 to 1092).
struct NumberSetting
{
    const char *name;
    int min;
    int max;
};
const NumberSetting numberSettings[] = {
    {"rpm", 0, 1},        {"speed", 0, 1},       {"aux", 0, 2},           {"adelay", 0, 2048},
    {"rpmlim", 0, 10000}, {"warnodo", 1, 65535}, {"warntime", 60, 65520},
};

// The switches packed into "rflags".
struct FlagSetting
{
    const char *name;
    int bit;
};
const FlagSetting flagSettings[] = {
    {"animation", 1},          {"menuAtStart", 2},      {"rpmWarning", 4},
    {"maintenanceWarning", 8}, {"logoWhenStopped", 16},
};

const QString kFormat = QStringLiteral("format");
const QString kFormatVersion = QStringLiteral("formatVersion");
const QString kToolVersion = QStringLiteral("toolVersion");
const QString kEngine = QStringLiteral("engine");
const QString kDisplay = QStringLiteral("display");
const QString kPositions = QStringLiteral("positions");
const QString kBoard = QStringLiteral("board");
const QString kName = QStringLiteral("name");
const QString kPid = QStringLiteral("pid");
const QString kCid = QStringLiteral("cid");
const QString kSingle = QStringLiteral("single");
const QString kDouble = QStringLiteral("double");

// A JSON number that is a whole number within [min, max].
bool wholeNumber(const QJsonValue &v, qint64 min, qint64 max, qint64 *out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || d < double(min) || d > double(max))
        return false;
    *out = qint64(d);
    return true;
}

uint hashAt(const QVariantList &config, int i)
{
    const QVariantMap entry = config.value(i).toMap();
    return entry.value(QStringLiteral("active")).toBool()
               ? entry.value(QStringLiteral("hid")).toUInt()
               : 0;
}

QJsonValue boardToJson(const QVariantMap &board)
{
    if (board.value(QStringLiteral("version")).toInt() != 1)
        return QJsonValue(QJsonValue::Null);
    QJsonObject out;
    for (const NumberSetting &s : numberSettings)
        out.insert(QLatin1String(s.name), board.value(QLatin1String(s.name)).toInt());
    const int flags = board.value(QStringLiteral("rflags")).toInt();
    for (const FlagSetting &f : flagSettings)
        out.insert(QLatin1String(f.name), (flags & f.bit) != 0);
    return out;
}

} // namespace

QString LayoutProfile::quoted(const QString &value)
{
    // Control characters as \xNN: a line feed would split the message, and a NUL would
    // end it wherever it is printed as a C string.
    QString shown;
    int kept = 0;
    for (const QChar c : value) {
        // A character outside the basic plane is not split in two.
        if (kept == QuoteLimit || (kept == QuoteLimit - 1 && c.isHighSurrogate()))
            break;
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
        ++kept;
    }
    if (kept == value.size())
        return shown;
    return tr("%1... (cut after %2 of its %3 characters)")
        .arg(shown, QString::number(QuoteLimit), QString::number(value.size()));
}

QStringList LayoutProfile::readBackDifferences(const QVariantList &config,
                                               const QVariantMap &board, int engineIndex,
                                               const QVariantList &readConfig,
                                               const QVariantMap &readBoard)
{
    QStringList differ;
    for (int i = 0; i < config.size(); ++i) {
        if (hashAt(config, i) != hashAt(readConfig, i))
            differ << QStringLiteral("position %1").arg(i + 1);
    }
    if (board.isEmpty())
        return differ;
    // The write sets the engine index from the engine chosen, whatever the map held, and
    // stores every value in its field's width.
    QVariantMap written = board;
    written.insert(QStringLiteral("engidx"), qMax(engineIndex, 0));
    const QVariantMap expected = BoardConfig::fromBytes(BoardConfig::toBytes(written));
    if (readBoard.isEmpty()) {
        differ << QStringLiteral("board record");
        return differ;
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (readBoard.value(it.key()).toInt() != it.value().toInt())
            differ << it.key();
    }
    return differ;
}

LayoutProfile::Layout LayoutProfile::fromPages(const QString &engine, int positions,
                                               const QVariantList &config, const QVariantMap &board)
{
    Layout layout;
    layout.engine = engine;
    layout.positions = positions == DoublePositions ? DoublePositions : SinglePositions;
    for (int i = 0; i < layout.positions; ++i) {
        const QVariantMap entry = config.value(i).toMap();
        layout.items.append(entry.value(QStringLiteral("active")).toBool()
                                ? entry.value(QStringLiteral("hid")).toUInt()
                                : 0);
    }
    layout.board = board;
    return layout;
}

QByteArray LayoutProfile::encode(const Layout &layout, const ParameterCatalogue::ItemTable &items,
                                 const QString &toolVersion)
{
    QJsonArray positions;
    for (int i = 0; i < layout.positions; ++i) {
        const QJsonObject item = items.value(layout.items.value(i));
        if (item.isEmpty()) {
            positions.append(QJsonValue(QJsonValue::Null));
            continue;
        }
        positions.append(QJsonObject{{kName, item.value(kName).toString()},
                                     {kPid, item.value(kPid).toInt()},
                                     {kCid, item.value(kCid).toInt()}});
    }
    const QJsonObject root{
        {kFormat, QLatin1String(FormatName)},
        {kFormatVersion, FormatVersion},
        {kToolVersion, toolVersion},
        {kEngine, layout.engine},
        {kDisplay, layout.positions == DoublePositions ? kDouble : kSingle},
        {kPositions, positions},
        {kBoard, boardToJson(layout.board)},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool LayoutProfile::save(const QString &path, const QByteArray &json, QString *error)
{
    // The profile replaces the file it is saved as: a device node or a FIFO under that
    // name would be swapped for a plain file.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        *error = tr("The layout could not be saved: %1").arg(tr("it is not a regular file"));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit()) {
        *error = tr("The layout could not be saved: %1").arg(file.errorString());
        return false;
    }
    return true;
}

bool LayoutProfile::load(const QString &path, const ParameterCatalogue::EngineTable &engines,
                         const ParameterCatalogue::ItemTable &items, int positions, Layout *out,
                         QString *note, QString *error)
{
    QFile file(path);
    // A profile is a few hundred bytes; anything far larger is not one.
    constexpr qint64 MaxSize = 1 << 20;
    // A pipe or a device would block the open or never end.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        *error = tr("The file is not a layout profile");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("The layout could not be read: %1").arg(file.errorString());
        return false;
    }
    const QByteArray json = file.read(MaxSize + 1);
    if (json.size() > MaxSize) {
        *error = tr("The file is not a layout profile");
        return false;
    }
    return decode(json, engines, items, positions, out, note, error);
}

bool LayoutProfile::decode(const QByteArray &json, const ParameterCatalogue::EngineTable &engines,
                           const ParameterCatalogue::ItemTable &items, int positions, Layout *out,
                           QString *note, QString *error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        *error = tr("The layout is not valid JSON: %1 at byte %2")
                     .arg(parse.errorString())
                     .arg(parse.offset);
        return false;
    }
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value(kFormat).toString() != QLatin1String(FormatName)) {
        *error = tr("The file is not a layout profile");
        return false;
    }
    qint64 version = 0;
    const QJsonValue versionValue = root.value(kFormatVersion);
    if (versionValue.isUndefined()) {
        *error = tr("The layout's format version is missing");
        return false;
    }
    if (!versionValue.isDouble()) {
        *error = tr("The layout's format version must be a number");
        return false;
    }
    if (!wholeNumber(versionValue, 1, FormatVersion, &version)) {
        *error = tr("The layout's format version %1 is not supported (this tool reads version %2)")
                     .arg(root.value(kFormatVersion).toVariant().toString())
                     .arg(FormatVersion);
        return false;
    }

    Layout layout;
    layout.engine = root.value(kEngine).toString();
    int engine = -1;
    for (auto it = engines.cbegin(); it != engines.cend() && engine < 0; ++it) {
        if (it.value() == layout.engine)
            engine = it.key();
    }
    layout.engineIndex = engine;
    if (engine < 0) {
        *error = tr("The layout names an unknown engine \"%1\"").arg(quoted(layout.engine));
        return false;
    }

    const QString display = root.value(kDisplay).toString();
    if (display != kSingle && display != kDouble) {
        *error =
            tr("The layout names an unknown display type \"%1\" (single or double)")
                .arg(quoted(display));
        return false;
    }
    const int own = display == kDouble ? DoublePositions : SinglePositions;
    const QJsonArray list = root.value(kPositions).toArray();
    if (!root.value(kPositions).isArray() || list.size() > own) {
        *error = tr("The layout's positions are not a list of at most %1 entries").arg(own);
        return false;
    }

    layout.positions = positions == DoublePositions ? DoublePositions : SinglePositions;
    int dropped = 0;
    for (int i = 0; i < list.size(); ++i) {
        const QJsonValue v = list.at(i);
        if (v.isNull()) {
            if (i < layout.positions)
                layout.items.append(0);
            continue;
        }
        const QJsonObject entry = v.toObject();
        qint64 pid = 0;
        qint64 cid = 0;
        if (!v.isObject() || !entry.value(kName).isString() ||
            !wholeNumber(entry.value(kPid), 0, 0xFFFF, &pid) ||
            !wholeNumber(entry.value(kCid), 0, 0xFFFF, &cid)) {
            *error = tr("Position %1 of the layout is malformed").arg(i + 1);
            return false;
        }
        const QString name = entry.value(kName).toString();
        const quint32 hash = ParameterCatalogue::parameterHash(pid, cid, name);
        const QJsonObject item = items.value(hash);
        if (item.isEmpty() || item.value(kName).toString() != name ||
            item.value(kPid).toInt() != pid || item.value(kCid).toInt() != cid) {
            *error =
                tr("Position %1 of the layout: \"%2\" (pid %3, cid %4) is not in the catalogue")
                    .arg(QString::number(i + 1), quoted(name), QString::number(pid),
                         QString::number(cid));
            return false;
        }
        if (!ParameterCatalogue::appliesToEngine(item, engine)) {
            *error = tr("Position %1 of the layout: \"%2\" is not offered for the engine \"%3\"")
                         .arg(QString::number(i + 1), quoted(name), quoted(layout.engine));
            return false;
        }
        if (i < layout.positions)
            layout.items.append(hash);
        else
            ++dropped;
    }
    while (layout.items.size() < layout.positions)
        layout.items.append(0);

    const QJsonValue board = root.value(kBoard);
    if (board.isObject()) {
        const QJsonObject settings = board.toObject();
        QStringList known;
        QVariantMap map{{QStringLiteral("version"), 1}};
        for (const NumberSetting &s : numberSettings) {
            const QString name = QLatin1String(s.name);
            known << name;
            qint64 value = 0;
            if (!settings.contains(name)) {
                *error = tr("The layout's board setting \"%1\" is missing").arg(name);
                return false;
            }
            if (!settings.value(name).isDouble()) {
                *error = tr("The layout's board setting \"%1\" must be a number").arg(name);
                return false;
            }
            if (!wholeNumber(settings.value(name), s.min, s.max, &value)) {
                *error = tr("The layout's board setting \"%1\" is %2, outside %3 to %4")
                             .arg(name)
                             .arg(settings.value(name).toVariant().toString())
                             .arg(s.min)
                             .arg(s.max);
                return false;
            }
            map.insert(name, int(value));
        }
        int flags = 0;
        for (const FlagSetting &f : flagSettings) {
            const QString name = QLatin1String(f.name);
            known << name;
            if (!settings.value(name).isBool()) {
                *error = tr("The layout's board setting \"%1\" must be true or false").arg(name);
                return false;
            }
            if (settings.value(name).toBool())
                flags |= f.bit;
        }
        for (const QString &key : settings.keys()) {
            if (!known.contains(key)) {
                *error = tr("The layout's board setting \"%1\" is unknown").arg(quoted(key));
                return false;
            }
        }
        map.insert(QStringLiteral("rflags"), flags);
        layout.board = map;
    } else if (!board.isNull() && !board.isUndefined()) {
        *error = tr("The layout's board settings are malformed");
        return false;
    }

    note->clear();
    if (own > layout.positions) {
        *note = dropped > 0 ? tr("The layout was made for a double display: only its first 6 "
                                 "positions were loaded, %n filled position(s) left out",
                                 nullptr, dropped)
                            : tr("The layout was made for a double display: only its first 6 "
                                 "positions were loaded");
    }
    *out = layout;
    return true;
}

QVariantList LayoutProfile::configList(const Layout &layout,
                                       const ParameterCatalogue::ItemTable &items)
{
    QVariantList list;
    for (int i = 0; i < layout.positions; ++i) {
        const quint32 hash = layout.items.value(i);
        const QJsonObject item = items.value(hash);
        if (hash == 0 || item.isEmpty()) {
            list.append(QVariantMap{{QStringLiteral("active"), false},
                                    {QStringLiteral("hid"), 0},
                                    {QStringLiteral("descr"), QString()}});
            continue;
        }
        list.append(QVariantMap{
            {QStringLiteral("active"), true},
            {QStringLiteral("hid"), uint(hash)},
            {QStringLiteral("descr"), ParameterCatalogue::buildDescription(item, true)}});
    }
    return list;
}
