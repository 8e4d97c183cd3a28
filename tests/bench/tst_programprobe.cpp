// The program's start-up probe as the benchmark uses it: the real program, started under
// the test's display, reports its first frame and, connected to the simulated dashboard,
// the end of the configuration read. Without the probe (or its one line in main) the
// README's start-up figures could not be taken at all.

#include "bench/ProgramBench.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

class TestProgramProbe : public QObject
{
    Q_OBJECT

private slots:
    void startsConnectsAndReads();
};

void TestProgramProbe::startsConnectsAndReads()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ProgramBench::Settings settings;
    settings.program = QStringLiteral(KX4_PROGRAM);
    settings.simProgram = QStringLiteral(KX4_SIM_PROGRAM);
    settings.repetitions = 1;
    settings.environment = QProcessEnvironment::systemEnvironment();
    settings.environment.remove("QT_QPA_PLATFORM");
    settings.environment.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    settings.environment.insert("XDG_DATA_HOME", dir.filePath("data"));
    if (settings.environment.value("DISPLAY").isEmpty())
        QSKIP("needs a display server (scripts/test runs the tests under xvfb-run)");

    QString log;
    QTextStream logStream(&log);
    BenchReport::Program result;
    QVERIFY2(ProgramBench(settings, logStream).run(result), qPrintable(result.note));
    QVERIFY(result.measured);
    QCOMPARE(result.firstFrameMs.size(), 1);
    QVERIFY(result.firstFrameMs.first() > 0);
    // A real Qt Quick program with its window: tens of megabytes, not a handful of kB.
    QCOMPARE(result.peakRssKb.size(), 1);
    QVERIFY(result.peakRssKb.first() > 20 * 1024);
}

QTEST_GUILESS_MAIN(TestProgramProbe)
#include "tst_programprobe.moc"
