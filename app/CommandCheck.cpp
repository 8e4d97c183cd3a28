// --check-adapter: the controller's adapter check on the port, its report on standard
// output. It needs an adapter, not a dashboard.

#include "app/CommandRun.h"

#if !KX4_UPDATE_EDITION

#include "app/CommandFiles.h"
#include "app/CommandOutput.h"
#include "runner/CFGRunner.h"

#include <QEventLoop>

namespace CommandLine {

int runAdapterCheck(const Options &options)
{
    CFGRunner runner;
    QEventLoop loop;
    QVariantMap result;
    QObject::connect(&runner, &CFGRunner::adapterChecked, &loop, [&](const QVariantMap &r) {
        result = r;
        loop.quit();
    });
    ProgressLine progress;
    progress.status(QStringLiteral("Checking the adapter on %1").arg(options.port));
    int code = ConnectionFailed;
    if (runner.checkAdapter(resolvePort(options.port), options.baud, !options.plain)) {
        if (result.isEmpty())
            loop.exec();
        progress.end();
        printOut(result.value(QStringLiteral("text")).toString() + QLatin1Char('\n'));
        if (result.value(QStringLiteral("adapter")).toBool())
            code = Success;
        else
            printErr(QStringLiteral("veltrokx4: %1\n")
                         .arg(result.value(QStringLiteral("failure")).toString()));
    }
    progress.end();
    if (!options.diagnostics.isEmpty()) {
        const QString error = runner.saveDiagnostics(absolute(options.diagnostics));
        if (!error.isEmpty()) {
            printErr(QStringLiteral("veltrokx4: %1\n").arg(error));
            if (code == Success)
                code = Refused;
        }
    }
    return code;
}

} // namespace CommandLine

#endif // !KX4_UPDATE_EDITION
