#pragma once

// Turns a display page stream back into the black-and-white picture the
// dashboard will show, laid out like the converter's prepared picture. Used to
// preview a conversion as a PNG and to check that encoding loses nothing.

#include <QByteArray>
#include <QImage>
#include <QString>

class ImageConverter;

class SplashPreview
{
public:
    // `layout` supplies the canvas size, prefix, bit order, polarity and
    // page arrangement the stream was made with. A page's row comes from the
    // number in its prefix when the layout writes one, otherwise from its
    // place in the stream. Light pixels come out white, dark ones black.
    // Returns a null image, with `error` set, for a stream that does not
    // match the layout.
    static QImage decode(const QByteArray &stream, const ImageConverter &layout,
                         QString *error = nullptr);

    // The picture as the display reduces it: every pixel of the prepared
    // picture turned black or white by the converter's pixel test.
    static QImage threshold(const QImage &picture);
};
