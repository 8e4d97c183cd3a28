// The splash picture upload from 0x0400 and the two restart commands.
//
// The picture goes up as 6-byte block writes, one outstanding at a time; each next address
// comes from the dashboard's acknowledgement. A 2773-byte stream takes 463 writes:
// 00 C4 <6 bytes>, 06 C4 <6 bytes>, ..., D4 CE <last byte> FF FF FF FF FF.

#include "runner/CFGRunner.h"

#include "config/DashboardMemory.h"
#include "runner/DashboardProtocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace {

using DashboardMemory::SplashAddress;
// The stream must end at or below 0x3FFF, the top of the 14-bit address space.
using DashboardMemory::SplashCapacity;

// Names the firmware-update utility may have beside the program, best match first.
QStringList updateUtilityNames()
{
    QStringList names;
#ifndef Q_OS_WIN
    names << QStringLiteral("lumaflo");
#endif
    names << QStringLiteral("lumaflo.exe");
    return names;
}

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
    const QString path = QUrl(file, QUrl::TolerantMode).toLocalFile();
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

void CFGRunner::uploadSplash()
{
    if (!link->isOpen())
        return;
    if (state != Idle) {
        emit alert(tr("Another operation is in progress"));
        return;
    }
    const QByteArray stream = converter.isValid() ? converter.bitmap() : QByteArray();
    if (stream.isEmpty() || stream.size() > SplashCapacity) {
        emit alert(tr("Splash is not ready"));
        return;
    }
    splashImage = stream;
    qCInfo(lcRunner) << "uploading splash" << converter.name() << splashImage.size() << "bytes";
    setState(Uploading);
    emit progress(0);
    writeBlock(DashboardProtocol::chunk(splashImage, 0), SplashAddress);
}

void CFGRunner::continueSplashUpload(int address)
{
    const int size = splashImage.size();
    if (size == 0) {
        setState(Idle);
        return;
    }
    emit progress(double(quint16(address - SplashAddress)) / size);
    const int next = DashboardProtocol::nextOffset(address, SplashAddress);
    if (next < size)
        writeBlock(DashboardProtocol::chunk(splashImage, next), SplashAddress + next);
    else
        setState(Idle);
}

void CFGRunner::toDFU()
{
    sendRestart(DashboardProtocol::restartRequest(true),
                tr("The dashboard is restarting in firmware-update mode"));
}

void CFGRunner::mcuReset()
{
    sendRestart(DashboardProtocol::restartRequest(false),
                tr("The dashboard is restarting: connect again once it is up"));
}

void CFGRunner::requestReboot()
{
    if (!link->isOpen() || state != Idle)
        return;
    setState(Writing);
    // Unlike toDFU, the command stays in lastMessage and is repeated while unanswered.
    sendMessage(DashboardProtocol::restartRequest(true));
}

void CFGRunner::sendRestart(QByteArray command, const QString &notice)
{
    if (!link->isOpen()) {
        emit alert(tr("Cannot reboot - not connected"));
        return;
    }
    if (state != Idle)
        return;
    setState(Rebooting);
    restartNotice = notice;
    sendMessage(command);
    // The dashboard restarts instead of answering: the missing reply ends the session
    // rather than sending the restart again.
    lastMessage.clear();
}

void CFGRunner::lauchDFUUtil()
{
    const QDir dir(QCoreApplication::applicationDirPath());
    const QFileInfoList files = dir.entryInfoList(QDir::Files);
    for (const QString &name : updateUtilityNames()) {
        for (const QFileInfo &file : files) {
            if (file.fileName().compare(name, Qt::CaseInsensitive) != 0)
                continue;
            qCInfo(lcRunner) << "starting" << file.absoluteFilePath();
            if (!QProcess::startDetached(file.absoluteFilePath(), QStringList()))
                qCWarning(lcRunner) << "could not start" << file.absoluteFilePath();
            return;
        }
    }
    emit alert(tr("Update utility executable not found"));
}
