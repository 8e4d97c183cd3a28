#include "config/DataScrambler.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QtEndian>

namespace {

quint16 crc16(const QByteArray &data)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return qChecksum(data);
#else
    return qChecksum(data.constData(), uint(data.size()));
#endif
}

QByteArray sha1(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

constexpr int sha1Size = 20;

} // namespace

DataScrambler::DataScrambler() : m_random(quint32(QDateTime::currentMSecsSinceEpoch() & 0xFFFF)) {}

DataScrambler::DataScrambler(quint64 key) : DataScrambler()
{
    setKey(key);
}

void DataScrambler::setKey(quint64 key)
{
    m_key = key;
    m_hasKey = true;
}

quint64 DataScrambler::keyFromPassphrase(const QString &phrase)
{
    const QByteArray digest = QCryptographicHash::hash(phrase.toUtf8(), QCryptographicHash::Sha512);
    quint64 key = 0;
    for (int block = 0; block < digest.size() / 8; ++block)
        key ^= qFromBigEndian<quint64>(digest.constData() + 8 * block);
    return key;
}

void DataScrambler::setKeyFromPassphrase(const QString &phrase)
{
    setKey(keyFromPassphrase(phrase));
}

QByteArray DataScrambler::encode(const QByteArray &plain)
{
    if (!m_hasKey) {
        m_lastError = NoKeySet;
        return QByteArray();
    }

    quint8 flags = 0;
    QByteArray payload = plain;
    if (m_compression != Never) {
        const QByteArray packed = qCompress(plain, 9);
        if (m_compression == Always || packed.size() < plain.size()) {
            payload = packed;
            flags |= FlagCompressed;
        }
    }

    QByteArray body;
    body.reserve(1 + sha1Size + payload.size());
    body.append(char(m_random.bounded(256)));
    if (m_integrity == Checksum) {
        flags |= FlagChecksum;
        char sum[2];
        qToBigEndian<quint16>(crc16(payload), sum);
        body.append(sum, 2);
    } else if (m_integrity == Hash) {
        flags |= FlagHash;
        body.append(sha1(payload));
    }
    body.append(payload);

    QByteArray blob;
    blob.reserve(2 + body.size());
    blob.append(char(formatVersion));
    blob.append(char(flags));
    quint8 previous = 0;
    for (int i = 0; i < body.size(); ++i) {
        previous = quint8(body.at(i)) ^ keyByte(i) ^ previous;
        blob.append(char(previous));
    }
    m_lastError = NoError;
    return blob;
}

QByteArray DataScrambler::encode(const QString &plain)
{
    return encode(plain.toUtf8());
}

QString DataScrambler::encodeToText(const QByteArray &plain)
{
    return QString::fromLatin1(encode(plain).toBase64());
}

QString DataScrambler::encodeToText(const QString &plain)
{
    return encodeToText(plain.toUtf8());
}

QByteArray DataScrambler::decode(const QByteArray &blob)
{
    if (!m_hasKey) {
        m_lastError = NoKeySet;
        return QByteArray();
    }
    if (blob.size() < 3)
        return QByteArray();
    if (quint8(blob.at(0)) != formatVersion) {
        m_lastError = UnknownVersion;
        return QByteArray();
    }

    const quint8 flags = quint8(blob.at(1));
    QByteArray body(blob.size() - 2, Qt::Uninitialized);
    quint8 previous = 0;
    for (int i = 0; i < body.size(); ++i) {
        const quint8 s = quint8(blob.at(2 + i));
        body[i] = char(s ^ keyByte(i) ^ previous);
        previous = s;
    }
    body.remove(0, 1); // filler

    bool intact = true;
    if (flags & FlagChecksum) {
        if (body.size() < 2) {
            intact = false;
        } else {
            const quint16 stored = qFromBigEndian<quint16>(body.constData());
            body.remove(0, 2);
            intact = stored == crc16(body);
        }
    } else if (flags & FlagHash) {
        if (body.size() < sha1Size) {
            intact = false;
        } else {
            const QByteArray stored = body.left(sha1Size);
            body.remove(0, sha1Size);
            intact = stored == sha1(body);
        }
    }
    if (!intact) {
        m_lastError = IntegrityFailed;
        return QByteArray();
    }

    if (flags & FlagCompressed) {
        // qUncompress allocates the size announced in the stream's first four bytes up
        // front; deflate cannot expand more than about 1032:1, so a larger claim is a
        // broken (or hostile) stream and must not cost gigabytes.
        if (body.size() >= 4 &&
            qFromBigEndian<quint32>(body.constData()) > quint64(body.size()) * 1032 + 64) {
            m_lastError = IntegrityFailed;
            return QByteArray();
        }
        QByteArray unpacked = qUncompress(body);
        // qUncompress answers a broken stream with null bytes and a whole stream of an
        // empty payload with empty, non-null ones. The 4-byte zero length header alone
        // (what qCompress makes of empty input) also comes back null.
        if (unpacked.isNull() && body != QByteArray(4, '\0')) {
            m_lastError = IntegrityFailed;
            return QByteArray();
        }
        body = unpacked;
    }
    m_lastError = NoError;
    return body;
}

QByteArray DataScrambler::decode(const QString &base64)
{
    return decode(QByteArray::fromBase64(base64.toLatin1()));
}

QString DataScrambler::decodeToText(const QByteArray &blob)
{
    return QString::fromUtf8(decode(blob));
}

QString DataScrambler::decodeToText(const QString &base64)
{
    return QString::fromUtf8(decode(base64));
}
