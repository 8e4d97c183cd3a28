// The splash picture as the picture page sees it: loading a file into the converter for
// the connected display. The upload is in SplashOperation.cpp.

#include "runner/CFGRunner.h"

#include <QUrl>

namespace {

// "400 × 300"
QString sizeText(const QSize &size)
{
    return QStringLiteral("%1 %2 %3").arg(size.width()).arg(QChar(0x00D7)).arg(size.height());
}

} // namespace

void CFGRunner::applyDisplayProfile()
{
    converter.applyDisplayProfile(devInfo.value(QStringLiteral("disp")).toInt());
}

bool CFGRunner::canUploadSplash()
{
    return converter.isValid();
}

QString CFGRunner::splashInfo()
{
    if (!converter.isValid())
        return tr("No image");
    return converter.name() + QLatin1Char('\n') +
           QStringLiteral("%1x%2").arg(converter.width()).arg(converter.height());
}

QSize CFGRunner::splashSize()
{
    // A converter of its own: applying the profile drops the picture.
    ImageConverter profile;
    profile.applyDisplayProfile(devInfo.value(QStringLiteral("disp")).toInt());
    return profile.pictureLimit();
}

bool CFGRunner::loadSplash(QString file)
{
    applyDisplayProfile();
    const QString path = localFile(file);
    const bool ok = converter.load(path);
    if (!ok) {
        QString text = tr("Cannot load %1").arg(file);
        const QSize refused = converter.refusedSize();
        if (refused.isValid()) {
            const QSize limit = converter.pictureLimit();
            text += QLatin1Char('\n') + tr("%1 is larger than the display's %2")
                                            .arg(sizeText(refused), sizeText(limit));
        }
        emit alert(text);
    }
    emit splashLoaded(ok);
    return ok;
}

void CFGRunner::clearSplash()
{
    converter.clear();
}
