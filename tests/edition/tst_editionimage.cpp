// The update-checking edition's display profile 0: a 114 x 80 canvas cut into 10 pages of
// 9 + 114 bytes, each headed 84 B1 nn 13 21 39 97 AF 1D with the page number at index 2.
// Profile 1 is the same as in the current edition.

#include "image/ImageConverter.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

class tst_EditionImage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void profileZeroPages();
    void profileZeroCanvas_data();
    void profileZeroCanvas();
    void profileOneUnchanged();

private:
    QString picture(int w, int h, const QString &name);
    QTemporaryDir dir;
};

// White, with a black top row: the only 1 bits are in the page of rows 0-7.
QString tst_EditionImage::picture(int w, int h, const QString &name)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int x = 0; x < w; ++x)
        image.setPixel(x, 0, qRgb(0, 0, 0));
    const QString path = dir.filePath(name);
    image.save(path);
    return path;
}

void tst_EditionImage::profileZeroPages()
{
    ImageConverter converter;
    converter.applyDisplayProfile(0);
    QVERIFY(converter.load(picture(114, 80, "full.png")));
    const QByteArray stream = converter.bitmap();
    QCOMPARE(stream.size(), 10 * 123);

    // The stream starts with the bottom page, number 0, and ends with the top one, 9.
    for (int i = 0; i < 10; ++i) {
        const QByteArray page = stream.mid(123 * i, 123);
        QByteArray prefix = QByteArray::fromHex("84B10013213997AF1D");
        prefix[2] = char(i);
        QCOMPARE(page.left(9).toHex(' '), prefix.toHex(' '));
        // Black is 1 with this display's negative pixels; the top row is bit 7.
        const char columns = i == 9 ? '\x80' : '\x00';
        QCOMPARE(page.mid(9), QByteArray(114, columns));
    }
}

void tst_EditionImage::profileZeroCanvas_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("fits");
    QTest::newRow("one column too wide") << 115 << 80 << false;
    QTest::newRow("one row too high") << 114 << 81 << false;
    QTest::newRow("the current edition's 124 x 88") << 124 << 88 << false;
    QTest::newRow("smaller, centred") << 100 << 40 << true;
}

void tst_EditionImage::profileZeroCanvas()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, fits);
    ImageConverter converter;
    converter.applyDisplayProfile(0);
    QCOMPARE(
        converter.load(picture(width, height, QStringLiteral("p%1x%2.png").arg(width).arg(height))),
        fits);
    if (!fits)
        return;
    const QByteArray stream = converter.bitmap();
    QCOMPARE(stream.size(), 1230);
    // Placed at column 7 and row 20: the black row is row 4 of the page of rows 16-23
    // (page number 7 from the bottom), bit 7 - 4.
    const QByteArray page = stream.mid(123 * 7, 123);
    QCOMPARE(quint8(page.at(2)), quint8(7));
    QCOMPARE(page.mid(9, 7), QByteArray(7, '\0'));
    QCOMPARE(page.mid(9 + 7, 100), QByteArray(100, '\x08'));
    QCOMPARE(page.mid(9 + 107), QByteArray(7, '\0'));
}

void tst_EditionImage::profileOneUnchanged()
{
    ImageConverter converter;
    converter.applyDisplayProfile(1);
    QVERIFY(converter.load(picture(128, 173, "double.png")));
    const QByteArray stream = converter.bitmap();
    QCOMPARE(stream.size(), 16 * 176);
    QCOMPARE(stream.left(3).toHex(), QByteArray("b71109"));
}

QTEST_GUILESS_MAIN(tst_EditionImage)
#include "tst_editionimage.moc"
