#include "image/ImageConverter.h"
#include "runner/CFGRunner.h"
#include "tests/common/RunnerRecorder.h"
#include "tests/common/SimSession.h"
#include "tests/common/NonRegularFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QList<QByteArray> framesStartingWith(const QList<QByteArray> &frames, const QByteArray &head)
{
    QList<QByteArray> found;
    for (const QByteArray &f : frames) {
        if (f.startsWith(head))
            found.append(f);
    }
    return found;
}

// Block writes among the frames: those whose control word has both top bits set.
QList<QByteArray> blockWrites(const QList<QByteArray> &frames)
{
    QList<QByteArray> writes;
    for (const QByteArray &f : frames) {
        if (f.size() == 8 && (uchar(f.at(1)) & 0xC0) == 0xC0)
            writes.append(f);
    }
    return writes;
}

} // namespace

class TestSplash : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString pictureUrl(QSize size, const QString &name = QStringLiteral("splash.png"))
    {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(Qt::white);
        QPainter painter(&picture);
        painter.setPen(QPen(Qt::black, 2));
        painter.drawEllipse(QRect(QPoint(2, 2), size - QSize(4, 4)));
        painter.fillRect(QRect(0, 0, size.width() / 3, size.height() / 4), Qt::black);
        painter.end();
        const QString path = m_dir.filePath(name);
        if (!picture.save(path))
            qFatal("cannot write %s", qPrintable(path));
        return QUrl::fromLocalFile(path).toString();
    }

    // `records` > 0 leaves the runner something to read, for tests that need it busy.
    static bool startSession(SimSession &session, int disp = 0, int records = 0,
                             SimAdapter::Kind kind = SimAdapter::Clone)
    {
        if (!session.start()) {
            qWarning() << session.errorString();
            return false;
        }
        session.sim().adapter().setKind(kind);
        session.dashboard().setDisp(quint8(disp));
        if (records > 0)
            session.dashboard().setCount(records);
        return session.connectRunner();
    }

    // Waits for the end of an upload by running the event loop, so the hundreds of
    // exchanges of an upload are not each held up by a polling interval.
    static bool waitForUploadEnd(CFGRunner &runner, int timeoutMs = 20000)
    {
        QSignalSpy changes(&runner, &CFGRunner::stateChanged);
        QDeadlineTimer deadline(timeoutMs);
        while (runner.getState() == CFGRunner::Uploading && !deadline.hasExpired())
            changes.wait(int(qMax<qint64>(1, deadline.remainingTime())));
        return runner.getState() == CFGRunner::Idle;
    }

    // Uploads what the runner's converter holds and checks the whole exchange: one write
    // per 6 bytes from 0x0400, each next address taken from the acknowledgement, the
    // progress of every acknowledged chunk, and the stream in the dashboard's memory.
    void checkUpload(SimSession &session)
    {
        CFGRunner &runner = session.runner();
        const QByteArray stream = runner.converter.bitmap();
        const int chunks = (stream.size() + 5) / 6;
        RunnerRecorder recorder(&runner);
        session.clearFrames();

        runner.uploadSplash();
        QCOMPARE(runner.getState(), CFGRunner::Uploading);
        QVERIFY(waitForUploadEnd(runner));

        QCOMPARE(recorder.names({"stateChanged", "alert"}),
                 (QStringList{"stateChanged:Uploading", "stateChanged:Idle"}));
        const QList<double> progress = recorder.progressValues();
        QCOMPARE(progress.size(), 1 + chunks);
        QCOMPARE(progress.first(), 0.0);
        for (int i = 1; i <= chunks; ++i)
            QCOMPARE(progress.at(i), double(6 * (i - 1)) / stream.size());

        const QList<QByteArray> writes = blockWrites(session.hostFrames());
        QCOMPARE(writes.size(), chunks);
        const int lastAddress = 0x0400 + 6 * (chunks - 1);
        QCOMPARE(writes.first().left(2), QByteArray::fromHex("00C4"));
        QCOMPARE(quint16(uchar(writes.last().at(0)) | uchar(writes.last().at(1)) << 8),
                 quint16(0xC000 | lastAddress));
        const QByteArray tail = stream.mid(6 * (chunks - 1));
        QCOMPARE(writes.last().mid(2), tail + QByteArray(6 - tail.size(), '\xFF'));
        QCOMPARE(session.memory(0x0400, stream.size()), stream);
        QCOMPARE(runner.splashImage, stream);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A few thousand frames per upload: keep the wire traffic out of the test log.
        QLoggingCategory::setFilterRules(QStringLiteral("kx4.*.debug=false"));
    }

    void uploadBothDisplays_data()
    {
        QTest::addColumn<int>("disp");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("bytes");
        QTest::newRow("single display") << 0 << QSize(124, 88) << 1419;
        QTest::newRow("double display") << 1 << QSize(100, 160) << 2816;
    }

    void uploadBothDisplays()
    {
        QFETCH(int, disp);
        QFETCH(QSize, size);
        QFETCH(int, bytes);
        SimSession session;
        QVERIFY(startSession(session, disp));
        QVERIFY(session.runner().loadSplash(pictureUrl(size)));
        QCOMPARE(session.runner().converter.bitmap().size(), bytes);
        checkUpload(session);
    }

    // 2773 bytes: 462 full chunks and one of a single byte at 0x0ED4.
    void uploadOddLength()
    {
        SimSession session;
        QVERIFY(startSession(session));
        ImageConverter &converter = session.runner().converter;
        converter.applyDisplayProfile(0);
        converter.setWidth(54);
        converter.setHeight(47 * 8);
        QVERIFY(converter.load(QUrl(pictureUrl(QSize(50, 300))).toLocalFile()));
        QCOMPARE(converter.bitmap().size(), 2773);
        checkUpload(session);
        QCOMPARE(blockWrites(session.hostFrames()).size(), 463);
        QCOMPARE(blockWrites(session.hostFrames()).last().left(3),
                 QByteArray::fromHex("D4CE") + converter.bitmap().right(1));
    }

    // A lost acknowledgement is asked for again and the upload goes on where it was.
    void uploadSurvivesLostAcknowledgement()
    {
        SimSession session;
        QVERIFY(startSession(session));
        QVERIFY(session.runner().loadSplash(pictureUrl(QSize(60, 60))));
        session.sim().faults().addFault(SimFault::DropReply, session.sim().requestCount() + 10);
        RunnerRecorder recorder(&session.runner());
        session.runner().uploadSplash();
        QVERIFY(waitForUploadEnd(session.runner()));
        QCOMPARE(recorder.alerts(), QStringList());
        const QByteArray stream = session.runner().converter.bitmap();
        QCOMPARE(session.memory(0x0400, stream.size()), stream);
        QCOMPARE(blockWrites(session.hostFrames()).size(), (stream.size() + 5) / 6 + 1);
    }

    void uploadRefused()
    {
        CFGRunner closed;
        RunnerRecorder quiet(&closed);
        QVERIFY(closed.loadSplash(pictureUrl(QSize(20, 20))));
        quiet.clear();
        closed.uploadSplash();
        QCOMPARE(quiet.names(), QStringList());
        QCOMPARE(closed.getState(), CFGRunner::NotConnected);

        SimSession session;
        QVERIFY(startSession(session, 0, 1));
        CFGRunner &runner = session.runner();
        RunnerRecorder recorder(&runner);
        session.clearFrames();
        runner.uploadSplash(); // nothing loaded yet
        QCOMPARE(recorder.alerts(), QStringList{"Splash is not ready"});

        QVERIFY(runner.loadSplash(pictureUrl(QSize(20, 20))));
        runner.requestConfig();
        QCOMPARE(runner.getState(), CFGRunner::Reading);
        runner.uploadSplash();
        QCOMPARE(recorder.alerts().last(), QString("Another operation is in progress"));
        QVERIFY(session.waitForIdle());

        // A stream that would run past 0x3FFF and wrap onto the parameter table.
        ImageConverter &converter = runner.converter;
        converter.setHeight(8 * 120);
        QVERIFY(converter.load(QUrl(pictureUrl(QSize(20, 20))).toLocalFile()));
        QVERIFY(converter.bitmap().size() > 0x4000 - 0x0400);
        recorder.clear();
        runner.uploadSplash();
        QCOMPARE(recorder.alerts(), QStringList{"Splash is not ready"});

        QCOMPARE(blockWrites(session.hostFrames()), QList<QByteArray>());
        QVERIFY(!recorder.names().contains("stateChanged:Uploading"));
    }

    void loadAndDescribe()
    {
        SimSession session;
        QVERIFY(startSession(session, 1));
        CFGRunner &runner = session.runner();
        RunnerRecorder recorder(&runner);
        QCOMPARE(runner.splashInfo(), QString("No image"));
        QVERIFY(!runner.canUploadSplash());

        // The picture's own size does not matter, the display's does.
        QVERIFY(runner.loadSplash(pictureUrl(QSize(40, 30), "logo.png")));
        QVERIFY(runner.canUploadSplash());
        QCOMPARE(runner.splashInfo(), QString("logo.png\n173x128"));
        // The double display takes upright pictures and shows them turned: a picture as
        // wide as the display is refused, saying which size fits.
        QCOMPARE(runner.splashSize(), QSize(128, 173));
        recorder.clear();
        const QString wide = pictureUrl(QSize(173, 128), "wide.png");
        QVERIFY(!runner.loadSplash(wide));
        QCOMPARE(recorder.alerts(),
                 QStringList{"Cannot load " + wide + "\n173 " + QChar(0x00D7) +
                             " 128 is larger than the display's 128 " + QChar(0x00D7) + " 173"});

        session.dashboard().setDisp(0);
        runner.disconnectFromHost();
        QVERIFY(session.connectRunner());
        QVERIFY(runner.loadSplash(pictureUrl(QSize(40, 30), "logo.png")));
        QCOMPARE(runner.splashInfo(), QString("logo.png\n124x88"));
        QCOMPARE(runner.splashSize(), QSize(124, 88));

        runner.clearSplash();
        QVERIFY(!runner.canUploadSplash());
        QCOMPARE(runner.splashInfo(), QString("No image"));

        // Too large for the display: refused, saying why, and nothing is left to upload.
        const QString large = pictureUrl(QSize(125, 88), "large.png");
        recorder.clear();
        QVERIFY(!runner.loadSplash(large));
        QVERIFY(!runner.canUploadSplash());
        QCOMPARE(recorder.names({"alert", "splashLoaded"}),
                 (QStringList{"alert:Cannot load " + large + "\n125 " + QChar(0x00D7) +
                                  " 88 is larger than the display's 124 " + QChar(0x00D7) + " 88",
                              "splashLoaded"}));
        QCOMPARE(recorder.last("splashLoaded"), QVariant(false));
        QCOMPARE(runner.splashInfo(), QString("No image"));

        // A FIFO chosen as the picture is refused at once, not waited on.
        const QString fifo = m_dir.filePath("pipe.png");
        QVERIFY(makeFifo(fifo));
        recorder.clear();
        {
            Watchdog watchdog("loading a FIFO");
            QVERIFY(!runner.loadSplash(QUrl::fromLocalFile(fifo).toString()));
        }
        QCOMPARE(recorder.alerts(),
                 QStringList{"Cannot load " + QUrl::fromLocalFile(fifo).toString()});
    }

    void restartEndsSession_data()
    {
        QTest::addColumn<bool>("updateMode");
        QTest::addColumn<bool>("counting"); // the adapter takes the response count
        QTest::newRow("restart") << false << false;
        QTest::newRow("firmware update mode") << true << false;
        QTest::newRow("restart, adapter with the response count") << false << true;
        QTest::newRow("firmware update mode, adapter with the response count") << true << true;
    }

    // The dashboard does not answer a restart: the command goes out once and the session
    // ends, so the user reconnects (or starts the update utility) from the connection page.
    void restartEndsSession()
    {
        QFETCH(bool, updateMode);
        QFETCH(bool, counting);
        SimSession session;
        QVERIFY(startSession(session, 0, 0, counting ? SimAdapter::Genuine : SimAdapter::Clone));
        CFGRunner &runner = session.runner();
        RunnerRecorder recorder(&runner);
        session.clearFrames();
        QByteArray heard;
        connect(&session.sim(), &PtySimulator::bytesReceivedFrom, this,
                [&heard](const QByteArray &bytes) { heard += bytes; });
        if (updateMode)
            runner.toDFU();
        else
            runner.mcuReset();
        QCOMPARE(runner.getState(), CFGRunner::Rebooting);
        QVERIFY(session.waitForState(CFGRunner::NotConnected));
        QTRY_COMPARE(recorder.count("disconnectedFromHost"), 1);
        const QByteArray command = QByteArray::fromHex(updateMode ? "0110" : "0111");
        QCOMPARE(session.hostFrames(), QList<QByteArray>{command});
        // No reply comes to a restart: it never carries a response count, which would
        // keep the adapter waiting for one.
        QVERIFY2(heard.startsWith(command.toHex().toUpper() + "\r"), heard.constData());
        QCOMPARE(recorder.names({"stateChanged"}),
                 (QStringList{"stateChanged:Rebooting", "stateChanged:NotConnected"}));
        // The dashboard's silence is expected: it is restarting, not failing.
        QCOMPARE(recorder.alerts(),
                 QStringList{updateMode
                                 ? "The dashboard is restarting in firmware-update mode"
                                 : "The dashboard is restarting: connect again once it is up"});
        QCOMPARE(recorder.names().mid(recorder.names().size() - 2),
                 (QStringList{"disconnectedFromHost", "alert:" + recorder.alerts().first()}));
    }

    void restartRefused()
    {
        CFGRunner closed;
        RunnerRecorder recorder(&closed);
        closed.toDFU();
        closed.mcuReset();
        QCOMPARE(recorder.names(), (QStringList{"alert:Cannot reboot - not connected",
                                                "alert:Cannot reboot - not connected"}));
        QCOMPARE(closed.getState(), CFGRunner::NotConnected);

        SimSession session;
        QVERIFY(startSession(session, 0, 1));
        CFGRunner &runner = session.runner();
        RunnerRecorder busy(&runner);
        runner.requestConfig();
        QCOMPARE(runner.getState(), CFGRunner::Reading);
        session.clearFrames();
        runner.mcuReset();
        runner.toDFU();
        runner.requestReboot();
        QVERIFY(session.waitForIdle());
        // Only the configuration read speaks: the restarts are dropped silently.
        QCOMPARE(busy.names({"stateChanged"}),
                 (QStringList{"stateChanged:Reading", "stateChanged:Idle"}));
        QVERIFY(!busy.alerts().contains("Cannot reboot - not connected"));
        QCOMPARE(framesStartingWith(session.hostFrames(), QByteArray::fromHex("01")),
                 QList<QByteArray>());
    }

    // The plain form keeps the command for retransmission: ten tries, then the session
    // ends with the communication error.
    void requestRebootRetransmits()
    {
        SimSession session;
        QVERIFY(startSession(session));
        CFGRunner &runner = session.runner();
        RunnerRecorder recorder(&runner);
        session.clearFrames();
        runner.requestReboot();
        QCOMPARE(runner.getState(), CFGRunner::Writing);
        QVERIFY(session.waitForState(CFGRunner::NotConnected));
        QCOMPARE(session.hostFrames(),
                 QVector<QByteArray>(10, QByteArray::fromHex("0110")).toList());
        QCOMPARE(recorder.alerts().size(), 1);
        QVERIFY(recorder.alerts().first().startsWith("Communication error: "));
    }

    void updateUtility_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("started");
        QTest::newRow("upper case") << "LUMAFLO.EXE" << false << true;
        QTest::newRow("mixed case") << "LumaFlo.exe" << false << true;
#ifndef Q_OS_WIN
        QTest::newRow("without .exe") << "lumaflo" << false << true;
#endif
        QTest::newRow("folder of that name") << "lumaflo.exe" << true << false;
        QTest::newRow("other name") << "lumaflo.exe.old" << false << false;
    }

    void updateUtility()
    {
        QFETCH(QString, entry);
        QFETCH(bool, folder);
        QFETCH(bool, started);
        const QDir programDir(QCoreApplication::applicationDirPath());
        const QString path = programDir.filePath(entry);
        const QString marker = m_dir.filePath("started-" + entry);
        auto cleanup = qScopeGuard([&] {
            QDir(path).removeRecursively();
            QFile::remove(path);
        });
        if (folder) {
            QVERIFY(programDir.mkpath(entry));
        } else {
            QFile script(path);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\necho \"$#\" > '" + marker.toLocal8Bit() + "'\n");
            script.close();
            QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
        }

        CFGRunner runner;
        RunnerRecorder recorder(&runner);
        runner.lauchDFUUtil();
        if (started) {
            QCOMPARE(recorder.names(), QStringList());
            QTRY_VERIFY(QFileInfo(marker).size() > 0);
            QFile written(marker);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll().trimmed(), QByteArray("0")); // no arguments
        } else {
            QCOMPARE(recorder.alerts(), QStringList{"Update utility executable not found"});
        }
        QCOMPARE(runner.getState(), CFGRunner::NotConnected);
    }
};

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
