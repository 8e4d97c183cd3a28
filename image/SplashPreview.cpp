#include "image/SplashPreview.h"

#include "image/ImageConverter.h"

namespace {

QString describe(const char *text, int a = 0, int b = 0)
{
    return QString::fromLatin1(text).arg(a).arg(b);
}

} // namespace

QImage SplashPreview::decode(const QByteArray &stream, const ImageConverter &layout, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QImage();
    };

    const int w = layout.width();
    const int h = layout.height();
    const int prefixLength = layout.prefix().size();
    const int pageLength = prefixLength + w;
    if (w <= 0 || h <= 0)
        return fail(describe("no canvas (%1x%2)", w, h));
    if (stream.size() % pageLength != 0)
        return fail(
            describe("stream of %1 bytes is not made of %2-byte pages", stream.size(), pageLength));

    const bool split = layout.split();
    const int areaHeight = split ? h / 2 : h;
    const int pagesPerArea = areaHeight / 8;
    const int areas = split ? 2 : 1;
    const int pageCount = stream.size() / pageLength;
    if (pageCount != pagesPerArea * areas)
        return fail(
            describe("%1 pages where the canvas holds %2", pageCount, pagesPerArea * areas));

    const int index = layout.prefixIndex();
    const bool numbered = index >= 0 && index < prefixLength;
    const bool negative = layout.negative();

    QImage out(w, h, QImage::Format_RGB32);
    out.fill(Qt::gray); // rows no page reaches stay visibly unset
    for (int i = 0; i < pageCount; ++i) {
        const char *page = stream.constData() + i * pageLength;
        // Split streams alternate bottom display, top display.
        const int area = split ? (i % 2 == 0 ? 1 : 0) : 0;
        const int position = split ? i / 2 : i;
        int p = layout.reversed() && !split ? pagesPerArea - 1 - position : position;
        if (numbered) {
            const int number = uchar(page[index]) & layout.prefixMask();
            p = layout.reversed() ? pagesPerArea - 1 - number : number;
        }
        if (p < 0 || p >= pagesPerArea)
            return fail(describe("page %1 carries page number %2 outside the display", i, p));

        const int top = area * areaHeight + 8 * p;
        for (int x = 0; x < w; ++x) {
            const uchar byte = uchar(page[prefixLength + x]);
            for (int k = 0; k < 8; ++k) {
                const int bit = layout.bigEndian() ? 7 - k : k;
                const bool set = byte & (1u << bit);
                const bool light = set != negative;
                out.setPixel(x, top + k, light ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
            }
        }
    }
    return out;
}

QImage SplashPreview::threshold(const QImage &picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    QImage out(rgb.size(), QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb *in = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        QRgb *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            line[x] = isLightPixel(in[x]) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    return out;
}
