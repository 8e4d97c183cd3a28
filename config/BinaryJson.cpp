#include "config/BinaryJson.h"

#include <QJsonValue>
#include <QString>
#include <QtEndian>

namespace {

constexpr quint32 Tag = 0x736a6271; // "qbjs"
constexpr int HeaderSize = 8;
constexpr int BaseSize = 12;

enum Type { Null = 0, Bool = 1, Double = 2, String = 3 };

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
