#include "config/BinaryJson.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <QVector>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr quint32 Tag = 0x736a6271; // "qbjs"
constexpr int HeaderSize = 8;
constexpr int BaseSize = 12;

enum Type { Null = 0, Bool = 1, Double = 2, String = 3, Array = 4, ObjectType = 5 };
enum ValueFlag : quint32 { InlineOrLatin1 = 8, Latin1Key = 16 };
constexpr int ValueShift = 5;

// --- writing

void put16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void put32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void set32(QByteArray &out, int at, quint32 value)
{
    qToLittleEndian(value, out.data() + at);
}

// Texts of Latin-1 characters only, and shorter than 32768, are kept as Latin-1.
bool fitsLatin1(const QString &text)
{
    if (text.size() >= 0x8000)
        return false;
    for (const QChar c : text) {
        if (c.unicode() > 0xff)
            return false;
    }
    return true;
}

void appendText(QByteArray &out, const QString &text, bool latin1)
{
    const int start = out.size();
    if (latin1) {
        put16(out, quint16(text.size()));
        for (const QChar c : text)
            out.append(char(c.unicode()));
    } else {
        put32(out, quint32(text.size()));
        for (const QChar c : text)
            put16(out, c.unicode());
    }
    const int length = out.size() - start;
    out.append(((length + 3) & ~3) - length, '\0');
}

// The integer a double holds when it is a whole number from 1 to 2^26 - 1 in magnitude
// (read from its bits, so 0 is not one), else INT_MAX.
int inlineNumber(double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    const quint64 fraction = 0x000fffffffffffffull;
    const int exponent = int((bits >> 52) & 0x7ff) - 1023;
    if (exponent < 0 || exponent > 25 || (bits & (fraction >> exponent)))
        return INT_MAX;
    const int magnitude = int(((bits & fraction) | (quint64(1) << 52)) >> (52 - exponent));
    return (bits >> 63) ? -magnitude : magnitude;
}

QByteArray container(const QJsonObject &object);
QByteArray container(const QJsonArray &array);

// The value word of `value`, whose data (if any) is appended to `out`, where it starts at
// `offset` from the container's start.
quint32 writeValue(const QJsonValue &value, quint32 offset, QByteArray &out)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return Bool | (value.toBool() ? 1u << ValueShift : 0u);
    case QJsonValue::Double: {
        const double d = value.toDouble();
        const int small = inlineNumber(d);
        if (small != INT_MAX)
            return Double | InlineOrLatin1 | (quint32(small) << ValueShift);
        char bytes[8];
        qToLittleEndian(d, bytes);
        out.append(bytes, 8);
        return Double | (offset << ValueShift);
    }
    case QJsonValue::String: {
        const QString text = value.toString();
        const bool latin1 = fitsLatin1(text);
        appendText(out, text, latin1);
        return String | (latin1 ? InlineOrLatin1 : 0u) | (offset << ValueShift);
    }
    case QJsonValue::Array:
        out.append(container(value.toArray()));
        return Array | (offset << ValueShift);
    case QJsonValue::Object:
        out.append(container(value.toObject()));
        return ObjectType | (offset << ValueShift);
    default:
        return Null;
    }
}

// The base every container starts with: size, length and kind, table offset.
QByteArray base(quint32 length, bool isObject, quint32 table)
{
    QByteArray out;
    put32(out, 0);
    put32(out, (length << 1) | (isObject ? 1u : 0u));
    put32(out, table);
    return out;
}

QByteArray finish(QByteArray out, const QVector<quint32> &table)
{
    // An empty container has no table, and a table offset of 0.
    if (!table.isEmpty())
        set32(out, 8, quint32(out.size()));
    for (const quint32 word : table)
        put32(out, word);
    set32(out, 0, quint32(out.size()));
    return out;
}

QByteArray container(const QJsonObject &object)
{
    QByteArray out = base(quint32(object.size()), true, 0);
    QVector<quint32> table;
    QVector<QString> keys;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const quint32 entry = quint32(out.size());
        const bool latinKey = fitsLatin1(it.key());
        QByteArray key;
        appendText(key, it.key(), latinKey);
        const quint32 dataOffset = entry + 4 + quint32(key.size());
        QByteArray data;
        const quint32 word = writeValue(it.value(), dataOffset, data) | (latinKey ? Latin1Key : 0u);
        put32(out, word);
        out.append(key);
        out.append(data);
        // The table is in key order, entries in the order they were added.
        const auto at = std::lower_bound(keys.begin(), keys.end(), it.key());
        const int index = int(at - keys.begin());
        keys.insert(index, it.key());
        table.insert(index, entry);
    }
    return finish(out, table);
}

QByteArray container(const QJsonArray &array)
{
    QByteArray out = base(quint32(array.size()), false, 0);
    QVector<quint32> table;
    for (const QJsonValue &value : array)
        table.append(writeValue(value, quint32(out.size()), out));
    return finish(out, table);
}

// --- reading

// Bounds-checked reads inside the object, whose `size` bytes start at `base`.
class Object
{
public:
    Object(const char *base, quint32 size) : m_base(base), m_size(size) {}

    bool fits(quint32 offset, quint32 length) const
    {
        return offset <= m_size && length <= m_size - offset;
    }
    quint16 u16(quint32 offset) const { return qFromLittleEndian<quint16>(m_base + offset); }
    quint32 u32(quint32 offset) const { return qFromLittleEndian<quint32>(m_base + offset); }
    const char *at(quint32 offset) const { return m_base + offset; }

    // A text at `offset`: Latin-1 with a 16-bit length, or UTF-16 with a 32-bit length;
    // `end` receives the offset after it.
    bool text(quint32 offset, bool latin1, QString *out, quint32 *end = nullptr) const
    {
        if (latin1) {
            if (!fits(offset, 2) || !fits(offset + 2, u16(offset)))
                return false;
            *out = QString::fromLatin1(at(offset + 2), u16(offset));
            if (end)
                *end = offset + 2 + u16(offset);
            return true;
        }
        if (!fits(offset, 4))
            return false;
        const quint32 chars = u32(offset);
        if (chars > m_size / 2 || !fits(offset + 4, chars * 2))
            return false;
        QString s(int(chars), Qt::Uninitialized);
        for (quint32 i = 0; i < chars; ++i)
            s[int(i)] = QChar(u16(offset + 4 + 2 * i));
        *out = s;
        if (end)
            *end = offset + 4 + chars * 2;
        return true;
    }

private:
    const char *m_base;
    quint32 m_size;
};

} // namespace

QByteArray BinaryJson::writeObject(const QJsonObject &object)
{
    if (object.isEmpty())
        return QByteArray();
    QByteArray out;
    put32(out, Tag);
    put32(out, 1);
    out.append(container(object));
    return out;
}

QJsonObject BinaryJson::readObject(const QByteArray &data, bool *ok)
{
    *ok = false;
    if (data.size() < HeaderSize + BaseSize ||
        qFromLittleEndian<quint32>(data.constData()) != Tag ||
        qFromLittleEndian<quint32>(data.constData() + 4) != 1)
        return QJsonObject();

    const char *base = data.constData() + HeaderSize;
    const quint32 size = qFromLittleEndian<quint32>(base);
    if (size < BaseSize || size > quint32(data.size() - HeaderSize))
        return QJsonObject();
    const Object object(base, size);
    const quint32 word = object.u32(4);
    const quint32 length = word >> 1;
    const quint32 table = object.u32(8);
    if (!(word & 1) || table < BaseSize || length > size / 4 || !object.fits(table, length * 4))
        return QJsonObject();

    QJsonObject result;
    for (quint32 i = 0; i < length; ++i) {
        const quint32 entry = object.u32(table + 4 * i);
        if (entry < BaseSize || !object.fits(entry, 4))
            return QJsonObject();
        const quint32 value = object.u32(entry);
        const int type = int(value & 7);
        const bool inlineValue = value & 8;
        const bool latinKey = value & 16;
        const quint32 payload = value >> 5;

        QString key;
        if (!object.text(entry + 4, latinKey, &key))
            return QJsonObject();

        QJsonValue item;
        switch (type) {
        case Null:
            item = QJsonValue(QJsonValue::Null);
            break;
        case Bool:
            item = QJsonValue(payload != 0);
            break;
        case Double:
            if (inlineValue) {
                // A 27-bit signed integer.
                item = QJsonValue(qint32(value) >> 5);
            } else {
                if (payload < BaseSize || !object.fits(payload, 8))
                    return QJsonObject();
                item = QJsonValue(qFromLittleEndian<double>(object.at(payload)));
            }
            break;
        case String: {
            QString s;
            if (payload < BaseSize || !object.text(payload, inlineValue, &s))
                return QJsonObject();
            item = QJsonValue(s);
            break;
        }
        default:
            // Arrays and objects have no place in a flat information object.
            return QJsonObject();
        }
        result.insert(key, item);
    }
    *ok = true;
    return result;
}
