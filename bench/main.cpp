// kx4-bench: how close the tool's transfers come to the limit of the serial line, what the
// tool itself spends per exchange, and how fast the program starts. See --help.

#include "bench/BenchReport.h"
#include "bench/ProgramBench.h"
#include "bench/TransferBench.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

QList<double> loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    QList<double> load;
    if (f.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = f.readAll().split(' ');
        for (int i = 0; i < 3 && i < fields.size(); ++i)
            load << fields.at(i).toDouble();
    }
    return load;
}

QList<int> parseRates(const QString &text, bool *ok)
{
    QList<int> rates;
    *ok = true;
    for (const QString &r : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool good = false;
        const int v = r.trimmed().toInt(&good);
        if (!good || v < 300) {
            *ok = false;
            return {};
        }
        rates << v;
    }
    return rates;
}

} // namespace

int main(int argc, char *argv[])
{
    // The program under test gets the environment the benchmark was started with (display
    // included); this process draws nowhere and keeps its settings and backups in a
    // scratch folder, away from the user's own.
    QProcessEnvironment programEnv = QProcessEnvironment::systemEnvironment();
    programEnv.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/kx4-bench-XXXXXX"));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "kx4-bench: cannot create a scratch folder\n");
        return 1;
    }
    for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = scratch.filePath(QString::fromLatin1(var).toLower());
        QDir().mkpath(dir);
        qputenv(var, QFile::encodeName(dir));
        programEnv.insert(QString::fromLatin1(var), dir);
    }
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // Qt wants one (owner-only), and a root shell under xvfb-run often has none.
        const QString dir = scratch.filePath(QStringLiteral("runtime"));
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir));
        programEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Veltro"));
    QCoreApplication::setApplicationName(QStringLiteral("VeltroKX4"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs the tool's transfers against the simulated dashboard (kx4-sim, its own process) "
        "with the serial line paced at each rate and once without pacing, then against the "
        "real chip's timing model from 38400 bit/s with fast transfers off and on, then starts "
        "the program under the current display. Prints a table and writes the figures as "
        "JSON."));
    parser.addHelpOption();
    const QCommandLineOption repsOption(QStringLiteral("repetitions"),
                                        QStringLiteral("Repetitions of every run (default 5)."),
                                        QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption ratesOption(
        QStringLiteral("rates"),
        QStringLiteral("Paced line rates, comma-separated (default 38400,115200,500000)."),
        QStringLiteral("list"), QStringLiteral("38400,115200,500000"));
    const QCommandLineOption noUnpacedOption(QStringLiteral("no-unpaced"),
                                             QStringLiteral("Leave out the runs without pacing."));
    const QCommandLineOption latencyOption(
        QStringLiteral("latency-us"),
        QStringLiteral("The simulator's bus latency per frame in microseconds (default 0)."),
        QStringLiteral("us"), QStringLiteral("0"));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Write the figures to this file "
                                                       "(default kx4-bench.json)."),
                                        QStringLiteral("file"), QStringLiteral("kx4-bench.json"));
    const QCommandLineOption markdownOption(QStringLiteral("markdown"),
                                            QStringLiteral("Print the table as Markdown."));
    const QCommandLineOption simOption(QStringLiteral("sim"),
                                       QStringLiteral("The kx4-sim program to run."),
                                       QStringLiteral("path"), QStringLiteral(KX4_SIM_PROGRAM));
    const QCommandLineOption programOption(QStringLiteral("program"),
                                           QStringLiteral("The veltrokx4 program to start."),
                                           QStringLiteral("path"), QStringLiteral(KX4_PROGRAM));
    const QCommandLineOption noProgramOption(QStringLiteral("no-program"),
                                             QStringLiteral("Leave out the program's start."));
    const QCommandLineOption recordingOption(
        QStringLiteral("recording-off"),
        QStringLiteral("Which runs are repeated with the link's traffic record off, to show "
                       "its cost: unpaced (default), all or none."),
        QStringLiteral("runs"), QStringLiteral("unpaced"));
    const QCommandLineOption noTransfersOption(QStringLiteral("no-transfers"),
                                               QStringLiteral("Leave out the transfer runs."));
    const QCommandLineOption noChipOption(
        QStringLiteral("no-chip-model"),
        QStringLiteral("Leave out the runs against the real chip's timing model."));
    const QCommandLineOption noModulesOption(
        QStringLiteral("no-modules"),
        QStringLiteral("Leave out the runs through a Bluetooth and a Wi-Fi module (a 16-page "
                       "export through the Bluetooth one takes minutes)."));
    const QCommandLineOption onlyModulesOption(
        QStringLiteral("only-modules"),
        QStringLiteral("Only the runs through a Bluetooth and a Wi-Fi module (no other transfer "
                       "runs, no program start)."));
    const QCommandLineOption chipRepsOption(
        QStringLiteral("chip-repetitions"),
        QStringLiteral("Repetitions of the chip model's runs (default 1: with fast transfers "
                       "off a 16-page export takes about a minute and a half)."),
        QStringLiteral("n"), QStringLiteral("1"));
    parser.addOptions({repsOption, ratesOption, noUnpacedOption, latencyOption, jsonOption,
                       markdownOption, simOption, programOption, noProgramOption, noTransfersOption,
                       noChipOption, noModulesOption, onlyModulesOption, chipRepsOption,
                       recordingOption});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    bool ok = false;
    const int reps = parser.value(repsOption).toInt(&ok);
    if (!ok || reps < 1) {
        err << "kx4-bench: --repetitions: expected a number of at least 1" << Qt::endl;
        return 2;
    }
    const QList<int> rates = parseRates(parser.value(ratesOption), &ok);
    if (!ok) {
        err << "kx4-bench: --rates: expected rates in bit/s separated by commas" << Qt::endl;
        return 2;
    }
    const qint64 latency = parser.value(latencyOption).toLongLong(&ok);
    if (!ok || latency < 0) {
        err << "kx4-bench: --latency-us: expected a number of microseconds" << Qt::endl;
        return 2;
    }
    const int chipReps = parser.value(chipRepsOption).toInt(&ok);
    if (!ok || chipReps < 1) {
        err << "kx4-bench: --chip-repetitions: expected a number of at least 1" << Qt::endl;
        return 2;
    }

    const QString recordingOff = parser.value(recordingOption);
    if (!QStringList{"unpaced", "all", "none"}.contains(recordingOff)) {
        err << "kx4-bench: --recording-off: expected unpaced, all or none" << Qt::endl;
        return 2;
    }

    BenchReport report;
    report.setRepetitions(reps);
    report.setLatencyUs(latency);
    const QList<double> loadBefore = loadAverage();

    if (!parser.isSet(noTransfersOption)) {
        TransferBench::Settings s;
        s.simProgram = parser.value(simOption);
        s.rates = rates;
        s.unpaced = !parser.isSet(noUnpacedOption);
        s.repetitions = reps;
        s.latencyUs = latency;
        s.chipModel = !parser.isSet(noChipOption);
        s.modules = !parser.isSet(noModulesOption);
        s.onlyModules = parser.isSet(onlyModulesOption);
        s.chipRepetitions = chipReps;
        s.recordingOff = recordingOff == "all"    ? TransferBench::Settings::RecordingOff::All
                         : recordingOff == "none" ? TransferBench::Settings::RecordingOff::None
                                                  : TransferBench::Settings::RecordingOff::Unpaced;
        report.setRecorderNsPerEntry(TransferBench::recorderNsPerEntry());
        s.pictureFile = scratch.filePath(QStringLiteral("splash.png"));
        if (!TransferBench::writePicture(s.pictureFile)) {
            err << "kx4-bench: cannot write the splash picture" << Qt::endl;
            return 1;
        }
        TransferBench(s, report, err).run();
    }
    if (!parser.isSet(noProgramOption) && !parser.isSet(onlyModulesOption)) {
        ProgramBench::Settings s;
        s.program = parser.value(programOption);
        s.simProgram = parser.value(simOption);
        s.repetitions = reps;
        s.environment = programEnv;
        ProgramBench(s, err).run(report.program());
    }
    report.setLoad(loadBefore, loadAverage(), QThread::idealThreadCount());

    report.printTable(out, parser.isSet(markdownOption));
    QSaveFile json(parser.value(jsonOption));
    if (!json.open(QIODevice::WriteOnly) ||
        json.write(QJsonDocument(report.toJson()).toJson()) < 0 || !json.commit()) {
        err << "kx4-bench: cannot write " << parser.value(jsonOption) << Qt::endl;
        return 1;
    }
    out << "Figures written to " << parser.value(jsonOption) << Qt::endl;
    return report.failures().isEmpty() ? 0 : 1;
}
