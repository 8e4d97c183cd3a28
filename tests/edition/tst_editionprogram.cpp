// The update-checking edition's program, run as a separate process: it calls itself
// 0.1.0, and once started it fetches the feed named by "Update/URL" in the Quorvel
// settings and finds the newer version there. Runs with a display (the window needs one).

#include "FeedServer.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class tst_EditionProgram : public QObject
{
    Q_OBJECT

    QProcess *start(const QStringList &args)
    {
        auto *p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_LOGGING_RULES", "kx4.updater.debug=true");
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path() + "/config");
        p->setProcessEnvironment(env);
        p->start(KX4_PROGRAM, args);
        return p;
    }

private slots:
    void initTestCase() { QVERIFY(home.isValid()); }

    void version()
    {
        QProcess *p = start({"--version"});
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(QString::fromLocal8Bit(p->readAllStandardOutput()),
                 QStringLiteral("VeltroKX4 0.1.0\n"));
    }

    void checksTheFeedAtStart()
    {
        FeedServer server;
        QVERIFY(server.listen());
        server.setResponse(FeedServer::feed({{"0.2.0", "notes", "https://example.org/x.exe"}}));
        // The program's own settings store: organisation "Quorvel".
        QSettings settings(home.path() + "/config/Quorvel/VeltroKX4.conf", QSettings::IniFormat);
        settings.setValue("Update/URL", server.url().toString());
        settings.setValue("language", "en");
        settings.sync();

        QProcess *p = start({});
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += p->readAllStandardError()).contains("newest release"),
                                 30000);
        QCOMPARE(server.requests(), 1);
        QVERIFY2(err.contains("newest release \"0.2.0\""), err.constData());
        p->kill();
        p->waitForFinished(10000);
    }

private:
    QTemporaryDir home;
};

QTEST_GUILESS_MAIN(tst_EditionProgram)
#include "tst_editionprogram.moc"
