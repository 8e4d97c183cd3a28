// The splash picture upload from 0x0400 and the two restart commands.

#include "runner/CFGRunner.h"

bool CFGRunner::canUploadSplash()
{
    return false;
}

QString CFGRunner::splashInfo()
{
    return QString();
}

bool CFGRunner::loadSplash(QString file)
{
    Q_UNUSED(file)
    return false;
}

void CFGRunner::clearSplash() {}

void CFGRunner::uploadSplash() {}

void CFGRunner::toDFU() {}

void CFGRunner::mcuReset() {}

void CFGRunner::requestReboot() {}

void CFGRunner::lauchDFUUtil() {}

void CFGRunner::applyDisplayProfile() {}

void CFGRunner::continueSplashUpload(int address)
{
    Q_UNUSED(address)
}

void CFGRunner::sendRestart(QByteArray command)
{
    Q_UNUSED(command)
}
