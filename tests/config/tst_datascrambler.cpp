#include "config/DataScrambler.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <QtTest>

Q_DECLARE_METATYPE(DataScrambler::CompressionMode)
Q_DECLARE_METATYPE(DataScrambler::IntegrityMode)

class TstDataScrambler : public QObject
{
    Q_OBJECT

    static constexpr quint64 testKey = 0x0102030405060708ULL;

    static QByteArray randomBytes(int size)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator generator(4711);
        for (char &c : bytes)
            c = char(generator.bounded(256));
        return bytes;
    }

    // Chains a body by hand the way the container's layout describes it, so the
    // decoder is checked against the layout rather than against our own encoder.
    static QByteArray chainByHand(quint8 flags, const QByteArray &body, quint64 key)
    {
        QByteArray blob;
        blob.append(char(3)).append(char(flags));
        quint8 previous = 0;
        for (int i = 0; i < body.size(); ++i) {
            previous = quint8(body.at(i)) ^ quint8(key >> (8 * (i % 8))) ^ previous;
            blob.append(char(previous));
        }
        return blob;
    }

    static QByteArray encoded(const QByteArray &payload,
                              DataScrambler::IntegrityMode integrity = DataScrambler::Checksum,
                              DataScrambler::CompressionMode compression = DataScrambler::Auto)
    {
        DataScrambler scrambler(testKey);
        scrambler.setIntegrityMode(integrity);
        scrambler.setCompressionMode(compression);
        return scrambler.encode(payload);
    }

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<DataScrambler::CompressionMode>("compression");
        QTest::addColumn<DataScrambler::IntegrityMode>("integrity");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("compressed");

        const QByteArray repetitive = QByteArray("{\"pid\":12,\"cid\":2024},").repeated(200);
        const QByteArray noise = randomBytes(700);
        const struct
        {
            const char *name;
            DataScrambler::IntegrityMode mode;
        } integrities[] = {{"none", DataScrambler::None},
                           {"checksum", DataScrambler::Checksum},
                           {"hash", DataScrambler::Hash}};
        for (const auto &integrity : integrities) {
            auto row = [&](const char *what, DataScrambler::CompressionMode compression,
                           const QByteArray &payload, bool compressed) {
                QTest::addRow("%s/%s", integrity.name, what)
                    << compression << integrity.mode << payload << compressed;
            };
            row("auto-repetitive", DataScrambler::Auto, repetitive, true);
            row("auto-noise", DataScrambler::Auto, noise, false);
            row("auto-empty", DataScrambler::Auto, QByteArray(), false);
            row("always-noise", DataScrambler::Always, noise, true);
            row("always-empty", DataScrambler::Always, QByteArray(), true);
            row("always-one-byte", DataScrambler::Always, QByteArray("x"), true);
            row("never-repetitive", DataScrambler::Never, repetitive, false);
        }
    }

    void roundTrip()
    {
        QFETCH(DataScrambler::CompressionMode, compression);
        QFETCH(DataScrambler::IntegrityMode, integrity);
        QFETCH(QByteArray, payload);
        QFETCH(bool, compressed);

        const QByteArray blob = encoded(payload, integrity, compression);
        QCOMPARE(quint8(blob.at(0)), quint8(3));
        const quint8 flags = quint8(blob.at(1));
        QCOMPARE(bool(flags & DataScrambler::FlagCompressed), compressed);
        QCOMPARE(bool(flags & DataScrambler::FlagChecksum), integrity == DataScrambler::Checksum);
        QCOMPARE(bool(flags & DataScrambler::FlagHash), integrity == DataScrambler::Hash);
        if (!compressed) {
            const int field = integrity == DataScrambler::Checksum ? 2
                              : integrity == DataScrambler::Hash   ? 20
                                                                   : 0;
            QCOMPARE(blob.size(), 2 + 1 + field + payload.size());
            if (payload.size() > 16)
                QVERIFY(!blob.contains(payload.left(16)));
        }

        // A second container (its own filler seed) with the same key reads it back.
        DataScrambler reader(testKey);
        reader.setIntegrityMode(DataScrambler::None); // decoding follows the blob's flags
        QCOMPARE(reader.decode(blob), payload);
        QCOMPARE(reader.lastError(), DataScrambler::NoError);
    }

    void textVariants()
    {
        const QString text = QStringLiteral("Обороты двигателя / Engine speed ±°");
        DataScrambler scrambler(testKey);
        const QString base64 = scrambler.encodeToText(text);
        QVERIFY(!base64.contains(QStringLiteral("Engine")));
        QCOMPARE(scrambler.decodeToText(base64), text);
        QCOMPARE(scrambler.decode(base64), text.toUtf8());
        QCOMPARE(scrambler.decodeToText(scrambler.encode(text)), text);
        QCOMPARE(scrambler.decode(
                     QByteArray::fromBase64(scrambler.encodeToText(text.toUtf8()).toLatin1())),
                 text.toUtf8());
    }

    void handBuiltBlobs()
    {
        // Key bytes go least significant first: 08 07 06 ... for 0x0102030405060708.
        const QByteArray payload("AB");
        DataScrambler scrambler(testKey);
        QCOMPARE(scrambler.decode(chainByHand(0, QByteArray("\x5A") + payload, testKey)), payload);

        // The checksum field is big-endian and covers the payload as stored: the CRC-16 of
        // ISO 3309 (qChecksum) of "AB".
        char sum[2];
        qToBigEndian<quint16>(0x31EF, sum);
        const QByteArray withSum = QByteArray("\x11") + QByteArray(sum, 2) + payload;
        QCOMPARE(scrambler.decode(chainByHand(DataScrambler::FlagChecksum, withSum, testKey)),
                 payload);
        QCOMPARE(scrambler.lastError(), DataScrambler::NoError);
        std::swap(sum[0], sum[1]);
        const QByteArray swapped = QByteArray("\x11") + QByteArray(sum, 2) + payload;
        QVERIFY(
            scrambler.decode(chainByHand(DataScrambler::FlagChecksum, swapped, testKey)).isEmpty());
        QCOMPARE(scrambler.lastError(), DataScrambler::IntegrityFailed);

        // A whole stream of an empty payload (length 0, then zlib's empty stream) unpacks
        // to nothing, and that is a success; qCompress itself writes only the length.
        const QByteArray emptyStream =
            QByteArray(4, '\0') + QByteArray::fromHex("789C030000000001");
        QVERIFY(scrambler
                    .decode(chainByHand(DataScrambler::FlagCompressed,
                                        QByteArray("\x33") + emptyStream, testKey))
                    .isEmpty());
        QCOMPARE(scrambler.lastError(), DataScrambler::NoError);

        const QByteArray packed = qCompress(payload, 9);
        const QByteArray withHash = QByteArray("\x22") +
                                    QCryptographicHash::hash(packed, QCryptographicHash::Sha1) +
                                    packed;
        QCOMPARE(scrambler.decode(chainByHand(
                     DataScrambler::FlagHash | DataScrambler::FlagCompressed, withHash, testKey)),
                 payload);
        QCOMPARE(scrambler.lastError(), DataScrambler::NoError);
    }

    void passPhraseKey_data()
    {
        QTest::addColumn<QString>("phrase");
        QTest::addColumn<quint64>("key");
        // Reference values: SHA-512 of the UTF-8 text, eight big-endian blocks XORed.
        QTest::newRow("abc") << QStringLiteral("abc") << quint64(0x71697a25ba7cf037ULL);
        QTest::newRow("catalogue")
            << QStringLiteral("KX4 gauges read the bus; the catalogue reads nobody.")
            << quint64(0xb795366ada084a9bULL);
    }

    void passPhraseKey()
    {
        QFETCH(QString, phrase);
        QFETCH(quint64, key);
        QCOMPARE(DataScrambler::keyFromPassphrase(phrase), key);
        DataScrambler scrambler;
        QVERIFY(!scrambler.hasKey());
        scrambler.setKeyFromPassphrase(phrase);
        QVERIFY(scrambler.hasKey());
        QCOMPARE(scrambler.key(), key);
    }

    void decodeFailures_data()
    {
        QTest::addColumn<QByteArray>("blob");
        QTest::addColumn<quint64>("key");
        QTest::addColumn<int>("error");

        const QByteArray payload = QByteArray("catalogue text ").repeated(20);
        const QByteArray sum = encoded(payload);
        const QByteArray hash = encoded(payload, DataScrambler::Hash);

        QTest::newRow("other key, checksum")
            << sum << quint64(0x0807060504030201ULL) << int(DataScrambler::IntegrityFailed);
        QTest::newRow("other key, hash")
            << hash << quint64(0x0102030405060709ULL) << int(DataScrambler::IntegrityFailed);
        QByteArray version2 = sum;
        version2[0] = 2;
        QTest::newRow("version 2")
            << version2 << quint64(testKey) << int(DataScrambler::UnknownVersion);
        QByteArray altered = sum;
        altered[3] = char(altered.at(3) ^ 0x01); // first byte of the checksum field
        QTest::newRow("altered checksum byte")
            << altered << quint64(testKey) << int(DataScrambler::IntegrityFailed);
        QByteArray alteredHash = hash;
        alteredHash[10] = char(alteredHash.at(10) ^ 0x80);
        QTest::newRow("altered hash byte")
            << alteredHash << quint64(testKey) << int(DataScrambler::IntegrityFailed);
        QTest::newRow("truncated body, checksum")
            << sum.left(sum.size() - 5) << quint64(testKey) << int(DataScrambler::IntegrityFailed);
        QTest::newRow("truncated body, hash") << hash.left(hash.size() - 1) << quint64(testKey)
                                              << int(DataScrambler::IntegrityFailed);
        QTest::newRow("checksum field cut")
            << sum.left(4) << quint64(testKey) << int(DataScrambler::IntegrityFailed);
        QTest::newRow("hash field cut")
            << hash.left(15) << quint64(testKey) << int(DataScrambler::IntegrityFailed);
        // Without an integrity field a broken compressed stream must not pass as success.
        QTest::newRow("broken stream, no integrity")
            << chainByHand(DataScrambler::FlagCompressed,
                           QByteArray("\x00\x00\x00\x10garbage!", 12), testKey)
            << quint64(testKey) << int(DataScrambler::IntegrityFailed);
        QTest::newRow("stream claiming 2 GB")
            << chainByHand(DataScrambler::FlagCompressed,
                           QByteArray("\x00\x7F\xFF\xFF\x00", 5) + qCompress("x").mid(4), testKey)
            << quint64(testKey) << int(DataScrambler::IntegrityFailed);
        const QByteArray cutStream = encoded(payload, DataScrambler::None, DataScrambler::Always);
        QTest::newRow("truncated stream, no integrity")
            << cutStream.left(cutStream.size() - 6) << quint64(testKey)
            << int(DataScrambler::IntegrityFailed);
    }

    void decodeFailures()
    {
        QFETCH(QByteArray, blob);
        QFETCH(quint64, key);
        QFETCH(int, error);
        DataScrambler scrambler(key);
        QVERIFY(scrambler.decode(blob).isEmpty());
        QCOMPARE(int(scrambler.lastError()), error);
    }

    void shortBlobLeavesResult()
    {
        DataScrambler scrambler(testKey);
        QVERIFY(scrambler.decode(QByteArray("\x03\x02", 2)).isEmpty());
        QCOMPARE(scrambler.lastError(), DataScrambler::NoError);

        QByteArray version2 = encoded("x");
        version2[0] = 2;
        scrambler.decode(version2);
        QCOMPARE(scrambler.lastError(), DataScrambler::UnknownVersion);
        QVERIFY(scrambler.decode(QByteArray("\x03\x00", 2)).isEmpty());
        QVERIFY(scrambler.decode(QByteArray()).isEmpty());
        QCOMPARE(scrambler.lastError(), DataScrambler::UnknownVersion);
        // Three bytes is the smallest whole blob: version, flags, filler.
        QCOMPARE(scrambler.decode(chainByHand(0, QByteArray("\x7F"), testKey)), QByteArray());
        QCOMPARE(scrambler.lastError(), DataScrambler::NoError);
    }

    void noKey()
    {
        DataScrambler scrambler;
        QVERIFY(scrambler.encode(QByteArray("data")).isEmpty());
        QCOMPARE(scrambler.lastError(), DataScrambler::NoKeySet);
        QVERIFY(scrambler.decode(encoded("data")).isEmpty());
        QCOMPARE(scrambler.lastError(), DataScrambler::NoKeySet);
    }
};

QTEST_GUILESS_MAIN(TstDataScrambler)
#include "tst_datascrambler.moc"
