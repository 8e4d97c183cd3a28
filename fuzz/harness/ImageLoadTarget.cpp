// Input: one byte choosing the display (profile 0, profile 1, or free settings read from
// the next bytes), then the content of a picture file.
//
// Checked beyond the sanitizers: a load either fails and leaves no name behind, or
// yields a picture of exactly the canvas size; the stream of a display profile always
// has that display's length.

#include "fuzz/harness/FuzzInput.h"
#include "fuzz/harness/FuzzSupport.h"
#include "fuzz/harness/FuzzTargets.h"

#include "image/ImageConverter.h"

#include <QStringList>

namespace {

QStringList entries(FuzzInput &in)
{
    QStringList list;
    for (int n = in.pick(3); n > 0; --n)
        list << QString::fromLatin1(in.bytes(4));
    return list;
}

} // namespace

int fuzzImageLoad(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    ImageConverter converter;
    const int mode = in.pick(4);
    int expectedStream = -1;
    if (mode < 2) {
        converter.applyDisplayProfile(mode);
        expectedStream = mode == 1 ? 2816 : 1419;
    } else {
        converter.setBigEndian(in.flag());
        converter.setNegative(in.flag());
        converter.setReversed(in.flag());
        converter.setSplit(in.flag());
        converter.setPrefix(in.bytes(6));
        converter.setPrefixIndex(int(qint8(in.byte())));
        converter.setPrefixMask(in.byte());
        converter.setWidth(in.pick(200));
        converter.setHeight(in.pick(200));
        converter.setRotation(entries(in));
        converter.setParts(entries(in));
    }
    const QString path = writeScratchFile(QStringLiteral("picture"), in.rest());

    if (!converter.load(path)) {
        if (!converter.name().isEmpty())
            fuzzFail("a failed load left a name");
        return 0;
    }
    if (converter.picture().size() != QSize(converter.width(), converter.height()))
        fuzzFail("a loaded picture that is not the canvas size");
    const QByteArray stream = converter.bitmap();
    if (expectedStream >= 0 && stream.size() != expectedStream)
        fuzzFail("a display stream of the wrong length", QByteArray::number(stream.size()));
    return 0;
}
