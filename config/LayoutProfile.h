#pragma once

// Layout profiles: what the display layout and board settings pages edit, as a readable
// JSON file that can be shared and applied to other dashboards. CFGRunner saves and loads
// them for the device page, and the command line applies them without a window.
//
//   { "format": "veltrokx4-layout", "formatVersion": 1, "toolVersion": "0.2.0",
//     "engine": "Generic OBD-II", "display": "single",
//     "positions": [ {"name": "RPM", "pid": 12, "cid": 2024}, null, ... ],
//     "board": { "rpm": 0, "speed": 0, "aux": 0, "adelay": 650, "rpmlim": 6000,
//                "warnodo": 7000, "warntime": 30000, "animation": true, ... } }
//
// A position names its catalogue item by name, pid and cid (the parts of the parameter
// hash), so a profile still reads after the catalogue changed and names the item that no
// longer exists. "board" is null when the dashboard's board record was not understood.

#include "config/ParameterCatalogue.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

class LayoutProfile
{
    Q_DECLARE_TR_FUNCTIONS(LayoutProfile)

public:
    static const char FormatName[]; // "veltrokx4-layout"
    static constexpr int FormatVersion = 1;
    static constexpr int SinglePositions = 6;
    static constexpr int DoublePositions = 13;
    // A refusal quotes at most this many characters of any value from the file.
    static constexpr int QuoteLimit = 60;

    // What a profile holds, in the shapes the controller and the pages use.
    struct Layout
    {
        QString engine;                  // engine name
        int engineIndex = -1;            // its index in the catalogue, once loaded
        int positions = SinglePositions; // 6 or 13
        QList<quint32> items;            // parameter hash per position, 0 for an empty one
        QVariantMap board;               // board map with "version" 1, or empty
    };

    // The pages' configuration list ({"active", "hid", "descr"} per position) and board
    // map (ConfigPage.get(), an empty map when not understood) as a layout.
    static Layout fromPages(const QString &engine, int positions, const QVariantList &config,
                            const QVariantMap &board);

    // The profile's JSON text; items missing from the catalogue are written as empty.
    static QByteArray encode(const Layout &layout, const ParameterCatalogue::ItemTable &items,
                             const QString &toolVersion);
    // Writes through a temporary file that replaces `path` only once it is complete.
    static bool save(const QString &path, const QByteArray &json, QString *error);

    // Reads and checks a profile against the catalogue; `positions` is the connected
    // display's count. A double-display profile for a single display keeps its first
    // 6 positions and says so in *note. On refusal *error names the problem and *out is
    // left as it was.
    static bool load(const QString &path, const ParameterCatalogue::EngineTable &engines,
                     const ParameterCatalogue::ItemTable &items, int positions, Layout *out,
                     QString *note, QString *error);
    static bool decode(const QByteArray &json, const ParameterCatalogue::EngineTable &engines,
                       const ParameterCatalogue::ItemTable &items, int positions, Layout *out,
                       QString *note, QString *error);

    // A value from the file as a message quotes it: control characters as \xNN, and cut
    // after QuoteLimit characters with a note saying so.
    static QString quoted(const QString &value);

    // What a dashboard read back after a layout was written does not hold, as the names of
    // the positions ("position 3") and board keys that differ. `config` and `board` are
    // what the write was given, `engineIndex` the engine selected for it; an empty `board`
    // wrote no board settings, and only the positions are checked.
    static QStringList readBackDifferences(const QVariantList &config, const QVariantMap &board,
                                           int engineIndex, const QVariantList &readConfig,
                                           const QVariantMap &readBoard);

    // The configuration list the pages show for a layout (descriptions from the catalogue).
    static QVariantList configList(const Layout &layout,
                                   const ParameterCatalogue::ItemTable &items);
};
