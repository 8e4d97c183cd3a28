#include "config/BoardConfig.h"

#include <QtEndian>

const QMap<int, int> boardRecordSizes{{1, 18}};

const QVariantMap defaultBoardConfig{
    {QStringLiteral("version"), 1},      {QStringLiteral("rpm"), 1},
    {QStringLiteral("speed"), 0},        {QStringLiteral("aux"), 0},
    {QStringLiteral("adelay"), 0},       {QStringLiteral("rflags"), 25},
    {QStringLiteral("rpmlim"), 6000},    {QStringLiteral("warnodo"), 7000},
    {QStringLiteral("warntime"), 30000}, {QStringLiteral("engidx"), 0},
};

namespace {

struct Field
{
    const char *key;
    int offset;
    int width;
    int fallback;
};

// Byte 2 (the version) is handled apart: it is always written as 1.
const Field fields[] = {
    {"rpm", 3, 1, 1},         {"speed", 4, 1, 0},         {"aux", 5, 1, 0},
    {"adelay", 6, 2, 650},    {"rflags", 8, 2, 1},        {"rpmlim", 10, 2, 6000},
    {"warnodo", 12, 2, 7000}, {"warntime", 14, 2, 30000}, {"engidx", 16, 2, 0},
};

} // namespace

QByteArray BoardConfig::toBytes(const QVariantMap &board)
{
    const int size = boardRecordSizes.value(1);
    QByteArray record(size, '\0');
    uchar *bytes = reinterpret_cast<uchar *>(record.data());
    qToLittleEndian<quint16>(quint16(size), bytes);
    bytes[2] = 1;
    for (const Field &f : fields) {
        const QString key = QLatin1String(f.key);
        const qint64 value = board.contains(key) ? board.value(key).toLongLong() : f.fallback;
        if (f.width == 1)
            bytes[f.offset] = uchar(value);
        else
            qToLittleEndian<quint16>(quint16(value), bytes + f.offset);
    }
    return record;
}

bool BoardConfig::isValid(const QByteArray &record)
{
    return record.size() == boardRecordSizes.value(1) && quint8(record.at(2)) == 1;
}

QVariantMap BoardConfig::fromBytes(const QByteArray &record)
{
    if (!isValid(record))
        return QVariantMap();
    const uchar *bytes = reinterpret_cast<const uchar *>(record.constData());
    QVariantMap board{{QStringLiteral("version"), int(bytes[2])}};
    for (const Field &f : fields) {
        const int value =
            f.width == 1 ? int(bytes[f.offset]) : int(qFromLittleEndian<quint16>(bytes + f.offset));
        board.insert(QLatin1String(f.key), value);
    }
    return board;
}
