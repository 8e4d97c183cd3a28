#include "image/ImageConverter.h"

#include "edition/Edition.h"

#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>
#include <QPainter>
#include <QTransform>
#include <QtMath>

Q_LOGGING_CATEGORY(lcImage, "kx4.image")

ImageConverter::ImageConverter(QObject *parent) : QObject(parent) {}

void ImageConverter::applyDisplayProfile(int disp)
{
    clear();
    m_bigEndian = true;
    m_negative = true;
    m_reversed = true;
    if (disp == 1) {
        // Two 173x64 displays stacked; the controller's page address command
        // B0 | page in the low nibble, then column address 0x11 0x09.
        m_split = true;
        m_prefix = QByteArray::fromHex("B01109");
        m_prefixIndex = 0;
        m_prefixMask = 0x0F;
        m_width = 173;
        m_height = 128;
        m_rotation = QStringList{QStringLiteral("270")};
        m_parts = QStringList{QStringLiteral("tv"), QStringLiteral("bh")};
    } else {
        // One display. 124x88: page address B1 nn, then 13 1C 1D. The update-checking
        // edition's earlier one, 114x80: 84, page address B1 nn, then 13 21 39 97 AF 1D.
        const bool earlier = Edition::UpdateChecking;
        m_split = false;
        m_prefix = QByteArray::fromHex(earlier ? "84B10013213997AF1D" : "B100131C1D");
        m_prefixIndex = earlier ? 2 : 1;
        m_prefixMask = 0xFF;
        m_width = earlier ? 114 : 124;
        m_height = earlier ? 80 : 88;
        m_rotation.clear();
        m_parts.clear();
    }
}

void ImageConverter::clear()
{
    m_picture = QImage();
    m_name.clear();
    m_refusedSize = QSize();
}

QTransform ImageConverter::turn() const
{
    QTransform turn;
    for (const QString &entry : qAsConst(m_rotation)) {
        bool ok = false;
        const double degrees = entry.toDouble(&ok);
        // "nan" and "inf" parse, but would turn the picture into nothing.
        turn.rotate(ok && qIsFinite(degrees) ? degrees : 0.0);
    }
    return turn;
}

QSize ImageConverter::pictureLimit() const
{
    const QRectF canvas(0, 0, m_width, m_height);
    return turn().inverted().mapRect(canvas).size().toSize();
}

bool ImageConverter::load(const QString &fileName)
{
    clear();

    // Only a regular file is read: opening a FIFO blocks until a writer comes, and a
    // device such as /dev/zero never ends.
    if (!QFileInfo(fileName).isFile()) {
        qCDebug(lcImage) << "cannot read" << fileName << "- not a regular file";
        return false;
    }
    QImageReader reader(fileName);
    const QSize declared = reader.size();
    if (declared.isValid() && qint64(declared.width()) * declared.height() > MaxSourcePixels) {
        qCWarning(lcImage) << "refusing" << fileName << "declaring" << declared << "pixels";
        return false;
    }
    QImage picture = reader.read();
    if (picture.isNull()) {
        qCDebug(lcImage) << "cannot read" << fileName << reader.errorString();
        return false;
    }
    // Painting (mirroring, canvas) does not work on palette or 1-bit images.
    switch (picture.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        picture = picture.convertToFormat(QImage::Format_ARGB32);
        break;
    default:
        break;
    }
    m_picture = picture;

    const QTransform turning = turn();
    if (!turning.isIdentity()) {
        m_picture = m_picture.transformed(turning, Qt::SmoothTransformation);
        if (m_picture.isNull())
            return false;
    }

    mirrorHalves();

    if (m_picture.width() > m_width || m_picture.height() > m_height) {
        // A picture that does not fit is never offered for upload: its stream
        // would run past the splash area into other dashboard memory.
        qCDebug(lcImage) << fileName << "is" << m_picture.size() << "canvas is" << m_width << "x"
                         << m_height;
        m_refusedSize = picture.size();
        m_picture = QImage();
        return false;
    }
    placeOnCanvas();

    m_name = QFileInfo(fileName).fileName();
    return true;
}

void ImageConverter::mirrorHalves()
{
    for (const QString &entry : qAsConst(m_parts)) {
        const QString op = entry.trimmed().toLower();
        if (op.size() != 2)
            continue;
        const QChar half = op.at(0);
        const QChar axis = op.at(1);
        if (axis != QLatin1Char('h') && axis != QLatin1Char('v'))
            continue;

        const int w = m_picture.width();
        const int h = m_picture.height();
        QRect area;
        if (half == QLatin1Char('l'))
            area = QRect(QPoint(0, 0), QPoint((w + 1) / 2 - 1, h - 1));
        else if (half == QLatin1Char('r'))
            area = QRect(QPoint(w / 2, 0), QPoint(2 * (w / 2) - 1, h - 1));
        else if (half == QLatin1Char('t'))
            area = QRect(QPoint(0, 0), QPoint(w - 1, (h + 1) / 2 - 1));
        else if (half == QLatin1Char('b'))
            area = QRect(QPoint(0, (h + 1) / 2), QPoint(w - 1, h - 1));
        else
            continue;
        if (area.isEmpty())
            continue;

        const bool horizontal = axis == QLatin1Char('h');
        const QImage mirrored = m_picture.copy(area).mirrored(horizontal, !horizontal);
        QPainter painter(&m_picture);
        painter.fillRect(area, Qt::white);
        painter.drawImage(area, mirrored);
    }
}

void ImageConverter::placeOnCanvas()
{
    const int sw = m_picture.width();
    const int sh = m_picture.height();
    if (sw >= m_width && sh >= m_height)
        return;

    const QImage source = m_picture;
    // The field around a smaller picture must encode to 0 bits.
    QImage canvas(m_width, m_height, source.format());
    canvas.fill(m_negative ? Qt::white : Qt::black);

    const int x0 = (m_width - sw) / 2;
    QPainter painter(&canvas);
    if (!m_split) {
        painter.drawImage(QPoint(x0, (m_height - sh) / 2), source);
    } else {
        // Each half goes to its own display: the top part starts one row
        // below the canvas top, the bottom part ends on the last row.
        const int topRows = (sh + 1) / 2;
        painter.drawImage(QPoint(x0, 1), source, QRect(0, 0, sw, topRows));
        painter.drawImage(QPoint(x0, m_height - sh / 2), source, QRect(0, topRows, sw, sh / 2));
    }
    painter.end();
    m_picture = canvas;
}

QByteArray ImageConverter::bitmap() const
{
    QByteArray stream;
    if (m_picture.isNull() || m_picture.width() == 0 || m_picture.height() == 0)
        return stream;

    const int w = m_picture.width();
    const int h = m_picture.height();
    if (!m_split) {
        QList<QByteArray> pages;
        encodePages(m_picture, m_bigEndian, m_negative, m_reversed, m_prefix, m_prefixIndex,
                    m_prefixMask, pages);
        for (int i = 0; i < pages.size(); ++i)
            stream += pages.at(m_reversed ? pages.size() - 1 - i : i);
        return stream;
    }

    // Two stacked displays, each numbered from its own first page; the
    // bottom display's page goes before the top display's page of the same
    // index.
    QList<QByteArray> top;
    QList<QByteArray> bottom;
    encodePages(m_picture, m_bigEndian, m_negative, m_reversed, m_prefix, m_prefixIndex,
                m_prefixMask, top, QRect(QPoint(0, 0), QPoint(w - 1, h / 2 - 1)));
    encodePages(m_picture, m_bigEndian, m_negative, m_reversed, m_prefix, m_prefixIndex,
                m_prefixMask, bottom, QRect(QPoint(0, h / 2), QPoint(w - 1, 2 * (h / 2) - 1)));
    for (int i = 0; i < top.size(); ++i) {
        stream += bottom.at(i);
        stream += top.at(i);
    }
    return stream;
}

void encodePages(const QImage &picture, bool bigEndian, bool negative, bool reversed,
                 const QByteArray &prefix, int prefixIndex, int prefixMask,
                 QList<QByteArray> &pageList, const QRect &region)
{
    if (picture.isNull())
        return;
    QRect area = region.isNull() ? picture.rect() : region;
    if (area.isEmpty())
        return;
    // Never read outside the picture, whatever the caller asks for.
    area = area.intersected(picture.rect());
    if (area.isEmpty())
        return;

    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const int rw = area.width();
    const int pageCount = area.height() / 8;
    const int prefixLength = prefix.size();
    const bool numbered = prefixIndex >= 0 && prefixIndex < prefixLength;

    QByteArray page = prefix;
    page.resize(prefixLength + rw);
    for (int p = 0; p < pageCount; ++p) {
        const QRgb *rows[8];
        for (int k = 0; k < 8; ++k)
            rows[k] = reinterpret_cast<const QRgb *>(rgb.constScanLine(area.y() + 8 * p + k));
        for (int x = 0; x < rw; ++x) {
            uchar byte = 0;
            for (int k = 0; k < 8; ++k) {
                if (isLightPixel(rows[k][area.x() + x]) != negative)
                    byte |= uchar(1u << (bigEndian ? 7 - k : k));
            }
            page[prefixLength + x] = char(byte);
        }
        if (numbered) {
            const int number = reversed ? pageCount - 1 - p : p;
            page[prefixIndex] = char((uchar(prefix.at(prefixIndex)) & ~prefixMask) | number);
        }
        pageList.append(page);
    }
}
