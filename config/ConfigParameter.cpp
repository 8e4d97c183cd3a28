#include "config/ConfigParameter.h"

#include <QtEndian>

#include <cmath>
#include <cstring>

void ConfigParameter::setHeader(const QString &name)
{
    const QByteArray text = name.toLatin1().left(headerSize);
    std::memset(disp.header, ' ', headerSize);
    std::memcpy(disp.header, text.constData(), size_t(text.size()));
}

void ConfigParameter::setTail(const QString &units)
{
    const QByteArray text = units.toLatin1().left(tailSize);
    std::memset(disp.tail, ' ', tailSize);
    std::memcpy(disp.tail + tailSize - text.size(), text.constData(), size_t(text.size()));
}

QString ConfigParameter::header() const
{
    return QString::fromLatin1(disp.header, headerSize);
}

QString ConfigParameter::tail() const
{
    return QString::fromLatin1(disp.tail, tailSize);
}

QByteArray ConfigParameter::toByteArray() const
{
    QByteArray out(size, Qt::Uninitialized);
    uchar *p = reinterpret_cast<uchar *>(out.data());
    qToLittleEndian<quint16>(pid, p + 0);
    qToLittleEndian<quint16>(cid, p + 2);
    p[4] = sign;
    qToLittleEndian<qint16>(math.offset, p + 5);
    qToLittleEndian<quint16>(math.div, p + 7);
    p[9] = math.mul;
    p[10] = disp.num;
    p[11] = disp.pos;
    std::memcpy(p + 12, disp.header, headerSize);
    std::memcpy(p + 18, disp.tail, tailSize);
    return out;
}

bool ConfigParameter::fromByteArray(const QByteArray &data, int offset)
{
    if (offset < 0 || data.size() - offset < size)
        return false;
    const uchar *p = reinterpret_cast<const uchar *>(data.constData()) + offset;
    pid = qFromLittleEndian<quint16>(p + 0);
    cid = qFromLittleEndian<quint16>(p + 2);
    sign = p[4];
    math.offset = qFromLittleEndian<qint16>(p + 5);
    math.div = qFromLittleEndian<quint16>(p + 7);
    math.mul = p[9];
    disp.num = p[10];
    disp.pos = p[11];
    std::memcpy(disp.header, p + 12, headerSize);
    std::memcpy(disp.tail, p + 18, tailSize);
    return true;
}

bool ConfigParameter::operator==(const ConfigParameter &other) const
{
    return toByteArray() == other.toByteArray();
}

qint16 ConfigParameter::roundOffset(double x)
{
    if (!std::isfinite(x))
        return 0;
    x = qBound(-1.0e9, x, 1.0e9);
    if (x >= 0)
        return qint16(qint64(x + 0.5));
    const qint64 d = qint64(x - 1);
    return qint16(d + qint64(x - double(d) + 0.5));
}

ConfigParameter ConfigParameter::recordFromCatalogue(const QJsonObject &entry)
{
    ConfigParameter record;
    record.pid = quint16(entry.value(QStringLiteral("pid")).toInt());
    record.cid = quint16(entry.value(QStringLiteral("cid")).toInt());
    record.sign = entry.value(QStringLiteral("signed")).toBool() ? 1 : 0;
    record.math.offset = roundOffset(entry.value(QStringLiteral("offset")).toDouble());
    const QJsonObject scale = entry.value(QStringLiteral("scale")).toObject();
    record.math.div = quint16(scale.value(QStringLiteral("div")).toInt());
    record.math.mul = quint8(scale.value(QStringLiteral("mul")).toInt());
    record.setHeader(entry.value(QStringLiteral("name")).toString());
    record.setTail(entry.value(QStringLiteral("units")).toString());
    return record;
}
