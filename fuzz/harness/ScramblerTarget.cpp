// Input: a scrambled blob as it might sit in the program's resources.
//
// Checked beyond the sanitizers: a decode either fails with an error code and no bytes,
// or succeeds; a blob shorter than its 3 header bytes gives no bytes and leaves the
// previous result code as it was; what was decoded survives being scrambled and
// unscrambled again unchanged.

#include "fuzz/harness/FuzzInput.h"
#include "fuzz/harness/FuzzSupport.h"
#include "fuzz/harness/FuzzTargets.h"

#include "config/DataScrambler.h"
#include "config/ParameterCatalogue.h"

int fuzzScrambler(const uint8_t *data, size_t size)
{
    static const quint64 key = DataScrambler::keyFromPassphrase(ParameterCatalogue::passPhrase());
    FuzzInput in(data, size);
    const quint8 mode = in.byte();
    const QByteArray blob = in.rest();

    DataScrambler scrambler(key);
    // A blob too short to hold its header leaves the previous result standing; start
    // from a result no decode gives, so that case is told apart.
    scrambler.decode(QByteArray("\x02\x00\x00", 3));
    const QByteArray plain = (mode & 1) ? scrambler.decode(QString::fromLatin1(blob.toBase64()))
                                        : scrambler.decode(blob);
    if (blob.size() < 3) {
        if (!plain.isEmpty() || scrambler.lastError() != DataScrambler::UnknownVersion)
            fuzzFail("a blob without a complete header changed the result");
        return 0;
    }
    if (scrambler.lastError() != DataScrambler::NoError) {
        if (!plain.isEmpty())
            fuzzFail("a failed decode returned bytes");
        return 0;
    }

    DataScrambler again(key);
    again.setIntegrityMode(DataScrambler::IntegrityMode(mode % 3));
    again.setCompressionMode(DataScrambler::CompressionMode((mode >> 2) % 3));
    if (again.decode(again.encode(plain)) != plain || again.lastError() != DataScrambler::NoError)
        fuzzFail("decoded bytes do not survive a round trip");
    return 0;
}
