// The program's window against the simulated adapter and dashboard in the
// same process, driven with synthesized mouse events the way a user would:
// connect with "Automatic", read, disconnect, restart, try an import; connect to
// the same adapter as a Wi-Fi adapter (over TCP) by typing its address.
// Screenshots of every page land in $KX4_TEST_OUTPUT.
#include "AppUnderTest.h"

#include "config/BackupStorage.h"
#include "config/WriteHistory.h"
#include "runner/CFGRunner.h"
#include "sim/PtySimulator.h"
#include "sim/SimDemoImage.h"
#include "sim/TcpSimulator.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTcpServer>
#include <QtTest>

// Every page the window's stack shows, in order. The progress page is only up
// while the link works: its screenshot is taken halfway through the first read.
class PageRecorder : public QObject
{
    Q_OBJECT
public:
    explicit PageRecorder(AppUnderTest *app) : m_app(app)
    {
        connect(app->object("stack"), SIGNAL(currentIndexChanged()), this, SLOT(changed()));
        connect(app->runner(), &CFGRunner::progress, this, [this](double value) {
            if (value >= 0.5 && !m_progressShot) {
                m_progressShot = true;
                m_app->screenshot("e2e-progress");
            }
        });
    }
    QList<int> shown;

private slots:
    void changed() { shown << m_app->property("stack", "currentIndex").toInt(); }

private:
    AppUnderTest *m_app;
    bool m_progressShot = false;
};

class TstEndToEnd : public QObject
{
    Q_OBJECT

    std::unique_ptr<PtySimulator> sim;
    std::unique_ptr<AppUnderTest> app;
    std::unique_ptr<PageRecorder> pages;

    // Clicks "Connect" and waits for the device page.
    void connectFromPage()
    {
        QQuickItem *button = app->item("connectButton");
        QVERIFY(button);
        QTRY_VERIFY(button->isEnabled());
        app->click(button);
        QTRY_VERIFY_WITH_TIMEOUT(
            app->stackIndex() == 2 && app->runner()->getState() == CFGRunner::Idle, 30000);
    }

private slots:
    void initTestCase()
    {
        AppUnderTest::prepareApplication();
        sim = std::make_unique<PtySimulator>();
        // An adapter that takes "at brd": the link raises the line to 500 kbit/s.
        sim->adapter().setKind(SimAdapter::Genuine);
        QVERIFY2(sim->start(), qPrintable(sim->errorString()));
        SimDemoImage::install(sim->dashboard());
        qputenv("KX4_EXTRA_PORTS", sim->slavePath().toLocal8Bit());
    }

    void init()
    {
        // The port is remembered from an earlier session, the rate is "Automatic".
        QSettings().clear();
        QSettings().setValue("port", sim->slavePath());
        QSettings().setValue("baud", 0);
        QSettings().setValue("mod", "eml327");
        app = std::make_unique<AppUnderTest>();
        QVERIFY(app->start());
        pages = std::make_unique<PageRecorder>(app.get());
    }

    void cleanup()
    {
        pages.reset();
        app.reset();
        sim->faults() = SimFaultPlan();
        sim->dashboard().setVersion(1);
    }

    void connectReadDisconnect()
    {
        QCOMPARE(app->property("connectionPage", "baud").toInt(), 0);
        QCOMPARE(app->property("baudEdit", "displayText").toString(), QString("Automatic"));
        QCOMPARE(app->property("advCheck", "checked").toBool(), false);
        QVariant port;
        QMetaObject::invokeMethod(app->object("connectionPage"), "getPort",
                                  Q_RETURN_ARG(QVariant, port));
        QCOMPARE(port.toString(), sim->slavePath());
        app->screenshot("e2e-connection");

        connectFromPage();
        QVERIFY2(pages->shown.contains(1), "the progress page was never shown");
        QCOMPARE(pages->shown.last(), 2);
        QCOMPARE(QSettings().value("port").toString(), sim->slavePath());
        QCOMPARE(QSettings().value("baud").toInt(), 0);
        QCOMPARE(QSettings().value("mod").toString(), QString("eml327"));
        QCOMPARE(app->property("connIndicator", "state").toString(), QString("connected"));

        QTRY_VERIFY(!app->toastTexts().isEmpty());
        const QString info = app->toastTexts().last();
        QVERIFY2(info.startsWith("Connected to\nFW "), qPrintable(info));
        QVERIFY2(info.contains("\nConfig: "), qPrintable(info));
        QVERIFY2(info.endsWith("\n500000 bit/s"), qPrintable(info));
        QTest::qWait(1000); // the toasts settle for the picture
        app->screenshot("e2e-connected-toast");
        QTRY_COMPARE(app->property("toast", "count").toInt(), 0); // let the messages go
        app->screenshot("e2e-device");

        QVERIFY(app->triggerMenu({"Disconnect"}));
        QTRY_COMPARE(app->stackIndex(), 0);
        QCOMPARE(app->runner()->getState(), CFGRunner::NotConnected);
        QCOMPARE(app->property("connIndicator", "state").toString(), QString("none"));
        for (const char *name : {"connAbortMenu", "bkpMenu", "rstMenu", "dfuMenu"})
            QVERIFY2(!app->isEnabled(name), name);
        app->screenshot("e2e-disconnected");
    }

    void restartFromMenu()
    {
        connectFromPage();
        pages->shown.clear();

        // Look at the menu the moment the restart begins.
        QList<bool> atReboot;
        QMetaObject::Connection c =
            connect(app->runner(), &CFGRunner::stateChanged, this, [&](CFGRunner::State s) {
                if (s == CFGRunner::Rebooting)
                    atReboot = {app->isEnabled("connAbortMenu"), app->isEnabled("bkpMenu"),
                                app->isEnabled("dfuMenu"), app->isEnabled("rstMenu")};
            });

        QVERIFY(app->triggerMenu({"Device restart"}));
        QObject *confirm = app->object("rstConfirm");
        QTRY_VERIFY(confirm->property("opened").toBool());
        app->screenshot("e2e-restart-confirm");
        QQuickItem *ok = app->itemWithText("OK");
        QVERIFY(ok);
        app->click(ok);

        QTRY_COMPARE_WITH_TIMEOUT(app->stackIndex(), 0, 30000);
        disconnect(c);
        QCOMPARE(atReboot, QList<bool>({true, false, false, false}));
        QCOMPARE(app->runner()->getState(), CFGRunner::NotConnected);
        for (const char *name : {"connAbortMenu", "bkpMenu", "rstMenu", "dfuMenu"})
            QVERIFY2(!app->isEnabled(name), name);
    }

    void importWithoutBackups()
    {
        connectFromPage();
        QVERIFY(app->runner()->listSavedConfigs().isEmpty());

        QVERIFY(app->triggerMenu({"Backup", "Import device config"}));
        QObject *dialog = app->object("importConfirm");
        QTRY_VERIFY(dialog->property("opened").toBool());
        QCOMPARE(app->property("savedCfgCombo", "currentText").toString(), QString("Not found"));
        QCOMPARE(app->property("savedCfgCombo", "count").toInt(), 1);
        QVERIFY(app->itemWithText("Cancel"));
        QVERIFY2(!app->itemWithText("OK"), "an import without backups must not be offered");
        app->screenshot("e2e-import-empty");

        app->click(app->itemWithText("Cancel"));
        QTRY_VERIFY(!dialog->property("opened").toBool());
        QCOMPARE(app->runner()->getState(), CFGRunner::Idle);
    }

    // A dashboard with an empty parameter table has nothing to read: the
    // window still leaves the progress page once discovery is over.
    void emptyDashboard()
    {
        const QByteArray memory = sim->dashboard().memory();
        sim->dashboard().eraseMemory();
        connectFromPage();
        QCOMPARE(app->property("connIndicator", "state").toString(), QString("connected"));
        sim->dashboard().memory() = memory;
    }

    // The same for a dashboard that answers with the unknown version 0xFF.
    void unknownVersion()
    {
        sim->dashboard().setUnknownVersion(); // cleanup() restores it
        connectFromPage();
    }

    // Closing with the link open resets the adapter on the way out.
    void shutdownResetsAdapter()
    {
        connectFromPage();
        sim->clearLog();
        app->shutdown();
        QTRY_VERIFY(sim->commands().contains("ATZ"));
    }

    // What the user types into the port box.
    void typePort(const QString &text)
    {
        QObject *box = app->object("portEdit");
        QVERIFY(box);
        box->setProperty("editText", text);
    }

    QStringList offeredPorts() const { return app->property("portEdit", "model").toStringList(); }

    void wifiAdapter()
    {
        TcpSimulator wifi(sim.get());
        QVERIFY2(wifi.listen(), qPrintable(wifi.errorString()));
        const QString address = QString("127.0.0.1:%1").arg(wifi.port());
        // Before any network adapter connected, the usual address is offered.
        QVERIFY2(offeredPorts().contains("192.168.0.10:35000"),
                 qPrintable(offeredPorts().join(",")));
        QObject *list = app->property("portEdit", "popup").value<QObject *>();
        QVERIFY(list);
        QMetaObject::invokeMethod(list, "open");
        QTRY_VERIFY(list->property("opened").toBool());
        app->screenshot("e2e-port-list");
        QMetaObject::invokeMethod(list, "close");
        QTRY_VERIFY(!list->property("visible").toBool());
        typePort(address);
        // A network adapter has no line rate to choose.
        QTRY_VERIFY(!app->isEnabled("baudEdit"));
        app->screenshot("e2e-connection-wifi");

        connectFromPage();
        QCOMPARE(QSettings().value("port").toString(), "tcp://" + address);
        QVERIFY(wifi.hasClient());
        QVERIFY(app->triggerMenu({"Disconnect"}));
        QTRY_COMPARE(app->stackIndex(), 0);
        QTRY_VERIFY(!wifi.hasClient());

        // Offered again, first among the network adapters, and chosen at the next start.
        app.reset();
        app = std::make_unique<AppUnderTest>();
        QVERIFY(app->start());
        QVERIFY2(offeredPorts().contains(address), qPrintable(offeredPorts().join(",")));
        QVERIFY(!offeredPorts().contains("192.168.0.10:35000"));
        QCOMPARE(app->property("portEdit", "editText").toString(), address);
    }

    void wifiAdapterRefused_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("reason"); // after the address
        QTest::newRow("en") << "en"
                            << " refused the connection: nothing listens on that port";
        QTest::newRow("ru") << "ru"
                            << QString::fromUtf8(
                                   " отклонил подключение: на этом порту ничего не работает");
    }

    // A failed attempt ends on the connection page with the reason, in the
    // interface's language, and the page is ready for the next one.
    void wifiAdapterRefused()
    {
        QFETCH(QString, language);
        QFETCH(QString, reason);
        if (language != "en") {
            app.reset();
            QSettings().setValue("language", language);
            app = std::make_unique<AppUnderTest>();
            QVERIFY(app->start());
        }
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost));
        const QString address = QString("127.0.0.1:%1").arg(gone.serverPort());
        gone.close();
        typePort(address);
        app->click(app->item("connectButton"));
        QTRY_VERIFY(!app->toastTexts().isEmpty());
        const QString toast = app->toastTexts().first();
        QCOMPARE(toast, address + reason);
        QQuickItem *shown = nullptr;
        QTRY_VERIFY((shown = app->itemWithText(toast)) && AppUnderTest::fadedIn(shown));
        app->screenshot("e2e-connection-refused-" + language);
        QCOMPARE(app->stackIndex(), 0);
        QCOMPARE(app->property("connIndicator", "state").toString(), QString("none"));
        QCOMPARE(app->property("connectionPage", "connecting").toBool(), false);
        QVERIFY(app->isEnabled("connectButton"));
        QCOMPARE(app->runner()->getState(), CFGRunner::NotConnected);
    }

    void adapterCheck_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("dashboard"); // the dashboard's line of the report
        QTest::newRow("en") << "en" << "Dashboard: answers (firmware 1, ";
        QTest::newRow("ru") << "ru"
                            << QString::fromUtf8("Панель приборов: отвечает (прошивка 1, ");
    }

    // "Test adapter" runs the check on the port in the box and shows its report in a dialog
    // that fits an 800 x 600 window, in the interface's language; afterwards the link is the
    // controller's again and "Connect" works.
    void adapterCheck()
    {
        QFETCH(QString, language);
        QFETCH(QString, dashboard);
        if (language != "en") {
            app.reset();
            QSettings().setValue("language", language);
            app = std::make_unique<AppUnderTest>();
            QVERIFY(app->start());
        }
        app->window()->resize(800, 600);
        TcpSimulator wifi(sim.get());
        QVERIFY2(wifi.listen(), qPrintable(wifi.errorString()));
        typePort(QString("127.0.0.1:%1").arg(wifi.port()));
        QQuickItem *button = app->item("checkButton");
        QVERIFY(button);
        QTRY_VERIFY(button->isEnabled());
        app->screenshot("adapter-check-page-" + language);
        app->click(button);
        QObject *dialog = app->object("adapterCheckDialog");
        QVERIFY(dialog);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->property("opened").toBool(), 30000);
        const QStringList lines = dialog->property("lines").toStringList();
        QVERIFY2(lines.size() > 8 && lines.filter(QRegularExpression("^" + QRegularExpression::escape(dashboard))).size() == 1,
                 qPrintable(lines.join('\n')));
        const qreal top = dialog->property("y").toReal();
        QVERIFY(top >= 0);
        QVERIFY2(top + dialog->property("height").toReal() <= 600, qPrintable(lines.join('\n')));
        QVERIFY(dialog->property("x").toReal() >= 0 &&
                dialog->property("x").toReal() + dialog->property("width").toReal() <= 800);
        QTest::qWait(300); // the dialog's opening transition
        app->screenshot("adapter-check-" + language);
        QMetaObject::invokeMethod(dialog, "close");
        QTRY_VERIFY(!dialog->property("visible").toBool());
        QCOMPARE(app->stackIndex(), 0);
        QCOMPARE(app->property("connectionPage", "checking").toBool(), false);
        QCOMPARE(app->runner()->getState(), CFGRunner::NotConnected);
        connectFromPage();
    }

    void writesAskFirst_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("en") << "en";
        QTest::newRow("ru") << "ru";
    }

    // "Apply changes" and an import show what they change and write only on OK;
    // Cancel writes nothing, and with nothing to change nothing can be written.
    // The history then lists what the dashboard held before the write.
    void writesAskFirst()
    {
        QFETCH(QString, language);
        if (language != "en") {
            app.reset();
            QSettings().setValue("language", language);
            app = std::make_unique<AppUnderTest>();
            QVERIFY(app->start());
        }
        const QByteArray memory = sim->dashboard().memory();
        QDir(WriteHistory::folder()).removeRecursively();
        QDir(BackupStorage::folder()).removeRecursively();
        connectFromPage();
        CFGRunner *runner = app->runner();
        // A backup of the dashboard as it is, for the import below.
        QVERIFY(runner->exportConfig(true));
        QTRY_VERIFY_WITH_TIMEOUT(runner->getState() == CFGRunner::Idle, 30000);
        QCOMPARE(runner->listSavedConfigs().size(), 1);

        QObject *devPage = app->object("devPage");
        devPage->setProperty("subPage", 3);
        QObject *threshold = app->object("rpmlimControl");
        const int was = threshold->property("value").toInt();
        threshold->setProperty("value", was + 500);
        QObject *confirm = app->object("applyConfirm");
        app->click(app->item("applyTool"));
        QTRY_VERIFY(confirm->property("opened").toBool());
        const QStringList lines = confirm->property("lines").toStringList();
        QVERIFY2(lines.size() >= 1, qPrintable(lines.join('\n')));
        QVERIFY2(lines.join('\n').contains(QString("%1 \u2192 %2").arg(was).arg(was + 500)),
                 qPrintable(lines.join('\n')));
        QTest::qWait(300); // the dialog's opening transition
        app->screenshot("apply-difference-" + language);

        // The framework's own translation of the button, when it is installed.
        const QString cancel =
            app->itemWithText(QString::fromUtf8("Отмена")) ? QString::fromUtf8("Отмена") : "Cancel";
        const QString ok = "OK";
        QVERIFY(app->itemWithText(cancel));
        app->click(app->itemWithText(cancel));
        QTRY_VERIFY(!confirm->property("opened").toBool());
        QTest::qWait(500);
        QCOMPARE(runner->getState(), CFGRunner::Idle);
        QCOMPARE(sim->dashboard().memory(), memory);
        QVERIFY(runner->historyList().isEmpty());

        // Many changes: the list scrolls inside the window.
        app->object("rpmControl")->setProperty("currentIndex", 1);
        app->object("speedControl")->setProperty("currentIndex", 1);
        app->object("auxgControl")->setProperty("currentIndex", 2);
        app->object("adelayControl")->setProperty(
            "value", app->object("adelayControl")->property("value").toInt() + 100);
        app->object("odoControl")->setProperty(
            "value", app->object("odoControl")->property("value").toInt() + 1000);
        app->object("timeControl")->setProperty(
            "value", app->object("timeControl")->property("value").toInt() + 10);
        for (const char *name : {"maintSwitch", "menuSwitch", "splhSwitch", "animSwitch", "rpmlimSwitch"})
            app->object(name)->setProperty("checked", !app->object(name)->property("checked").toBool());
        QTest::qWait(300);
        app->click(app->item("applyTool"));
        QTRY_VERIFY(confirm->property("opened").toBool());
        QVERIFY2(confirm->property("lines").toStringList().size() >= 8,
                 qPrintable(confirm->property("lines").toStringList().join('\n')));
        QQuickItem *list = app->item("differenceList");
        QVERIFY(list);
        QTest::qWait(300);
        app->screenshot("apply-difference-long-" + language);
        QVERIFY(list->mapToScene(QPointF(0, list->height())).y() < app->window()->height());
        app->click(app->itemWithText(cancel));
        QTRY_VERIFY(!confirm->property("opened").toBool());
        QTest::qWait(400);
        QCOMPARE(sim->dashboard().memory(), memory);

        app->click(app->item("applyTool"));
        QTRY_VERIFY(confirm->property("opened").toBool());
        QVERIFY(app->itemWithText(ok));
        app->click(app->itemWithText(ok));
        QTRY_VERIFY_WITH_TIMEOUT(sim->dashboard().memory() != memory, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(app->stackIndex() == 2 &&
                                     runner->getState() == CFGRunner::Idle &&
                                     runner->historyList().size() == 1,
                                 30000);
        QTest::qWait(500); // the read after the write
        QTRY_VERIFY_WITH_TIMEOUT(runner->getState() == CFGRunner::Idle, 30000);
        QCOMPARE(runner->historyList().first().toMap().value("outcome").toString(),
                 QString("written"));

        // Nothing left to change: said, and only Close.
        const QByteArray written = sim->dashboard().memory();
        devPage->setProperty("subPage", 3);
        app->click(app->item("applyTool"));
        QTRY_VERIFY(confirm->property("opened").toBool());
        QCOMPARE(confirm->property("lines").toStringList(), QStringList());
        QVERIFY(!app->itemWithText(ok));
        QTest::qWait(300);
        app->screenshot("apply-nothing-" + language);
        QQuickItem *close = app->itemWithText(QString::fromUtf8("Закрыть"));
        QVERIFY(close || (close = app->itemWithText("Close")));
        app->click(close);
        QTRY_VERIFY(!confirm->property("opened").toBool());
        QCOMPARE(sim->dashboard().memory(), written);

        // The history, from the device page's menu.
        QTest::qWait(400); // the dialog's closing transition
        app->click(app->item("selTool"));
        QTRY_VERIFY(app->object("selMenu")->property("opened").toBool());
        QTest::qWait(300);
        app->screenshot("device-menu-" + language);
        QQuickItem *entry = nullptr;
        const QString history = language == "en" ? "History..." : QString::fromUtf8("История...");
        QTRY_VERIFY((entry = app->itemWithText(history)) != nullptr);
        app->click(entry);
        QObject *historyDialog = app->object("historyDialog");
        QTRY_VERIFY(historyDialog->property("opened").toBool());
        QTest::qWait(300);
        app->screenshot("history-" + language);
        app->click(app->itemWithText(ok));
        QTRY_VERIFY(!historyDialog->property("opened").toBool());
        // Loaded into the pages: the threshold as it was before the write.
        QTRY_COMPARE(threshold->property("value").toInt(), was);
        QCOMPARE(sim->dashboard().memory(), written);
        threshold->setProperty("value", was + 500);
        QTest::qWait(400); // the dialog's closing transition

        // The import: the backup's origin and what it puts back; Cancel writes nothing.
        QVERIFY(app->triggerMenu({language == "en" ? "Backup" : QString::fromUtf8("Резервная копия"),
                                  language == "en" ? "Import device config"
                                                   : QString::fromUtf8("Восстановить конфигурацию панели")}));
        QObject *importConfirm = app->object("importConfirm");
        QTRY_VERIFY(importConfirm->property("opened").toBool());
        app->click(app->itemWithText(ok));
        QObject *importDifference = app->object("importDifference");
        QTRY_VERIFY(importDifference->property("opened").toBool());
        const QString importLines = importDifference->property("lines").toStringList().join('\n');
        QVERIFY2(importLines.contains(QString("%1 \u2192 %2").arg(was + 500).arg(was)),
                 qPrintable(importLines));
        // A backup before it is offered, checked: at the measured exchange time it is
        // quick.
        QVERIFY(runner->backupTimeMs() > 0 && runner->backupTimeMs() < 30000);
        QQuickItem *backupFirst = app->item("offerCheck");
        QVERIFY(backupFirst && backupFirst->isVisible());
        QVERIFY(backupFirst->property("checked").toBool());
        QTest::qWait(300);
        app->screenshot("import-difference-" + language);
        app->click(app->itemWithText(cancel));
        QTRY_VERIFY(!importDifference->property("opened").toBool());
        QTest::qWait(300);
        QCOMPARE(runner->getState(), CFGRunner::Idle);
        QCOMPARE(sim->dashboard().memory(), written);
        QCOMPARE(runner->historyList().size(), 1);

        sim->dashboard().memory() = memory;
        QDir(WriteHistory::folder()).removeRecursively();
        QDir(BackupStorage::folder()).removeRecursively();
    }

    void lastConnectionStaysStored()
    {
        // The user changes the rate and the adapter kind before connecting. The window
        // stores the kind, the controller port and rate; nothing may write the previous
        // rate back afterwards (the interface's settings object flushes after a delay).
        app->object("connectionPage")->setProperty("baud", 38400);
        app->object("advCheck")->setProperty("checked", true);
        connectFromPage();
        QTest::qWait(1500);
        QSettings settings;
        QCOMPARE(settings.value("baud").toInt(), 38400);
        QCOMPARE(settings.value("port").toString(), sim->slavePath());
        QCOMPARE(settings.value("mod").toString(), QString("els27"));
    }
};

int main(int argc, char **argv)
{
    AppUnderTest::prepareProcess();
    QApplication a(argc, argv);
    TstEndToEnd tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_endtoend.moc"
