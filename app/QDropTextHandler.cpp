#include "app/QDropTextHandler.h"

#include <QFile>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QTextCodec>
#include <QUrl>
#include <QtQml>

namespace {

QUrl parseDropped(const QString &text)
{
    return QUrl(text.trimmed(), QUrl::TolerantMode);
}

} // namespace

QDropTextHandler::QDropTextHandler(QObject *parent) : QObject(parent) {}

QByteArray QDropTextHandler::processInput(const QString &text) const
{
    const QUrl url = parseDropped(text);
    if (url.isValid() && url.isLocalFile()) {
        QFile file(url.toLocalFile());
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
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
    if (QTextCodec *textCodec = QTextCodec::codecForName(codec.toUtf8())) {
        const QString text = textCodec->toUnicode(data);
        if (textCodec->fromUnicode(text) == data)
            return text;
    }
    return tr("Binary content: %1...").arg(QString::fromLatin1(data.left(4).toHex().toUpper()));
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
