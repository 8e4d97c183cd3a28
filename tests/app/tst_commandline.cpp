// The program's command line, run as a separate process: only help and
// version, both answered before the controller exists.
#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

class TstCommandLine : public QObject
{
    Q_OBJECT

    static constexpr const char *ControllerLine = "Creating the session controller";

    QProcess *start(const QStringList &args)
    {
        auto *p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_LOGGING_RULES", "kx4.app.debug=true");
        p->setProcessEnvironment(env);
        p->start(KX4_PROGRAM, args);
        return p;
    }

private slots:
    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stdoutHas");
        QTest::addColumn<QString>("stderrHas");

        QTest::newRow("--version") << QStringList{"--version"} << 0 << "VeltroKX4 0.2.0\n"
                                   << "";
        QTest::newRow("-v") << QStringList{"-v"} << 0 << "VeltroKX4 0.2.0\n"
                            << "";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "--version"
                                << "";
        QTest::newRow("-h") << QStringList{"-h"} << 0 << "--help"
                            << "";
        QTest::newRow("unknown option") << QStringList{"--port=COM3"} << 1 << ""
                                        << "Unknown option 'port'";
        QTest::newRow("unknown short option") << QStringList{"-x"} << 1 << ""
                                              << "Unknown option";
    }

    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, stdoutHas);
        QFETCH(QString, stderrHas);

        QProcess *p = start(args);
        QVERIFY2(p->waitForFinished(30000), "the program did not exit");
        const QString out = QString::fromLocal8Bit(p->readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(p->readAllStandardError());
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), exitCode);
        if (!stdoutHas.isEmpty())
            QVERIFY2(out.contains(stdoutHas), qPrintable(out));
        if (!stderrHas.isEmpty())
            QVERIFY2(err.contains(stderrHas), qPrintable(err));
        QVERIFY2(!err.contains(ControllerLine), qPrintable(err));
    }

    // Without options the program goes on to create the controller (and then
    // keeps running until it is stopped).
    void plainStartCreatesController()
    {
        QProcess *p = start({});
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += p->readAllStandardError()).contains(ControllerLine),
                                 30000);
        p->kill();
        p->waitForFinished(10000);
    }
};

QTEST_GUILESS_MAIN(TstCommandLine)
#include "tst_commandline.moc"
