// The main window's reactions to the controller, with the controller's signals
// emitted straight at the window (no dashboard needed): page changes, progress
// captions, maintenance values, menu enabling, toasts and the small dialogs.
#include "AppUnderTest.h"

#include "runner/CFGRunner.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TstMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppUnderTest> app;

    void click(QQuickItem *item) { app->click(item); }

    // The file dialog the window opened, a widget of its own.
    static QFileDialog *visibleFileDialog()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible())
                return d;
        return nullptr;
    }

    static void saveShot(QWidget *w, const QString &name)
    {
        QString dir = qEnvironmentVariable("KX4_TEST_OUTPUT");
        if (dir.isEmpty())
            dir = QDir::tempPath();
        QDir().mkpath(dir);
        w->grab().save(dir + "/" + name + ".png");
    }

private slots:
    void initTestCase() { AppUnderTest::prepareApplication(); }

    void init()
    {
        QSettings().clear();
        app = std::make_unique<AppUnderTest>();
        QVERIFY(app->start());
    }

    void cleanup() { app.reset(); }

    void initialState()
    {
        QCOMPARE(app->property("window", "title").toString(), QString("Veltro KX4 Config"));
        QCOMPARE(app->stackIndex(), 0);
        QCOMPARE(app->property("connIndicator", "state").toString(), QString("none"));
        for (const char *name : {"connAbortMenu", "bkpMenu", "rstMenu", "dfuMenu"})
            QVERIFY2(!app->isEnabled(name), name);
        // Our own icons, read by the framework's ICO plug-in.
        QVERIFY(!QApplication::windowIcon().pixmap(32, 32).isNull());
        app->screenshot("window-start");
    }

    void stateTable_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("index");       // -1: unchanged
        QTest::addColumn<QVariant>("busy");   // invalid: unchanged
        QTest::addColumn<QString>("caption"); // "=": unchanged

        QTest::newRow("NotConnected")
            << int(CFGRunner::NotConnected) << -1 << QVariant(true) << "Disconnecting";
        QTest::newRow("Connecting")
            << int(CFGRunner::Connecting) << 1 << QVariant(true) << "Connecting";
        QTest::newRow("Idle") << int(CFGRunner::Idle) << 2 << QVariant() << "=";
        QTest::newRow("Reading") << int(CFGRunner::Reading) << 1 << QVariant(false)
                                 << "Reading data";
        QTest::newRow("Writing") << int(CFGRunner::Writing) << 1 << QVariant(false)
                                 << "Writing data";
        QTest::newRow("GenWrite") << int(CFGRunner::GenWrite) << 1 << QVariant(false)
                                  << "Writing data";
        QTest::newRow("Uploading")
            << int(CFGRunner::Uploading) << 1 << QVariant(false) << "Uploading splash screen";
        QTest::newRow("Rebooting")
            << int(CFGRunner::Rebooting) << 1 << QVariant(true) << "Rebooting";
        QTest::newRow("Exporting")
            << int(CFGRunner::Exporting) << 1 << QVariant(false) << "Exporting data";
        QTest::newRow("Importing")
            << int(CFGRunner::Importing) << 1 << QVariant(false) << "Importing data";
    }

    void stateTable()
    {
        QFETCH(int, state);
        QFETCH(int, index);
        QFETCH(QVariant, busy);
        QFETCH(QString, caption);

        // Start from a recognisable page and caption, so "unchanged" is visible.
        QQuickItem *progress = app->item("progressPage");
        progress->setProperty("text", "before");
        progress->setProperty("busy", !busy.toBool());
        app->item("stack")->setProperty("currentIndex", 2);
        const bool busyBefore = progress->property("busy").toBool();

        emit app->runner()->stateChanged(CFGRunner::State(state));

        QCOMPARE(app->stackIndex(), index < 0 ? 2 : index);
        QCOMPARE(progress->property("busy").toBool(), busy.isValid() ? busy.toBool() : busyBefore);
        QCOMPARE(progress->property("text").toString(), caption == "=" ? "before" : caption);
    }

    void readingAfterIdle_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("timeLeft");
        QTest::newRow("en") << "en" << "About 2 min 10 s left";
        QTest::newRow("ru") << "ru" << QString::fromUtf8("Осталось около 2 мин 10 с");
    }

    // Reading after Idle goes back to the progress page with a determinate bar, and the
    // time left once the controller has an estimate.
    void readingAfterIdle()
    {
        QFETCH(QString, language);
        QFETCH(QString, timeLeft);
        app.reset();
        QSettings().setValue("language", language);
        app = std::make_unique<AppUnderTest>();
        QVERIFY(app->start());
        CFGRunner *r = app->runner();
        emit r->stateChanged(CFGRunner::Connecting);
        emit r->stateChanged(CFGRunner::Idle);
        QCOMPARE(app->stackIndex(), 2);
        emit r->stateChanged(CFGRunner::Reading);
        emit r->progress(0.25);
        QCOMPARE(app->stackIndex(), 1);
        QQuickItem *bar = app->item("progressBar");
        QCOMPARE(bar->property("indeterminate").toBool(), false);
        QCOMPARE(bar->property("value").toDouble(), 0.25);
        QQuickItem *left = app->item("timeLeftLabel");
        QCOMPARE(left->property("text").toString(), QString());
        emit r->timeLeftChanged(130400);
        QCOMPARE(left->property("text").toString(), timeLeft);
        app->screenshot("window-progress-" + language);
        emit r->timeLeftChanged(-1);
        QCOMPARE(left->property("text").toString(), QString());
    }

    void connectionMenus()
    {
        CFGRunner *r = app->runner();
        emit r->connectedToHost();
        QCOMPARE(app->stackIndex(), 1);
        QCOMPARE(app->property("connIndicator", "state").toString(), QString("connected"));
        for (const char *name : {"connAbortMenu", "bkpMenu", "rstMenu", "dfuMenu"})
            QVERIFY2(app->isEnabled(name), name);

        // A restart takes the device entries away but leaves "Disconnect".
        emit r->stateChanged(CFGRunner::Rebooting);
        QVERIFY(app->isEnabled("connAbortMenu"));
        for (const char *name : {"bkpMenu", "rstMenu", "dfuMenu"})
            QVERIFY2(!app->isEnabled(name), name);

        emit r->disconnectedFromHost();
        QCOMPARE(app->stackIndex(), 0);
        QCOMPARE(app->property("connIndicator", "state").toString(), QString("none"));
        for (const char *name : {"connAbortMenu", "bkpMenu", "rstMenu", "dfuMenu"})
            QVERIFY2(!app->isEnabled(name), name);
    }

    // A failed attempt, whenever it ends: back on the connection page, not
    // connecting any more, and the reason on screen.
    void connectionFailure_data()
    {
        QTest::addColumn<bool>("portOpened");
        QTest::newRow("port not opened") << false;
        QTest::newRow("no dashboard") << true;
    }

    void connectionFailure()
    {
        QFETCH(bool, portOpened);
        CFGRunner *r = app->runner();
        QObject *page = app->object("connectionPage");
        page->setProperty("connecting", true);
        app->item("connIndicator")->setProperty("state", "connecting");
        if (portOpened) {
            emit r->connectedToHost();
            emit r->stateChanged(CFGRunner::Reading);
        }
        emit r->connectionFailed("No adapter answered on /dev/ttyUSB0 at any baud rate");
        QCOMPARE(app->stackIndex(), 0);
        QCOMPARE(page->property("connecting").toBool(), false);
        QCOMPARE(app->property("connIndicator", "state").toString(), QString("none"));
        QVERIFY(!app->isEnabled("connAbortMenu"));
        QTRY_COMPARE(app->toastTexts(),
                     QStringList{"No adapter answered on /dev/ttyUSB0 at any baud rate"});
        app->screenshot("window-connection-failed");
    }

    // The disabled sub-menu cannot be opened with the mouse either.
    void disabledEntriesRefuseClicks()
    {
        QVERIFY(!app->triggerMenu({"Backup"}));
        QVERIFY(!app->triggerMenu({"Disconnect"}));
        QVERIFY(app->triggerMenu({"About"}));
        QObject *about = app->object("aboutDialog");
        QTRY_VERIFY(about->property("opened").toBool());
    }

    void saveDiagnostics_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("en") << "en";
        QTest::newRow("ru") << "ru";
    }

    // "Save diagnostics..." works without a connection too: it opens a file dialog, and
    // the file chosen there receives the report.
    void saveDiagnostics()
    {
        QFETCH(QString, language);
        app.reset();
        QSettings().setValue("language", language);
        app = std::make_unique<AppUnderTest>();
        QVERIFY(app->start());
        const auto tr = [](const char *text) { return QCoreApplication::translate("main", text); };

        QVERIFY(app->isEnabled("diagnosticsMenu"));
        click(app->item("menuTool"));
        QTRY_VERIFY(app->object("mainMenu")->property("opened").toBool());
        app->screenshot("menu-diagnostics-" + language);
        QMetaObject::invokeMethod(app->object("mainMenu"), "close");
        QTRY_VERIFY(!app->object("mainMenu")->property("visible").toBool());

        QVERIFY(app->triggerMenu({tr("Save diagnostics...")}));
        QFileDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = visibleFileDialog()) != nullptr);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->windowTitle(), tr("Save diagnostics"));
        saveShot(dialog, "dialog-diagnostics-" + language);

        QTemporaryDir dir;
        const QString file = dir.filePath("report.txt");
        dialog->setDirectory(dir.path());
        // Typed in, as a user does.
        auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
        QVERIFY(name);
        name->setText("report.txt");
        QMetaObject::invokeMethod(dialog, "accept"); // as the Save button does
        QTRY_VERIFY2(QFile::exists(file), qPrintable(app->toastTexts().join(" | ")));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readLine().startsWith("VeltroKX4 diagnostics report"));
        QTRY_COMPARE(app->toastTexts(),
                     QStringList{tr("Diagnostics saved to %1").arg("report.txt")});
    }

    void maintenanceValues()
    {
        CFGRunner *r = app->runner();
        emit r->deviceParam(CFGRunner::PP_ODO_Saved, QVariant(quint32(12000)));
        emit r->deviceParam(CFGRunner::PP_ODO_Current, QVariant(quint32(15500)));
        emit r->deviceParam(CFGRunner::PP_TIM_Saved, QVariant(quint32(90))); // minutes
        emit r->deviceParam(CFGRunner::PP_TIM_Current, QVariant(quint32(5400 * 2 + 1800)));
        QVariantMap board{{"version", 1}, {"warnodo", 9000}, {"warntime", 10950}, {"engidx", 1}};
        emit r->boardConfig(board);

        QObject *maint = app->object("maint");
        QVERIFY(maint);
        QCOMPARE(maint->property("odoSaved").toDouble(), 12000.0);
        QCOMPARE(maint->property("odoCurrent").toDouble(), 15500.0);
        QCOMPARE(maint->property("timeSaved").toDouble(), 2.0);   // round(90 / 60) = round(1.5)
        QCOMPARE(maint->property("timeCurrent").toDouble(), 4.0); // round(12600 / 3600)
        QCOMPARE(maint->property("odoLimit").toDouble(), 9000.0);
        QCOMPARE(maint->property("timeLimit").toDouble(), 183.0); // round(182.5)

        // A record without those keys leaves the limits alone.
        emit r->boardConfig(QVariantMap{{"version", 2}});
        QCOMPARE(maint->property("odoLimit").toDouble(), 9000.0);
        QCOMPARE(maint->property("timeLimit").toDouble(), 183.0);
    }

    void deviceInfoAndAlertToasts()
    {
        CFGRunner *r = app->runner();
        emit r->deviceInfo(QVariantMap{{"version", 7}, {"count", 5}, {"disp", 1}});
        emit r->alert("Communication error: no data");
        QTRY_COMPARE(app->toastTexts().size(), 2);
        QCOMPARE(app->toastTexts(),
                 QStringList({"Communication error: no data", "Connected to\nFW 7\nConfig: 5"}));
        QCOMPARE(app->property("dispSelector", "currentText").toString(), QString("Double"));

        QQuickItem *list = app->item("toast");
        QQuickItem *alertToast = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, alertToast),
                                  Q_ARG(int, 0));
        // Long enough to read: 60 ms a character, at least 1.5 s.
        QCOMPARE(alertToast->property("time").toDouble(), 28 * 60.0);
        app->screenshot("window-toasts");
    }

    void languageDialog_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("storedAfter");
        QTest::addColumn<bool>("toast");

        QTest::newRow("en to ru") << "en" << 1 << "ru" << true;
        QTest::newRow("ru kept") << "ru" << 1 << "ru" << false;
        QTest::newRow("ru to en") << "ru" << 0 << "en" << true;
    }

    void languageDialog()
    {
        QFETCH(QString, stored);
        QFETCH(int, choice);
        QFETCH(QString, storedAfter);
        QFETCH(bool, toast);

        // Restart with the stored language in place.
        app.reset();
        QSettings().setValue("language", stored);
        app = std::make_unique<AppUnderTest>();
        QVERIFY(app->start());

        QObject *dialog = app->object("langDialog");
        QMetaObject::invokeMethod(dialog, "open");
        QTRY_VERIFY(dialog->property("opened").toBool());
        QCOMPARE(app->property("langCombo", "currentIndex").toInt(), stored == "ru" ? 1 : 0);
        app->item("langCombo")->setProperty("currentIndex", choice);
        QMetaObject::invokeMethod(dialog, "accept");

        QTRY_COMPARE(QSettings().value("language").toString(), storedAfter);
        // In the language the window was started in.
        if (toast)
            QTRY_COMPARE(app->toastTexts(), QStringList{QCoreApplication::translate(
                                                "main", "Restart the app to apply changes")});
        else
            QCOMPARE(app->toastTexts(), QStringList());
    }

    // Where each dialog opens, for a few window shapes.
    void dialogGeometry_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QSize>("window");

        const QStringList dialogs = {"deviceDialog", "langDialog",     "importConfirm", "rstConfirm",
                                     "aboutDialog",  "upgradeConfirm", "resetConfirm"};
        for (const QString &dialog : dialogs) {
            for (const QSize &size : {QSize(800, 600), QSize(1201, 500), QSize(451, 901)}) {
                QTest::addRow("%s %dx%d", qPrintable(dialog), size.width(), size.height())
                    << dialog << size;
            }
        }
    }

    void dialogGeometry()
    {
        QFETCH(QString, dialog);
        QFETCH(QSize, window);

        QQuickWindow *w = app->window();
        w->resize(window);
        QTRY_COMPARE(w->size(), window);
        const double W = window.width();
        const double H = window.height();

        QObject *d = app->object(dialog);
        QMetaObject::invokeMethod(d, "open");
        QTRY_VERIFY(d->property("opened").toBool());

        double width = 0;
        bool roundX = false;
        if (dialog == "deviceDialog") {
            width = qRound(qMin(W, qMax(2 * W / 3, 400.0)));
            roundX = true;
        } else if (dialog == "langDialog") {
            width = qMin(W, qMax(double(qRound(W / 2)), 300.0));
            roundX = true;
        } else if (dialog == "aboutDialog") {
            width = 2 * qMin(W, H) / 3;
        } else if (dialog == "importConfirm") {
            // Wide enough for a backup's date, dashboard and file.
            width = qMin(W - 20, qMax(qMin(W, H) / 2, 620.0));
        } else {
            width = qMin(W, H) / 2;
        }
        const double height = d->property("height").toDouble();
        const double x = roundX ? qRound((W - width) / 2) : (W - width) / 2;
        const double y = qRound(qMin(H / 6, (H - height) / 2));
        QCOMPARE(d->property("width").toDouble(), width);
        QCOMPARE(d->property("x").toDouble(), x);
        QCOMPARE(d->property("y").toDouble(), y);
        // None of its controls sticks out at the sides (the controls' own
        // decorations, such as ripples, may).
        QQuickItem *content = qvariant_cast<QQuickItem *>(d->property("contentItem"));
        QVERIFY(content);
        QList<QQuickItem *> todo = content->childItems();
        while (!todo.isEmpty()) {
            QQuickItem *i = todo.takeFirst();
            if (!i->isVisible())
                continue;
            const QRectF r = i->mapRectToItem(content, QRectF(0, 0, i->width(), i->height()));
            QVERIFY2(r.left() >= -1 && r.right() <= content->width() + 1,
                     qPrintable(QString("%1 spans %2..%3 of %4")
                                    .arg(i->metaObject()->className())
                                    .arg(r.left())
                                    .arg(r.right())
                                    .arg(content->width())));
            if (!i->inherits("QQuickControl"))
                todo << i->childItems();
        }
        app->screenshot(
            QString("dialog-%1-%2x%3").arg(dialog).arg(window.width()).arg(window.height()));
    }

    void aboutBox()
    {
        QVERIFY(app->triggerMenu({"About"}));
        QObject *about = app->object("aboutDialog");
        QTRY_VERIFY(about->property("opened").toBool());
        const QString credits = app->property("aboutCredits", "text").toString();
        QVERIFY2(credits.contains(QString("Qt Framework ") + QT_VERSION_STR), qPrintable(credits));
        QVERIFY(!credits.contains("5.11.1") || QString(QT_VERSION_STR) == "5.11.1");
        QTRY_COMPARE(app->property("aboutLogo", "status").toInt(), 1); // Image.Ready
        QCOMPARE(app->property("aboutVersion", "text").toString(),
                 QString("Veltro KX4 Config 0.2.0"));

        // Centred, two thirds of the shorter side wide.
        QQuickWindow *w = app->window();
        QCOMPARE(about->property("width").toDouble(), 2.0 * qMin(w->width(), w->height()) / 3);
        QCOMPARE(about->property("x").toDouble(),
                 (w->width() - about->property("width").toDouble()) / 2);
        app->screenshot("window-about");
    }
};

int main(int argc, char **argv)
{
    AppUnderTest::prepareProcess();
    QApplication a(argc, argv);
    TstMainWindow tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_mainwindow.moc"
