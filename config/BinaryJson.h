#pragma once

// Writes and reads the framework's old binary JSON representation, which the info field
// of backup files uses. Qt 6 has neither side any more, and the files in users' hands
// must stay as they are: the writer gives byte for byte what Qt 5.15's
// QJsonDocument::toBinaryData() gives for an object. The reader takes a flat object of
// numbers, booleans, texts and nulls. The framework's
// own reader follows offsets from the file before checking them and crashes on some
// damaged files; this one checks every offset and length against the bytes first.
//
// Layout (little-endian): "qbjs", version 1, then the object: size, (length << 1) | 1,
// table offset, the entries, and a table of entry offsets (all offsets from the object's
// start). An entry is a 32-bit value (type in bits 0-2, bit 3 "inline integer" or
// "Latin-1 text", bit 4 "Latin-1 key", bits 5-31 the integer or the offset of the value's
// data) followed by the key: 16-bit length and Latin-1 bytes, or 32-bit length and UTF-16.
// An array is laid out alike, with (length << 1) and a table of values instead of offsets.
// Entries follow in the object's key order, texts are padded with zeros to 4 bytes, and
// integers of 26 bits or less but not 0 are held in the value itself.

#include <QByteArray>
#include <QJsonObject>

class BinaryJson
{
public:
    // `object` in binary JSON, nested arrays and objects included; an empty object gives
    // no bytes at all, as the framework's writer does.
    static QByteArray writeObject(const QJsonObject &object);

    // The object held in `data`; false in *ok (and an empty object) when `data` is not a
    // well-formed binary JSON object of that kind.
    static QJsonObject readObject(const QByteArray &data, bool *ok);
};
