#include "app/QDropTextHandler.h"

#include <QFile>
#include <QFileInfo>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <QStringDecoder>
#include <QStringEncoder>
#else
#include <QTextCodec>
#endif
#include <QUrl>
#include <QtQml>

namespace {

QUrl parseDropped(const QString &text)
{
    return QUrl(text.trimmed(), QUrl::TolerantMode);
}

// The regular file a dropped text names, or an empty path. Nothing else is opened: a
// FIFO blocks the open until a writer comes, and a device such as /dev/zero never ends.
QString droppedFile(const QString &text)
{
    const QUrl url = parseDropped(text);
    if (!url.isValid() || !url.isLocalFile())
        return QString();
    const QString path = url.toLocalFile();
    return QFileInfo(path).isFile() ? path : QString();
}

} // namespace

QDropTextHandler::QDropTextHandler(QObject *parent) : QObject(parent) {}

QByteArray QDropTextHandler::processInput(const QString &text) const
{
    const QString path = droppedFile(text);
    if (!path.isEmpty()) {
        QFile file(path);
        if (file.size() > MaxFileSize)
            return QByteArray();
        if (file.open(QIODevice::ReadOnly)) {
            // Bounded even where the size told is not the size read (a file still
            // growing, or one of the kernel's files that report no size).
            QByteArray bytes;
            const qint64 chunk = 64 * 1024;
            while (bytes.size() <= MaxFileSize) {
                const QByteArray part = file.read(qMin(chunk, MaxFileSize + 1 - bytes.size()));
                if (part.isEmpty())
                    break;
                bytes += part;
            }
            return bytes.size() > MaxFileSize ? QByteArray() : bytes;
        }
    }
    return text.toUtf8();
}

QString QDropTextHandler::fileInfo(const QString &text) const
{
    const QUrl url = parseDropped(text);
    if (url.isValid())
        return url.isLocalFile() ? url.toLocalFile() : url.toString();
    const int teaser = 16;
    return text.size() > teaser ? text.left(teaser) + QStringLiteral("...") : text;
}

QString QDropTextHandler::repr(const QByteArray &data, const QString &codec) const
{
    // Text when the bytes survive decoding and encoding again with the codec named.
    const QByteArray name = codec.toUtf8();
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 knows the codecs by QStringConverter's names (and ICU's, where Qt has it).
    QStringDecoder decoder(name.constData());
    QStringEncoder encoder(name.constData());
    if (decoder.isValid() && encoder.isValid()) {
        const QString text = decoder.decode(data);
        if (QByteArray(encoder.encode(text)) == data)
            return text;
    }
#else
    if (QTextCodec *textCodec = QTextCodec::codecForName(name)) {
        const QString text = textCodec->toUnicode(data);
        if (textCodec->fromUnicode(text) == data)
            return text;
    }
#endif
    return tr("Binary content: %1...").arg(QString::fromLatin1(data.left(4).toHex().toUpper()));
}

QString QDropTextHandler::refusal(const QString &text) const
{
    const QString path = droppedFile(text);
    if (path.isEmpty() || QFileInfo(path).size() <= MaxFileSize)
        return QString();
    return tr("File is larger than %1 MiB").arg(MaxFileSize / (1024 * 1024));
}

void registerDropHandler(QQmlApplicationEngine *engine)
{
    // Lives until process exit; QML only ever sees this one instance.
    static QDropTextHandler handler;
    qmlRegisterUncreatableType<QDropTextHandler>(
        "DropTextHandler", 1, 0, "DropTextHandler",
        QStringLiteral("DropTextHandler is a singleton - use the static member q_dropHandler"));
    if (engine)
        engine->rootContext()->setContextProperty(QStringLiteral("q_dropHandler"), &handler);
}
