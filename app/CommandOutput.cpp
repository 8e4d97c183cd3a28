#include "app/CommandOutput.h"

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace CommandLine {

bool stderrIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

void print(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

void printErr(const QString &text)
{
    print(stderr, text);
}

void printOut(const QString &text)
{
    print(stdout, text);
}

QString stateLabel(CFGRunner::State state)
{
    switch (state) {
    case CFGRunner::Connecting:
        return QStringLiteral("Connecting");
    case CFGRunner::Reading:
        return QStringLiteral("Reading");
    case CFGRunner::Writing:
    case CFGRunner::GenWrite:
        return QStringLiteral("Writing");
    case CFGRunner::Uploading:
        return QStringLiteral("Uploading splash");
    case CFGRunner::Exporting:
        return QStringLiteral("Exporting");
    case CFGRunner::Importing:
        return QStringLiteral("Importing");
    default:
        return QString();
    }
}

QString hoursAndMinutes(uint minutes)
{
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

QString durationText(int ms)
{
    const int s = qMax(1, (ms + 500) / 1000);
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 min").arg((s + 30) / 60);
}

} // namespace CommandLine
