#pragma once

// The dashboard's board record at 0x0200: gauge limits, warning thresholds and option
// flags. Version 1 is 18 bytes, little-endian:
//   size u16 | version u8 | rpm u8 | speed u8 | aux u8 | adelay u16 | rflags u16 |
//   rpmlim u16 | warnodo u16 | warntime u16 | engidx u16
// The default record encodes as 12 00 01 01 00 00 00 00 19 00 70 17 58 1B 30 75 00 00.

#include <QByteArray>
#include <QMap>
#include <QVariantMap>

// Record size by board record version; an unknown version has size 0.
extern const QMap<int, int> boardRecordSizes;

// The settings a blank board area (version byte 0xFF) stands for.
extern const QVariantMap defaultBoardConfig;

class BoardConfig
{
public:
    // The version-1 record for a board map. Missing keys take the record's own defaults
    // (which differ from defaultBoardConfig for "adelay" and "rflags"); values are cut to
    // their field's width.
    static QByteArray toBytes(const QVariantMap &board);
    // True for a complete version-1 record.
    static bool isValid(const QByteArray &record);
    // The map of a valid record; an empty map for anything else.
    static QVariantMap fromBytes(const QByteArray &record);
};
