// kx4-sim: a simulated adapter and dashboard on a pseudo-terminal, for demos, manual tries
// and benchmarks. See --help.

#include "sim/SimProgram.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kx4-sim"));

    SimProgram program;
    QString message;
    bool done = false;
    if (!program.configure(QCoreApplication::arguments(), &message, &done)) {
        QTextStream(stderr) << "kx4-sim: " << message << Qt::endl;
        return 2;
    }
    if (done) {
        QTextStream(stdout) << message;
        return 0;
    }
    if (!SimProgram::installSignalHandlers() || !program.start(&message)) {
        QTextStream(stderr) << "kx4-sim: " << message << Qt::endl;
        return 1;
    }
    const int rc = app.exec();
    program.stop();
    return rc;
}
