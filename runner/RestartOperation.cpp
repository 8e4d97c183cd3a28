// Restarting the dashboard (01 11) or restarting it into its firmware-update mode (01 10),
// and starting the firmware-update utility beside the program. The dashboard restarts
// instead of answering; its silence ends the session.

#include "runner/RunnerOperation.h"

#include "runner/DashboardProtocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

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

} // namespace

class RestartOperation : public RunnerOperation
{
public:
    // `notice` is what the user is told once the restarted dashboard has gone quiet.
    RestartOperation(CFGRunner &runner, const QString &notice)
        : RunnerOperation(runner, CFGRunner::OP_Restart), notice(notice)
    {
    }

    void start(const QByteArray &command, bool repeated)
    {
        if (!repeated) {
            runner.setState(CFGRunner::Rebooting);
            runner.sendMessage(command);
            // The missing reply ends the session rather than sending the restart again.
            runner.lastMessage.clear();
            return;
        }
        // requestReboot: the command stays in lastMessage and is repeated while unanswered.
        runner.setState(CFGRunner::Writing);
        runner.sendMessage(command);
    }

    // Back at the prompt, or the link's report of the missing answer, while Rebooting.
    void onReady() override
    {
        const QString text = notice;
        finish(true, text);
        runner.disconnectFromHost();
        if (!text.isEmpty())
            emit runner.alert(text);
    }

private:
    const QString notice;
};

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
    auto *op = new RestartOperation(*this, QString());
    startOperation(op);
    op->start(DashboardProtocol::restartRequest(true), true);
}

void CFGRunner::sendRestart(QByteArray command, const QString &notice)
{
    if (!link->isOpen()) {
        refuseOperation(OP_Restart, tr("Cannot reboot - not connected"));
        return;
    }
    if (state != Idle)
        return;
    auto *op = new RestartOperation(*this, notice);
    startOperation(op);
    op->start(command, false);
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
