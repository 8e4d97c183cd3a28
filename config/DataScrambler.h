#ifndef DATASCRAMBLER_H
#define DATASCRAMBLER_H

// Scrambled container for data the program carries but does not show in the clear
// (the parameter catalogue). The program only decodes; the packing tool in tools/
// encodes the catalogue at build time with the same class.
//
// Blob: version byte 3, flags byte, then the body chained with a 64-bit key:
//   filler byte | integrity field (CRC-16 big-endian, or SHA-1, or nothing) | payload
// where the payload is qCompress'ed (level 9) when flag 0x01 is set.

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>
#include <QtGlobal>

class DataScrambler
{
public:
    enum CompressionMode { Auto = 0, Always = 1, Never = 2 };
    enum IntegrityMode { None = 0, Checksum = 1, Hash = 2 };
    enum Error { NoError = 0, NoKeySet = 1, UnknownVersion = 2, IntegrityFailed = 3 };

    enum Flag : quint8 {
        FlagCompressed = 0x01,
        FlagChecksum = 0x02,
        FlagHash = 0x04,
    };
    static constexpr quint8 formatVersion = 3;

    DataScrambler();
    explicit DataScrambler(quint64 key);

    void setKey(quint64 key);
    // The key is the XOR of the eight big-endian 64-bit blocks of SHA-512(UTF-8 of phrase).
    void setKeyFromPassphrase(const QString &phrase);
    static quint64 keyFromPassphrase(const QString &phrase);
    bool hasKey() const { return m_hasKey; }
    quint64 key() const { return m_key; }

    void setCompressionMode(CompressionMode mode) { m_compression = mode; }
    CompressionMode compressionMode() const { return m_compression; }
    void setIntegrityMode(IntegrityMode mode) { m_integrity = mode; }
    IntegrityMode integrityMode() const { return m_integrity; }

    QByteArray encode(const QByteArray &plain);
    QByteArray encode(const QString &plain);
    QString encodeToText(const QByteArray &plain);
    QString encodeToText(const QString &plain);

    QByteArray decode(const QByteArray &blob);
    QByteArray decode(const QString &base64);
    QString decodeToText(const QByteArray &blob);
    QString decodeToText(const QString &base64);

    Error lastError() const { return m_lastError; }

private:
    quint8 keyByte(int i) const { return quint8(m_key >> (8 * (i % 8))); }

    quint64 m_key = 0;
    bool m_hasKey = false;
    CompressionMode m_compression = Auto;
    IntegrityMode m_integrity = Checksum;
    Error m_lastError = NoError;
    QRandomGenerator m_random;
};

#endif // DATASCRAMBLER_H
