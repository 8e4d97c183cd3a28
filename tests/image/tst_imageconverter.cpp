#include "image/ImageConverter.h"
#include "image/SplashPreview.h"
#include "tests/common/NonRegularFiles.h"

#include <QDir>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QRgb Black = qRgb(0, 0, 0);
const QRgb White = qRgb(255, 255, 255);

QImage filled(int w, int h, QRgb colour)
{
    QImage picture(w, h, QImage::Format_ARGB32);
    picture.fill(colour);
    return picture;
}

// Page `i` of a stream made of pages of `length` bytes.
QByteArray pageAt(const QByteArray &stream, int length, int i)
{
    return stream.mid(i * length, length);
}

// Lit pixels of a stream: set bits outside the page prefixes.
int litPixels(const QByteArray &stream, int pageLength = 0, int prefixLength = 0)
{
    int n = 0;
    for (int i = 0; i < stream.size(); ++i) {
        if (pageLength == 0 || i % pageLength >= prefixLength)
            n += qPopulationCount(quint32(uchar(stream.at(i))));
    }
    return n;
}

} // namespace

class TestImageConverter : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_serial = 0;

    QString save(const QImage &picture, const char *format = "PNG")
    {
        const QString path =
            m_dir.filePath(QStringLiteral("pic%1.%2").arg(++m_serial).arg(format).toLower());
        if (!picture.save(path, format))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // A converter with a plain layout: canvas w x h, no profile.
    static void plainLayout(ImageConverter &c, int w, int h)
    {
        c.setWidth(w);
        c.setHeight(h);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Single display: 11 pages bottom-up, page number in prefix byte 1, top
    // row of each page in bit 7, black pixels lit.
    void singleDisplayBytes()
    {
        QImage picture = filled(124, 88, White);
        picture.setPixel(0, 0, Black);  // top row: last page, bit 7
        picture.setPixel(5, 87, Black); // bottom row: first page, bit 0
        for (int y = 0; y < 88; ++y)
            picture.setPixel(123, y, Black); // full column: FF in every page
        picture.setPixel(60, 42, Black);     // rows 40-47, row 42 is bit 5

        ImageConverter c;
        c.applyDisplayProfile(0);
        QVERIFY(c.load(save(picture)));
        const QByteArray s = c.bitmap();
        QCOMPARE(s.size(), 1419);

        const int len = 129;
        for (int i = 0; i < 11; ++i) {
            const QByteArray page = pageAt(s, len, i);
            QCOMPARE(page.left(5),
                     QByteArray::fromHex("B1") + char(i) + QByteArray::fromHex("131C1D"));
            QCOMPARE(uchar(page.at(5 + 123)), uchar(0xFF));
        }
        const QByteArray first = pageAt(s, len, 0); // rows 80-87
        QCOMPARE(first.left(5), QByteArray::fromHex("B100131C1D"));
        QCOMPARE(uchar(first.at(5 + 5)), uchar(0x01));
        const QByteArray last = pageAt(s, len, 10); // rows 0-7
        QCOMPARE(last.left(5), QByteArray::fromHex("B10A131C1D"));
        QCOMPARE(uchar(last.at(5 + 0)), uchar(0x80));
        QCOMPARE(uchar(pageAt(s, len, 5).at(5 + 60)), uchar(0x20)); // rows 40-47 is page 5
        // Nothing else is lit: 88 column bits plus the three single pixels.
        QCOMPARE(litPixels(s, len, 5), 88 + 3);
    }

    // Double display: a 128 x 173 picture turned to 173 x 128, top half
    // flipped upside down, bottom half flipped left-right, then both halves
    // as 8 pages each, bottom display first, numbered 7 down to 0.
    void doubleDisplayBytes()
    {
        QImage picture = filled(128, 173, White);
        QPainter painter(&picture);
        painter.fillRect(QRect(120, 0, 8, 8), Qt::black); // top right corner block
        painter.fillRect(QRect(0, 165, 8, 8), Qt::black); // bottom left corner block
        painter.end();

        ImageConverter c;
        c.applyDisplayProfile(1);
        QVERIFY(c.load(save(picture)));
        QCOMPARE(c.picture().size(), QSize(173, 128));
        const QByteArray s = c.bitmap();
        QCOMPARE(s.size(), 2816);

        const int len = 176;
        for (int i = 0; i < 16; ++i) {
            const QByteArray page = pageAt(s, len, i);
            QCOMPARE(uchar(page.at(0)), uchar(0xB0 | (7 - i / 2)));
            QCOMPARE(page.mid(1, 2), QByteArray::fromHex("1109"));
        }
        QCOMPARE(s.left(3), QByteArray::fromHex("B71109"));
        QCOMPARE(s.mid(len, 3), QByteArray::fromHex("B71109"));

        // Turning by 270 degrees brings the top right corner to the top left
        // (rows 0-7); flipping the top half moves it to rows 56-63: the top
        // display's last page, number 0, last in the stream.
        const QByteArray topLast = pageAt(s, len, 15);
        for (int x = 0; x < 8; ++x)
            QCOMPARE(uchar(topLast.at(3 + x)), uchar(0xFF));
        QCOMPARE(uchar(topLast.at(3 + 8)), uchar(0x00));
        // The bottom left corner lands at the bottom right (rows 120-127),
        // and flipping the bottom half left-right brings it to columns 0-7:
        // the bottom display's last page, second last in the stream.
        const QByteArray bottomLast = pageAt(s, len, 14);
        for (int x = 0; x < 8; ++x)
            QCOMPARE(uchar(bottomLast.at(3 + x)), uchar(0xFF));
        QCOMPARE(uchar(bottomLast.at(3 + 8)), uchar(0x00));
        QCOMPARE(litPixels(s, len, 3), 2 * 64);
    }

    void canvasFit_data()
    {
        QTest::addColumn<int>("disp");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("fits");
        QTest::newRow("single exact") << 0 << QSize(124, 88) << true;
        QTest::newRow("single one wider") << 0 << QSize(125, 88) << false;
        QTest::newRow("single one taller") << 0 << QSize(124, 89) << false;
        QTest::newRow("single smaller") << 0 << QSize(10, 10) << true;
        // The double display's picture is turned first: 128 x 173 fits.
        QTest::newRow("double exact") << 1 << QSize(128, 173) << true;
        QTest::newRow("double one wider") << 1 << QSize(129, 173) << false;
        QTest::newRow("double one taller") << 1 << QSize(128, 174) << false;
        QTest::newRow("double unturned") << 1 << QSize(173, 128) << false;
    }

    void canvasFit()
    {
        QFETCH(int, disp);
        QFETCH(QSize, size);
        QFETCH(bool, fits);
        ImageConverter c;
        c.applyDisplayProfile(disp);
        const QString path = save(filled(size.width(), size.height(), Black));
        QCOMPARE(c.load(path), fits);
        QCOMPARE(c.isValid(), fits);
        QCOMPARE(c.name(), fits ? QFileInfo(path).fileName() : QString());
        // A refused picture must not leave anything to upload.
        QCOMPARE(c.bitmap().isEmpty(), !fits);
        if (fits)
            QCOMPARE(c.picture().size(), QSize(c.width(), c.height()));
    }

    // A smaller picture sits in the middle of a field that encodes to 0 bits,
    // whichever polarity: only the picture's own pixels are lit.
    void smallerPictureCentred_data()
    {
        QTest::addColumn<bool>("negative");
        QTest::newRow("dark lit") << true;
        QTest::newRow("light lit") << false;
    }

    void smallerPictureCentred()
    {
        QFETCH(bool, negative);
        ImageConverter c;
        plainLayout(c, 124, 88);
        c.setNegative(negative);
        QVERIFY(c.load(save(filled(100, 40, negative ? Black : White))));
        const QByteArray s = c.bitmap();
        QCOMPARE(s.size(), 11 * 124);
        QCOMPARE(litPixels(s), 100 * 40);

        // x0 = 12, y0 = 24: rows 24-63 are pages 3 to 7, whole bytes.
        for (int p = 0; p < 11; ++p) {
            const bool inside = p >= 3 && p <= 7;
            QCOMPARE(uchar(s.at(p * 124 + 11)), uchar(0));
            QCOMPARE(uchar(s.at(p * 124 + 12)), uchar(inside ? 0xFF : 0));
            QCOMPARE(uchar(s.at(p * 124 + 111)), uchar(inside ? 0xFF : 0));
            QCOMPARE(uchar(s.at(p * 124 + 112)), uchar(0));
        }
    }

    // With two displays the top part starts on canvas row 1 and the bottom
    // part ends on the last row, each centred across.
    void splitPlacement_data()
    {
        QTest::addColumn<int>("sourceHeight");
        QTest::addColumn<int>("topFirst");
        QTest::addColumn<int>("topLast");
        QTest::addColumn<int>("bottomFirst");
        QTest::newRow("even") << 10 << 1 << 5 << 27;
        QTest::newRow("odd: larger top part") << 9 << 1 << 5 << 28;
        QTest::newRow("one row") << 1 << 1 << 1 << 32;
    }

    void splitPlacement()
    {
        QFETCH(int, sourceHeight);
        QFETCH(int, topFirst);
        QFETCH(int, topLast);
        QFETCH(int, bottomFirst);
        ImageConverter c;
        plainLayout(c, 20, 32);
        c.setSplit(true);
        c.setNegative(true);
        QVERIFY(c.load(save(filled(10, sourceHeight, Black))));
        const QImage placed = c.picture();
        QCOMPARE(placed.size(), QSize(20, 32));
        for (int y = 0; y < 32; ++y) {
            const bool lit = (y >= topFirst && y <= topLast) || y >= bottomFirst;
            QCOMPARE(placed.pixel(5, y), lit ? Black : White);
            QCOMPARE(placed.pixel(14, y), lit ? Black : White);
            QCOMPARE(placed.pixel(4, y), White);
            QCOMPARE(placed.pixel(15, y), White);
        }
    }

    void pageNumbers_data()
    {
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("reversed");
        QTest::addColumn<QByteArray>("expected"); // the prefixed byte of pages 0, 1, 2
        const QByteArray ab = QByteArray::fromHex("ABCD");
        QTest::newRow("no number") << ab << -1 << 255 << false << QByteArray::fromHex("ABABAB");
        QTest::newRow("index past prefix")
            << ab << 2 << 255 << false << QByteArray::fromHex("ABABAB");
        QTest::newRow("whole byte") << ab << 0 << 255 << false << QByteArray::fromHex("000102");
        QTest::newRow("whole byte reversed")
            << ab << 0 << 255 << true << QByteArray::fromHex("020100");
        QTest::newRow("low nibble") << ab << 0 << 0x0F << true << QByteArray::fromHex("A2A1A0");
        QTest::newRow("number not masked")
            << ab << 0 << 0x00 << false << QByteArray::fromHex("ABABAB");
        QTest::newRow("second byte") << ab << 1 << 0xF0 << false << QByteArray::fromHex("0D0D0F");
    }

    void pageNumbers()
    {
        QFETCH(QByteArray, prefix);
        QFETCH(int, index);
        QFETCH(int, mask);
        QFETCH(bool, reversed);
        QFETCH(QByteArray, expected);
        QList<QByteArray> pages;
        encodePages(filled(4, 24, White), true, false, reversed, prefix, index, mask, pages);
        QCOMPARE(pages.size(), 3);
        for (int p = 0; p < 3; ++p) {
            QCOMPARE(pages.at(p).size(), prefix.size() + 4);
            const int at = index >= 0 && index < prefix.size() ? index : 0;
            QCOMPARE(uchar(pages.at(p).at(at)), uchar(expected.at(p)));
            QCOMPARE(pages.at(p).mid(prefix.size()), QByteArray(4, char(0xFF)));
        }
    }

    void bitOrderAndRegion()
    {
        // Row k of a page is bit k, or bit 7 - k in big-endian order; the
        // region's own first row is row 0 of its first page.
        QImage picture = filled(3, 20, Black);
        picture.setPixel(1, 2 + 1, White); // region row 1
        picture.setPixel(2, 2 + 8, White); // region row 8: second page, row 0
        const QRect region(QPoint(1, 2), QPoint(2, 17));
        QList<QByteArray> little, big;
        encodePages(picture, false, false, false, QByteArray(), -1, 255, little, region);
        encodePages(picture, true, false, false, QByteArray(), -1, 255, big, region);
        QCOMPARE(little,
                 (QList<QByteArray>{QByteArray::fromHex("0200"), QByteArray::fromHex("0001")}));
        QCOMPARE(big,
                 (QList<QByteArray>{QByteArray::fromHex("4000"), QByteArray::fromHex("0080")}));
    }

    void pixelTest_data()
    {
        QTest::addColumn<QRgb>("colour");
        QTest::addColumn<bool>("light");
        QTest::newRow("grey 128") << qRgb(128, 128, 128) << true;
        QTest::newRow("grey 127") << qRgb(127, 127, 127) << false;
        // 11 * 255 + 16 * 80 + 5 * 0 = 4085, just dark; 81 green gives 4101.
        QTest::newRow("red with some green") << qRgb(255, 80, 0) << false;
        QTest::newRow("red with more green") << qRgb(255, 81, 0) << true;
        QTest::newRow("pure blue") << qRgb(0, 0, 255) << false;
        QTest::newRow("transparent white") << qRgba(255, 255, 255, 0) << true;
    }

    void pixelTest()
    {
        QFETCH(QRgb, colour);
        QFETCH(bool, light);
        QCOMPARE(isLightPixel(colour), light);
        QImage picture(1, 8, QImage::Format_ARGB32);
        picture.fill(colour);
        for (bool negative : {false, true}) {
            QList<QByteArray> pages;
            encodePages(picture, false, negative, false, QByteArray(), -1, 255, pages);
            QCOMPARE(uchar(pages.value(0).at(0)), uchar(light != negative ? 0xFF : 0x00));
        }
    }

    void shortCanvasGivesNothing_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("split");
        QTest::newRow("7 rows") << 7 << false;
        QTest::newRow("two halves of 7 rows") << 15 << true;
    }

    void shortCanvasGivesNothing()
    {
        QFETCH(int, height);
        QFETCH(bool, split);
        ImageConverter c;
        plainLayout(c, 8, height);
        c.setSplit(split);
        c.setPrefix(QByteArray::fromHex("B0"));
        QVERIFY(c.load(save(filled(8, height, White))));
        QVERIFY(c.isValid());
        QCOMPARE(c.bitmap(), QByteArray());
        QCOMPARE(ImageConverter().bitmap(), QByteArray());
    }

    // Mirroring entries are trimmed and lower-cased; anything else that is
    // not a half letter plus h or v is skipped.
    void partsEntries_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("actsAs"); // empty: no effect
        QTest::newRow("TV") << "TV"
                            << "tv";
        QTest::newRow("blanks") << "  bh\t"
                                << "bh";
        QTest::newRow("tx") << "tx"
                            << "";
        QTest::newRow("lhh") << "lhh"
                             << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("xh") << "xh"
                            << "";
    }

    void partsEntries()
    {
        QFETCH(QString, entry);
        QFETCH(QString, actsAs);
        QImage picture(6, 4, QImage::Format_RGB32);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x)
                picture.setPixel(x, y, qRgb(40 * x, 60 * y, 9));
        const QString path = save(picture);

        ImageConverter a, b;
        plainLayout(a, 6, 4);
        plainLayout(b, 6, 4);
        a.setParts({entry});
        b.setParts(actsAs.isEmpty() ? QStringList() : QStringList{actsAs});
        QVERIFY(a.load(path));
        QVERIFY(b.load(path));
        QCOMPARE(a.picture(), b.picture());
        if (!actsAs.isEmpty())
            QVERIFY(a.picture() != picture.convertToFormat(a.picture().format()));
    }

    // The halves of an odd-sized picture: l and t take the larger half, r
    // leaves the odd last column alone, b the rows below the larger top half.
    void mirrorRegions_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<QRect>("region");
        QTest::newRow("lh") << "lh" << QRect(QPoint(0, 0), QPoint(2, 2));
        QTest::newRow("lv") << "lv" << QRect(QPoint(0, 0), QPoint(2, 2));
        QTest::newRow("rh") << "rh" << QRect(QPoint(2, 0), QPoint(3, 2));
        QTest::newRow("rv") << "rv" << QRect(QPoint(2, 0), QPoint(3, 2));
        QTest::newRow("th") << "th" << QRect(QPoint(0, 0), QPoint(4, 1));
        QTest::newRow("tv") << "tv" << QRect(QPoint(0, 0), QPoint(4, 1));
        QTest::newRow("bh") << "bh" << QRect(QPoint(0, 2), QPoint(4, 2));
        QTest::newRow("bv") << "bv" << QRect(QPoint(0, 2), QPoint(4, 2));
    }

    void mirrorRegions()
    {
        QFETCH(QString, part);
        QFETCH(QRect, region);
        QImage picture(5, 3, QImage::Format_RGB32);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                picture.setPixel(x, y, qRgb(50 * x, 100 * y, 3));
        ImageConverter c;
        plainLayout(c, 5, 3);
        c.setParts({part});
        QVERIFY(c.load(save(picture)));
        const QImage out = c.picture();
        const bool horizontal = part.endsWith('h');
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                QPoint from(x, y);
                if (region.contains(x, y)) {
                    if (horizontal)
                        from.setX(region.left() + region.right() - x);
                    else
                        from.setY(region.top() + region.bottom() - y);
                }
                QCOMPARE(
                    qRgb(qRed(out.pixel(x, y)), qGreen(out.pixel(x, y)), qBlue(out.pixel(x, y))),
                    picture.pixel(from));
            }
        }
    }

    void mirrorPaintsOverWhite()
    {
        QImage picture(4, 2, QImage::Format_ARGB32);
        picture.fill(Qt::transparent);
        ImageConverter c;
        plainLayout(c, 4, 2);
        c.setParts({"lh"});
        QVERIFY(c.load(save(picture)));
        QCOMPARE(c.picture().pixel(0, 0), White);
        QCOMPARE(c.picture().pixel(1, 1), White);
        QCOMPARE(qAlpha(c.picture().pixel(2, 0)), 0);
    }

    void rotations_data()
    {
        QTest::addColumn<QStringList>("rotation");
        QTest::addColumn<QStringList>("sameAs");
        QTest::newRow("abc is 0") << QStringList{"abc"} << QStringList{};
        QTest::newRow("abc then 90") << QStringList{"abc", "90"} << QStringList{"90"};
        QTest::newRow("-270 is 90") << QStringList{"-270"} << QStringList{"90"};
        QTest::newRow("90 and 270 cancel") << QStringList{"90", "270"} << QStringList{};
        QTest::newRow("180 twice") << QStringList{"180", "180"} << QStringList{};
        QTest::newRow("decimal") << QStringList{"90.0"} << QStringList{"90"};
        QTest::newRow("nan and inf are 0") << QStringList{"nan", "-inf"} << QStringList{};
    }

    void rotations()
    {
        QFETCH(QStringList, rotation);
        QFETCH(QStringList, sameAs);
        QImage picture = filled(12, 6, White);
        picture.setPixel(0, 0, Black);
        picture.setPixel(11, 5, qRgb(200, 10, 10));
        const QString path = save(picture);
        ImageConverter a, b;
        for (ImageConverter *c : {&a, &b})
            plainLayout(*c, 12, 12);
        a.setRotation(rotation);
        b.setRotation(sameAs);
        QVERIFY(a.load(path));
        QVERIFY(b.load(path));
        QCOMPARE(a.picture(), b.picture());
    }

    // Palette, 1-bit and 16-bit pictures are mirrored and centred like any other.
    void paletteAndMonoPictures_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("1-bit") << int(QImage::Format_Mono);
        QTest::newRow("palette") << int(QImage::Format_Indexed8);
        QTest::newRow("grey") << int(QImage::Format_Grayscale8);
        QTest::newRow("16-bit grey") << int(QImage::Format_Grayscale16);
        QTest::newRow("16-bit colour") << int(QImage::Format_RGBA64);
    }

    void paletteAndMonoPictures()
    {
        QFETCH(int, format);
        QImage picture = filled(20, 10, White);
        QPainter painter(&picture);
        painter.fillRect(QRect(0, 0, 10, 10), Qt::black);
        painter.end();
        const QString path = save(picture.convertToFormat(QImage::Format(format)));
        ImageConverter c;
        c.applyDisplayProfile(0);
        c.setParts({"lh", "tv"});
        QVERIFY(c.load(path));
        const QByteArray s = c.bitmap();
        QCOMPARE(s.size(), 1419);
        QCOMPARE(litPixels(s, 129, 5), 10 * 10);
    }

    void unreadableFiles()
    {
        ImageConverter c;
        c.applyDisplayProfile(0);
        QVERIFY(c.load(save(filled(10, 10, Black))));
        QVERIFY(!c.load(m_dir.filePath("missing.png")));
        QVERIFY(!c.isValid());
        QCOMPARE(c.name(), QString());

        QFile junk(m_dir.filePath("junk.png"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("\x89PNG\r\n\x1a\nnot really");
        junk.close();
        QVERIFY(!c.load(junk.fileName()));
        QVERIFY(!c.load(m_dir.path()));
        QVERIFY(!c.isValid());

        // Refused unopened: the open of a FIFO would block, a device would never end.
        const QString fifo = m_dir.filePath("pipe.png");
        QVERIFY(makeFifo(fifo));
        QVERIFY(QFile::link(fifo, m_dir.filePath("link to pipe.png")));
        for (const QString &path :
             {fifo, m_dir.filePath("link to pipe.png"), QStringLiteral("/dev/zero")}) {
            Watchdog watchdog(path);
            QVERIFY(!c.load(path));
        }
        QCOMPARE(c.name(), QString());
    }

    // A picture declaring more than 16 megapixels is refused from its header,
    // even where the canvas would take it: a small compressed file must not make
    // the decoder allocate without bound.
    void declaredSizeLimit_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("16 megapixels") << QSize(4096, 4096) << true;
        QTest::newRow("one row more") << QSize(4096, 4097) << false;
    }

    void declaredSizeLimit()
    {
        QFETCH(QSize, size);
        QFETCH(bool, accepted);
        QImage picture(size, QImage::Format_Mono);
        picture.fill(1);
        ImageConverter c;
        plainLayout(c, 5000, 5000);
        QCOMPARE(c.load(save(picture)), accepted);
        QCOMPARE(c.isValid(), accepted);
    }

    void profileDropsPicture()
    {
        ImageConverter c;
        c.applyDisplayProfile(1);
        QVERIFY(c.load(save(filled(20, 20, Black))));
        QVERIFY(!c.name().isEmpty());
        c.applyDisplayProfile(0);
        QVERIFY(!c.isValid());
        QCOMPARE(c.name(), QString());
        QCOMPARE(c.rotation(), QStringList());
        QCOMPARE(c.parts(), QStringList());
        QVERIFY(!c.split());
        QCOMPARE(c.prefixMask(), 0xFF);
    }

    // What the display will show, decoded from the stream, is the prepared
    // picture reduced to black and white; written out as a preview.
    void previewRoundTrip_data()
    {
        QTest::addColumn<int>("disp");
        QTest::addColumn<QSize>("size");
        QTest::newRow("single display") << 0 << QSize(110, 80);
        QTest::newRow("double display") << 1 << QSize(120, 171);
    }

    void previewRoundTrip()
    {
        QFETCH(int, disp);
        QFETCH(QSize, size);
        QImage picture(size, QImage::Format_ARGB32);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        QLinearGradient gradient(0, 0, size.width(), size.height());
        gradient.setColorAt(0, Qt::black);
        gradient.setColorAt(1, Qt::yellow);
        painter.fillRect(QRect(QPoint(0, 0), size / 2), gradient);
        painter.setPen(QPen(Qt::black, 3));
        painter.drawEllipse(QRect(QPoint(5, 5), size - QSize(10, 10)));
        painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, "KX4");
        painter.end();

        ImageConverter c;
        c.applyDisplayProfile(disp);
        QVERIFY(c.load(save(picture)));
        QString error;
        const QImage shown = SplashPreview::decode(c.bitmap(), c, &error);
        QVERIFY2(!shown.isNull(), qPrintable(error));
        QCOMPARE(shown, SplashPreview::threshold(c.picture()));

        const QString outDir = qEnvironmentVariable("KX4_TEST_OUTPUT");
        if (!outDir.isEmpty())
            shown.save(QDir(outDir).filePath(QStringLiteral("splash-preview-%1.png").arg(disp)));
    }

    void previewRejectsForeignStreams()
    {
        ImageConverter c;
        c.applyDisplayProfile(0);
        QVERIFY(c.load(save(filled(124, 88, Black))));
        const QByteArray s = c.bitmap();
        QString error;
        QVERIFY(SplashPreview::decode(s.left(s.size() - 1), c, &error).isNull());
        QVERIFY(!error.isEmpty());
        QVERIFY(SplashPreview::decode(s.left(129 * 10), c).isNull());
        QByteArray wrongNumber = s;
        wrongNumber[1] = char(11);
        QVERIFY(SplashPreview::decode(wrongNumber, c).isNull());
    }
};

QTEST_MAIN(TestImageConverter)
#include "tst_imageconverter.moc"
