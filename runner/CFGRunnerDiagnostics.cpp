// The diagnostics report: what a user sends when an adapter misbehaves. A plain text file
// with the program and the system it runs on, the port and the adapter, the dashboard,
// the relevant settings and the link's recent traffic. It names no user and no folder
// but the backups' (paths keep only their file name, port paths under /dev excepted).

#include "config/BackupStorage.h"
#include "runner/CFGRunner.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QSysInfo>
#include <QTextStream>
#include <QUrl>

namespace {

// Takes the folders out of paths in a text: "Cannot load /home/someone/pictures/logo.png"
// becomes "Cannot load .../logo.png", and "C:\Users\Some One\logo.png" ".../logo.png".
// The home folder, often named after the user and with any characters in its name, goes
// first; in other folder names a space, or an apostrophe inside a word ("Zelda O'Brien"),
// is part of the name, while quotes around a path end it.
class FolderScrubber
{
public:
    FolderScrubber()
    {
        const QString home = QDir::homePath();
        if (home.size() <= 1)
            return;
#ifdef Q_OS_WIN
        const auto options = QRegularExpression::CaseInsensitiveOption;
#else
        const auto options = QRegularExpression::NoPatternOption;
#endif
        m_home = QRegularExpression(
            QStringLiteral("(?:%1|%2)(?=[/\\\\]|$)")
                .arg(QRegularExpression::escape(home),
                     QRegularExpression::escape(QDir::toNativeSeparators(home))),
            options);
    }

    QString operator()(QString text) const
    {
        // A path starts the text or follows a space, a quote or a bracket ("bit/s, km/h"
        // is none), and ends at its last separator.
        static const QRegularExpression folders(QStringLiteral(
            "(?<![^\\s\"'(\\[<=:,;])"
            "(?:(?:[A-Za-z]:|~)?(?:[/\\\\](?:[^/\\\\\"'<>|\\r\\n]|"
            "(?<=[^\\s/\\\\\"'<>|])'(?=[^\\s/\\\\\"'<>|]))*)+|~)[/\\\\]"));
        if (!m_home.pattern().isEmpty())
            text.replace(m_home, QStringLiteral("~"));
        return text.replace(folders, QStringLiteral(".../"));
    }

    // System port names ("COM3", "ttyUSB0", "/dev/rfcomm0") as they are; a device
    // elsewhere (a bridge named in KX4_EXTRA_PORTS) by its file name.
    QString portLabel(const QString &name) const
    {
        // A device under /dev and a network adapter's address say nothing about the user.
        if (name.startsWith(QLatin1String("/dev/")) || name.startsWith(QLatin1String("tcp://")))
            return name;
        return (*this)(name);
    }

private:
    QRegularExpression m_home;
};

QString settingText(const QSettings &settings, const QString &key)
{
    return settings.contains(key) ? settings.value(key).toString() : QStringLiteral("(not set)");
}

} // namespace

void CFGRunner::recordForDiagnostics()
{
    LinkRecorder *recorder = &link->recorder();
    connect(this, &CFGRunner::alert, this,
            [recorder](const QString &msg) { recorder->event(QStringLiteral("alert: ") + msg); });
    // Why the attempt failed, as the user was told (the link's line has only its code and
    // the system's text, which a missing port does not have).
    connect(this, &CFGRunner::connectionFailed, this, [recorder](const QString &reason) {
        recorder->event(QStringLiteral("connection failed: ") + reason);
    });
    connect(this, &CFGRunner::stateChanged, this, [recorder](State current) {
        recorder->event(QStringLiteral("state ") +
                        QLatin1String(QMetaEnum::fromType<State>().valueToKey(current)));
    });
    connect(this, &CFGRunner::deviceInfo, this,
            [this](const QVariantMap &info) { discoveredInfo = info; });
}

QString CFGRunner::diagnosticsReport()
{
    QString text;
    QTextStream out(&text);
    const QSettings settings;
    const FolderScrubber withoutFolders;

    out << "VeltroKX4 diagnostics report\n"
        << "Written: " << QDateTime::currentDateTimeUtc().toString(Qt::ISODate) << '\n'
        << "Program: " << Edition::ApplicationName << ' ' << Edition::Version << ", "
        << (Edition::UpdateChecking ? "update-checking edition" : "current edition") << '\n'
        << "Qt: " << qVersion() << " (built with " << QT_VERSION_STR << ")\n"
        << "System: " << QSysInfo::prettyProductName() << ", " << QSysInfo::kernelType() << ' '
        << QSysInfo::kernelVersion() << ", " << QSysInfo::currentCpuArchitecture() << '\n';

    out << "\nPort\n"
        << "  Kind: " << link->portKind() << '\n'
        << "  Name: " << withoutFolders.portLabel(link->portName()) << '\n'
        << "  Settings: " << link->portSettings() << '\n'
        << "  Open: " << (link->isOpen() ? "yes" : "no") << '\n'
        << "Adapter: "
        << (link->adapterIdentification().isEmpty()
                ? QStringLiteral("(not identified)")
                : QString::fromLatin1(link->adapterIdentification()))
        << '\n';

    out << "Dashboard: ";
    if (discoveredInfo.isEmpty()) {
        out << "(not discovered)\n";
    } else {
        for (const char *key : {"version", "pages", "count", "disp", "r4", "r5"})
            out << key << ' ' << discoveredInfo.value(QLatin1String(key)).toInt()
                << (qstrcmp(key, "r5") ? ", " : "\n");
    }
    out << "Session state: " << QMetaEnum::fromType<State>().valueToKey(state) << '\n';

    // The adapter check last run by this program, as it printed it.
    out << "\nAdapter check";
    if (lastCheck.isEmpty())
        out << ": (not run)\n";
    else
        out << " (" << lastCheckTime << ")\n";
    for (const QString &line : qAsConst(lastCheck))
        out << "  " << withoutFolders(line) << '\n';

    // The connection's settings and all of the link's groups; nothing that may hold a path
    // or a name.
    QStringList keys = {QStringLiteral("baud"), QStringLiteral("mod"), QStringLiteral("language"),
                        QStringLiteral("CAN/HostAddress"), QStringLiteral("CAN/DeviceAddress")};
    for (const QString &key : settings.allKeys()) {
        if ((key.startsWith(QLatin1String("CAN/")) || key.startsWith(QLatin1String("Link/"))) &&
            !keys.contains(key))
            keys << key;
    }
    out << "\nSettings\n";
    for (const QString &key : qAsConst(keys))
        out << "  " << key << ": " << settingText(settings, key) << '\n';
    out << "  port: "
        << withoutFolders.portLabel(settings.value(QStringLiteral("port")).toString()) << '\n'
        << "  backup folder: " << QDir(BackupStorage::folder()).dirName() << '\n';

    const LinkRecorder &recorder = link->recorder();
    out << "\nTraffic: " << recorder.count() << " entries (at most " << recorder.maxEntries()
        << " and " << recorder.maxBytes() / 1024 << " KiB are kept), oldest first; seconds "
        << "since the connect, -> to the adapter, <- from it, -- events"
        << (recorder.isEnabled() ? "" : "; recording is off") << '\n';
    for (LinkRecorder::Entry entry : recorder.entries()) {
        if (entry.kind == LinkRecorder::Event)
            entry.bytes = withoutFolders(QString::fromUtf8(entry.bytes)).toUtf8();
        out << LinkRecorder::format(entry) << '\n';
    }
    out.flush();
    return text;
}

QString CFGRunner::saveDiagnostics(QString file)
{
    const QString path = localFile(file);
    const QString name = QFileInfo(path).fileName();
    if (path.isEmpty() || name.isEmpty())
        return tr("No file chosen for the diagnostics report");
    // The report replaces the file it is saved as: a device node, a FIFO or a folder
    // under that name would be swapped for a plain file.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return tr("Cannot write %1: %2").arg(name, tr("it is not a regular file"));

    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text) ||
        out.write(diagnosticsReport().toUtf8()) < 0 || !out.commit()) {
        qCWarning(lcRunner) << "diagnostics report not written:" << out.errorString();
        return tr("Cannot write %1: %2").arg(name, out.errorString());
    }
    qCInfo(lcRunner) << "diagnostics report written";
    return QString();
}
