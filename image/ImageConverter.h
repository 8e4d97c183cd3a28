#pragma once

// Turns a picture file into the byte stream the dashboard's monochrome display
// takes as its splash screen: rotation, half-mirroring and centring on a fixed
// canvas at load time, then 8-row pages packed column by column at bitmap().
// CFGRunner owns one, applies the display profile of the connected dashboard
// and uploads the result; the converter itself knows nothing of the link.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QTransform>
#include <QString>
#include <QStringList>

class ImageConverter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool valid READ isValid)
    Q_PROPERTY(bool bigEndian READ bigEndian WRITE setBigEndian)
    Q_PROPERTY(bool negative READ negative WRITE setNegative)
    Q_PROPERTY(bool reversed READ reversed WRITE setReversed)
    Q_PROPERTY(bool split READ split WRITE setSplit)
    Q_PROPERTY(QByteArray prefix READ prefix WRITE setPrefix)
    Q_PROPERTY(int prefixIndex READ prefixIndex WRITE setPrefixIndex)
    Q_PROPERTY(int prefixMask READ prefixMask WRITE setPrefixMask)
    Q_PROPERTY(int width READ width WRITE setWidth)
    Q_PROPERTY(int height READ height WRITE setHeight)
    Q_PROPERTY(QStringList rotation READ rotation WRITE setRotation)
    Q_PROPERTY(QStringList parts READ parts WRITE setParts)
    Q_PROPERTY(QString name READ name)

public:
    // Pictures declaring more pixels than this are refused before decoding:
    // every canvas is far smaller, and a tiny compressed file can otherwise
    // make the decoder allocate gigabytes.
    static constexpr qint64 MaxSourcePixels = 16LL * 1024 * 1024;

    explicit ImageConverter(QObject *parent = nullptr);

    bool isValid() const { return !m_picture.isNull(); }
    bool bigEndian() const { return m_bigEndian; }
    bool negative() const { return m_negative; }
    bool reversed() const { return m_reversed; }
    bool split() const { return m_split; }
    QByteArray prefix() const { return m_prefix; }
    int prefixIndex() const { return m_prefixIndex; }
    int prefixMask() const { return m_prefixMask; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    QStringList rotation() const { return m_rotation; }
    QStringList parts() const { return m_parts; }
    QString name() const { return m_name; }
    // The largest picture load() takes, as the file is (before turning): the canvas
    // turned back, so 128x173 for the double display's 173x128 canvas.
    QSize pictureLimit() const;
    // The size of the last picture refused for not fitting (before turning); invalid
    // when the last load() did not fail for that.
    QSize refusedSize() const { return m_refusedSize; }
    // The prepared picture (null when nothing is loaded).
    QImage picture() const { return m_picture; }

    void setBigEndian(bool value) { m_bigEndian = value; }
    void setNegative(bool value) { m_negative = value; }
    void setReversed(bool value) { m_reversed = value; }
    void setSplit(bool value) { m_split = value; }
    void setPrefix(const QByteArray &value) { m_prefix = value; }
    void setPrefixIndex(int value) { m_prefixIndex = value; }
    void setPrefixMask(int value) { m_prefixMask = value; }
    void setWidth(int value) { m_width = value; }
    void setHeight(int value) { m_height = value; }
    void setRotation(const QStringList &value) { m_rotation = value; }
    void setParts(const QStringList &value) { m_parts = value; }

    // Sets every field for a display type: 1 is the double display (two
    // 173x64 halves fed from a picture turned by 270 degrees), anything else
    // the single 124x88 display (114x80 in the update-checking edition). Drops
    // the current picture first.
    void applyDisplayProfile(int disp);

    // Drops the picture and forgets its name.
    void clear();

    // Reads and prepares a picture from a local path. False when the file
    // cannot be read, declares an absurd size, or does not fit the canvas;
    // the converter then holds no picture.
    bool load(const QString &fileName);

    // The prepared picture as the display's page stream, prefixes included.
    QByteArray bitmap() const;

private:
    QTransform turn() const;
    void mirrorHalves();
    void placeOnCanvas();

    bool m_bigEndian = false;
    bool m_negative = false;
    bool m_reversed = false;
    bool m_split = false;
    QByteArray m_prefix;
    int m_prefixIndex = -1;
    int m_prefixMask = 255;
    int m_width = 0;
    int m_height = 0;
    QStringList m_rotation;
    QStringList m_parts;
    QImage m_picture;
    QString m_name;
    QSize m_refusedSize;
};

// A pixel is light when its weighted grey value (11R + 16G + 5B) / 32 is at
// least 128; alpha is ignored.
inline bool isLightPixel(QRgb pixel)
{
    return 11 * qRed(pixel) + 16 * qGreen(pixel) + 5 * qBlue(pixel) > 4095;
}

// Appends one byte array per 8-row display page of `region` (inclusive first
// and last column/row; a null QRect means the whole picture) to `pageList`.
// Each page is `prefix` followed by one byte per column; the byte at
// `prefixIndex`, when it lies inside the prefix, gets the page number in the
// bits cleared by `prefixMask`. Rows below the last whole page are ignored.
void encodePages(const QImage &picture, bool bigEndian, bool negative, bool reversed,
                 const QByteArray &prefix, int prefixIndex, int prefixMask,
                 QList<QByteArray> &pageList, const QRect &region = QRect());
