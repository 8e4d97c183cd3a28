// The program's window started with "language" set, the way main() starts it:
// the connection page, a message of the controller and a confirmation dialog
// must read in that language, and the texts kept in English ("Automatic") must
// stay so. Screenshots language-<code>.png go to $KX4_TEST_OUTPUT.
#include "tests/ui/AppUnderTest.h"

#include "config/BackupFile.h"
#include "config/BackupStorage.h"
#include "runner/CFGRunner.h"

#include <QApplication>
#include <QFile>
#include <QJsonObject>
#include <QSettings>
#include <QTranslator>
#include <QtTest>

class TstWindowLanguage : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppUnderTest> app;

    QString text(const char *name) const { return app->property(name, "text").toString(); }

private slots:
    void initTestCase() { AppUnderTest::prepareApplication(); }

    void cleanup()
    {
        app.reset();
        // The framework's translator belongs to the application object and
        // would otherwise carry over into the next language.
        for (QTranslator *t : qApp->findChildren<QTranslator *>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }

    void window_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("connect");
        QTest::addColumn<QString>("portLabel");
        QTest::addColumn<QString>("noUtility"); // the controller's alert
        QTest::addColumn<QString>("restartQuestion");
        QTest::addColumn<QString>("cancel"); // the framework's own button text
        QTest::addColumn<QString>("quit");

        QTest::newRow("ru") << "ru" << QString::fromUtf8("Настройка Veltro KX4")
                            << QString::fromUtf8("Подключиться")
                            << QString::fromUtf8("Последовательный порт:")
                            << QString::fromUtf8("Программа обновления прошивки не найдена")
                            << QString::fromUtf8("Перезагрузить панель приборов?")
                            << QString::fromUtf8("Отмена") << QString::fromUtf8("Выход");
        // A stored locale name selects the same files.
        QTest::newRow("ru_RU") << "ru_RU" << QString::fromUtf8("Настройка Veltro KX4")
                               << QString::fromUtf8("Подключиться")
                               << QString::fromUtf8("Последовательный порт:")
                               << QString::fromUtf8("Программа обновления прошивки не найдена")
                               << QString::fromUtf8("Перезагрузить панель приборов?")
                               << QString::fromUtf8("Отмена") << QString::fromUtf8("Выход");
        QTest::newRow("en") << "en"
                            << "Veltro KX4 Config"
                            << "Connect"
                            << "Serial Port:"
                            << "Update utility executable not found"
                            << "Are you sure you want to restart the device?"
                            << "Cancel"
                            << "Quit";
    }

    void window()
    {
        QFETCH(QString, language);
        QFETCH(QString, title);
        QFETCH(QString, connect);
        QFETCH(QString, portLabel);
        QFETCH(QString, noUtility);
        QFETCH(QString, restartQuestion);
        QFETCH(QString, cancel);
        QFETCH(QString, quit);

        QSettings().clear();
        QSettings().setValue("language", language);
        app = std::make_unique<AppUnderTest>();
        QVERIFY(app->start());

        QCOMPARE(app->property("window", "title").toString(), title);
        QCOMPARE(text("connectButton"), connect);
        QVERIFY2(app->itemWithText(portLabel), qPrintable(portLabel));
        // The baud rate's "Automatic" is also what the spin box parses back.
        QVERIFY(app->itemWithText("Automatic"));

        // No update utility beside the test program: the controller says so.
        app->click(app->item("dfuUtilTool"));
        QTest::mouseMove(app->window(), QPoint(1, app->window()->height() - 1));
        QQuickItem *toast = nullptr;
        QTRY_VERIFY2((toast = app->itemWithText(noUtility)), qPrintable(noUtility));
        QTRY_VERIFY(AppUnderTest::fadedIn(toast));
        app->screenshot("language-" + language);

        // The menu, whose entries are longest in Russian.
        QObject *menu = app->object("mainMenu");
        QVERIFY(menu);
        app->click(app->item("menuTool"));
        QTRY_VERIFY(menu->property("opened").toBool());
        QVERIFY2(app->itemWithText(quit), qPrintable(quit));
        app->screenshot("language-" + language + "-menu");
        QMetaObject::invokeMethod(menu, "close");
        QTRY_VERIFY(!menu->property("visible").toBool());

        QObject *confirm = app->object("rstConfirm");
        QVERIFY(confirm);
        QMetaObject::invokeMethod(confirm, "open");
        QTRY_VERIFY(confirm->property("opened").toBool());
        QVERIFY2(app->itemWithText(restartQuestion), qPrintable(restartQuestion));
        QVERIFY2(app->itemWithText(cancel), qPrintable(cancel));
        app->screenshot("language-" + language + "-dialog");
        QMetaObject::invokeMethod(confirm, "close");
        QTRY_VERIFY(!confirm->property("visible").toBool());

        // The firmware-update question is one of the window's dialogs too, inside it.
        QObject *upgrade = app->object("upgradeConfirm");
        QVERIFY(upgrade);
        QMetaObject::invokeMethod(upgrade, "open");
        QTRY_VERIFY(upgrade->property("opened").toBool());
        const QString upgradeQuestion =
            QCoreApplication::translate("main", "Are you sure you want to update the firmware?");
        QVERIFY2(text("upgradeQuestion").startsWith(upgradeQuestion + "<br>"),
                 qPrintable(text("upgradeQuestion")));
        QVERIFY(upgrade->property("x").toDouble() >= 0 &&
                upgrade->property("x").toDouble() + upgrade->property("width").toDouble() <=
                    app->window()->width());
        app->screenshot("language-" + language + "-upgrade");
        QMetaObject::invokeMethod(upgrade, "close");
        QTRY_VERIFY(!upgrade->property("visible").toBool());

        // A connection attempt that fails says why, in that language.
        const QString reason =
            QCoreApplication::translate("CFGRunner", "Cannot open %1: there is no such port")
                .arg("/nonexistent/port");
        QVERIFY(!app->runner()->connectToHost("/nonexistent/port", 38400, false));
        QQuickItem *failure = nullptr;
        QTRY_VERIFY2((failure = app->itemWithText(reason)), qPrintable(reason));
        QTRY_VERIFY(AppUnderTest::fadedIn(failure));
        app->screenshot("language-" + language + "-connection-failed");

        // The import dialog names each backup by its date and dashboard.
        const QString folder = BackupStorage::folder();
        QVERIFY(BackupStorage::ensureFolder(folder));
        QFile backup(BackupStorage::pathFor(folder, "0000"));
        QVERIFY(backup.open(QIODevice::WriteOnly));
        backup.write(BackupFile::encodeHead(
            QJsonObject{{"version", 3}, {"pages", 0}, {"count", 0}, {"disp", 1}}, false));
        backup.close();
        QObject *import = app->object("importConfirm");
        QMetaObject::invokeMethod(import, "open");
        QTRY_VERIFY(import->property("opened").toBool());
        const QString entry = app->property("savedCfgCombo", "currentText").toString();
        QVERIFY2(entry.endsWith(", " + QCoreApplication::translate("main", "FW %1, %2")
                                          .arg(3)
                                          .arg(QCoreApplication::translate("main", "double display")) +
                                " (0000)"),
                 qPrintable(entry));
        app->screenshot("language-" + language + "-import");
        QMetaObject::invokeMethod(import, "close");
        QVERIFY(backup.remove());

        // The window's own settings must not write over the stored choice, also
        // on a first start when none of its other keys are stored yet.
        QCOMPARE(QSettings().value("language").toString(), language);
    }
};

int main(int argc, char **argv)
{
    AppUnderTest::prepareProcess();
    QApplication a(argc, argv);
    TstWindowLanguage tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_windowlanguage.moc"
