// The device pages in the program's real window against the simulated adapter
// and dashboard in the same process: choose the engine, drag a catalogue entry
// onto a display position with synthesized mouse events, change board
// settings, apply, and find the bytes in the dashboard's memory and the pages
// showing what was read back; upload a splash picture; reset the maintenance
// counters. Every sub-page is saved as a screenshot into $KX4_TEST_OUTPUT.
#include "SimSession.h"

#include "app/QDropTextHandler.h"
#include "app/Translators.h"
#include "image/ImageConverter.h"
#include "models/ParameterListModel.h"
#include "ui/UiResources.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPainter>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtEndian>
#include <QtTest>

namespace {

// Every item below `root` in the visual tree (popups included: they live
// under the window's overlay).
void collectItems(QQuickItem *root, QList<QQuickItem *> &out)
{
    for (QQuickItem *child : root->childItems()) {
        out << child;
        collectItems(child, out);
    }
}

bool shownOnScreen(QQuickItem *item)
{
    for (QQuickItem *i = item; i; i = i->parentItem()) {
        if (!i->isVisible() || i->opacity() <= 0)
            return false;
    }
    return true;
}

QByteArray u16(quint16 v)
{
    QByteArray b(2, '\0');
    qToLittleEndian<quint16>(v, reinterpret_cast<uchar *>(b.data()));
    return b;
}

} // namespace

class TstDevPagesEndToEnd : public QObject
{
    Q_OBJECT

    std::unique_ptr<SimSession> session;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
    QTemporaryDir scratch;

    QQuickItem *item(const QString &name) const
    {
        QList<QQuickItem *> all;
        collectItems(window->contentItem(), all);
        for (QQuickItem *i : all) {
            if (i->objectName() == name)
                return i;
        }
        return nullptr;
    }

    // Items, or popups (menus, combo lists), which are not items themselves.
    QObject *object(const QString &name) const
    {
        if (QQuickItem *i = item(name))
            return i;
        return window->findChild<QObject *>(name);
    }

    QVariant prop(const QString &name, const char *property) const
    {
        QQuickItem *i = item(name);
        return i ? i->property(property) : QVariant();
    }

    // A visible, enabled item that takes clicks and shows `text`.
    // "Apply changes" asks first: what the write changes, then OK.
    bool confirmWrite()
    {
        QObject *confirm = object("applyConfirm");
        if (!confirm || !QTest::qWaitFor([&] { return confirm->property("opened").toBool(); }, 3000))
            return false;
        if (confirm->property("lines").toStringList().isEmpty())
            return false;
        QMetaObject::invokeMethod(confirm, "accept");
        return QTest::qWaitFor([&] { return !confirm->property("visible").toBool(); }, 3000);
    }

    QQuickItem *itemWithText(const QString &text) const
    {
        QList<QQuickItem *> all;
        collectItems(window->contentItem(), all);
        for (QQuickItem *i : all) {
            if (i->property("text").toString() == text && i->isEnabled() && shownOnScreen(i) &&
                i->acceptedMouseButtons() != Qt::NoButton)
                return i;
        }
        return nullptr;
    }

    // Whether some visible item shows exactly `text` (a toast, a label).
    bool shownText(const QString &text) const
    {
        QList<QQuickItem *> all;
        collectItems(window->contentItem(), all);
        for (QQuickItem *i : all) {
            if (i->property("text").toString() == text && shownOnScreen(i))
                return true;
        }
        return false;
    }

    static QImage picture(int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setBrush(Qt::black);
        painter.drawEllipse(QRect(width / 6, height / 8, width * 2 / 3, height * 3 / 4));
        painter.setPen(Qt::white);
        painter.setFont(QFont("DejaVu Sans", height / 5, QFont::Bold));
        painter.drawText(QRect(0, 0, width, height), Qt::AlignCenter, "KX4");
        return image;
    }

    // What a drop of `url` on the splash page does.
    bool loadPicture(const QString &url)
    {
        QVariant accepted;
        QMetaObject::invokeMethod(item("imageDrop"), "load", Q_RETURN_ARG(QVariant, accepted),
                                  Q_ARG(QVariant, url));
        return accepted.toBool();
    }

    QPoint centre(QQuickItem *i) const
    {
        return i->mapToScene(QPointF(i->width() / 2, i->height() / 2)).toPoint();
    }

    void click(QQuickItem *i)
    {
        QVERIFY(i);
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre(i));
    }

    void clickText(const QString &text)
    {
        QQuickItem *i = nullptr;
        QVERIFY2(QTest::qWaitFor([&] { return (i = itemWithText(text)) != nullptr; }, 3000),
                 qPrintable(text));
        click(i);
    }

    // Picks `text` from a combo box and waits until its list has gone, so
    // the next click reaches the page.
    void choose(const QString &combo, const QString &text)
    {
        QQuickItem *box = item(combo);
        QVERIFY(box);
        click(box);
        clickText(text);
        QTRY_COMPARE(box->property("currentText").toString(), text);
        QObject *popup = box->property("popup").value<QObject *>();
        QVERIFY(popup);
        QTRY_VERIFY(!popup->property("visible").toBool());
    }

    void chooseSubPage(const QString &entry, int index)
    {
        click(item("selTool"));
        clickText(entry);
        QTRY_COMPARE(prop("devStack", "currentIndex").toInt(), index);
        QObject *menu = object("selMenu");
        QVERIFY(menu);
        QTRY_VERIFY(!menu->property("visible").toBool());
    }

    void screenshot(const QString &name)
    {
        QString dir = qEnvironmentVariable("KX4_TEST_OUTPUT");
        if (dir.isEmpty())
            dir = QDir::tempPath();
        QDir().mkpath(dir);
        // KX4_TEST_LANGUAGE=ru runs the pages in Russian; their pictures say so.
        const QString language = qEnvironmentVariable("KX4_TEST_LANGUAGE");
        const QString file = language.isEmpty() ? name : name + "-" + language;
        QVERIFY(window->grabWindow().save(dir + "/" + file + ".png"));
    }

    // A text as the window shows it (in Russian with KX4_TEST_LANGUAGE=ru).
    static QString ui(const char *context, const char *text)
    {
        return QCoreApplication::translate(context, text);
    }

    bool waitIdleAfter(CFGRunner::State busy)
    {
        return session->waitForState(busy) && session->waitForIdle(20000);
    }

    QVariantList slotsShown() const
    {
        QVariant params;
        QMetaObject::invokeMethod(item("lcd1"), "assembleParams", Q_RETURN_ARG(QVariant, params));
        return params.toList();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(scratch.isValid());
        session = std::make_unique<SimSession>();
        QVERIFY2(session->start(), qPrintable(session->errorString()));
        SimDashboard &dash = session->dashboard();
        dash.setDisp(0);
        // RPM at position 0 and CAT (not offered for diesel engines) at 1.
        dash.writeMemory(0, SimSession::record(12, 2024, 4, 0, 1, "RPM", " rpm") +
                                SimSession::record(60, 2024, 10, 1, 1, "CAT", "  C"));
        dash.writeMemory(0x200, SimSession::boardRecord(6500, 0));
        dash.setValue(SimDashboard::SavedOdometer, 12000);
        dash.setValue(SimDashboard::Odometer, 15250);
        dash.setValue(SimDashboard::SavedEngineTime, 25 * 60);
        dash.setValue(SimDashboard::EngineTime, 65 * 3600);

        qmlRegisterUncreatableType<CFGRunner>("CFGRunner", 1, 0, "CFGRunner",
                                              "Cannot create CFGRunner - use the static instance");
        qmlRegisterUncreatableType<ParameterListModel>(
            "ParameterListModel", 1, 0, "ParameterListModel",
            "Cannot create the ParameterListModel instance");
        engine = std::make_unique<QQmlApplicationEngine>();
        registerDropHandler(engine.get());
        engine->rootContext()->setContextProperty("runner", &session->runner());
        engine->rootContext()->setContextProperty("QT_VERSION_STR", QString(QT_VERSION_STR));
        engine->load(QUrl("qrc:/main.qml"));
        QVERIFY(!engine->rootObjects().isEmpty());
        window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));

        QVERIFY(session->connectRunner());
        QTRY_COMPARE(prop("stack", "currentIndex").toInt(), 2);
    }

    void cleanupTestCase()
    {
        engine.reset();
        session.reset();
    }

    void dashboardShowsCounters()
    {
        QTRY_COMPARE(prop("odoGauge", "value").toDouble(), 3250.0);
        QCOMPARE(prop("odoGauge", "maximumValue").toDouble(), 7000.0);
        QCOMPARE(prop("timeGauge", "value").toDouble(), 40.0);
        QCOMPARE(prop("timeGauge", "maximumValue").toDouble(), 500.0);
        QCOMPARE(prop("odoGauge", "dispText").toString(),
                 ui("Maintenance", "Odometer, km") + "\n12000 / 15250");
        screenshot("devpages-dashboard");
    }

    void layoutAndBoardRoundTrip()
    {
        CFGRunner &runner = session->runner();
        const QJsonObject boost = session->catalogueItem("BOOST");
        QVERIFY(!boost.isEmpty());

        // What was read: RPM at 0, CAT at 1.
        QVariantList shown = slotsShown();
        QCOMPARE(shown.size(), 6);
        QCOMPARE(shown[0].toMap().value("active").toBool(), true);
        QCOMPARE(shown[1].toMap().value("active").toBool(), true);

        chooseSubPage(ui("DevicePage", "Main Screen"), 1);

        // Diesel: CAT is not offered and its position is emptied.
        choose("engineEdit", "Diesel, common rail");
        QTRY_COMPARE(slotsShown()[1].toMap().value("active").toBool(), false);
        QCOMPARE(slotsShown()[0].toMap().value("hid").toUInt(),
                 SimSession::hashOf(session->catalogueItem("RPM")));

        // Find BOOST in the list and drag it onto position 2.
        ParameterListModel *model = runner.paramListModel();
        int row = -1;
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->get(r).value("name").toString() == "BOOST")
                row = r;
        }
        QVERIFY(row >= 0);
        QQuickItem *entry = nullptr;
        QTRY_VERIFY((entry = item(QString("paramEntry%1").arg(row))) != nullptr);
        QQuickItem *target = item("slot2");
        QVERIFY(target);
        const QPoint from = centre(entry);
        const QPoint to = centre(target);
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, from);
        const int steps = 20;
        for (int s = 1; s <= steps; ++s) {
            QTest::mouseMove(window, from + (to - from) * s / steps);
            QCoreApplication::processEvents();
        }
        QTRY_COMPARE(prop("selector", "dragItemIndex").toInt(), row);
        screenshot("devpages-dragging");
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, to);
        const quint32 boostHash = SimSession::hashOf(boost);
        QTRY_COMPARE(slotsShown()[2].toMap().value("hid").toUInt(), boostHash);
        QCOMPARE(prop("slot2", "descr").toString(), runner.describeParam(boostHash));

        // A click on an entry explains it.
        click(entry);
        QTRY_VERIFY(
            prop("detailsField", "text").toString().contains("<th colspan=\"2\">BOOST</th>"));
        // The picture for the README: no messages over the page.
        QTRY_COMPARE_WITH_TIMEOUT(prop("toast", "count").toInt(), 0, 8000);
        screenshot("devpages-display-layout");

        // Board settings: 8000 rpm gauge, menu at start-up, a typed limit.
        chooseSubPage(ui("DevicePage", "Board Config"), 3);
        choose("rpmControl", "8000");
        QVERIFY(!prop("menuSwitch", "checked").toBool());
        click(item("menuSwitch"));
        QTRY_VERIFY(prop("menuSwitch", "checked").toBool());
        QQuickItem *odoText = item("odoControl")->property("contentItem").value<QQuickItem *>();
        QVERIFY(odoText);
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre(odoText));
        QTRY_VERIFY(odoText->hasActiveFocus());
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        for (char c : QByteArray("12345"))
            QTest::keyClick(window, c);
        QCOMPARE(odoText->property("text").toString(), QString("12345"));
        screenshot("devpages-board-config");

        const QByteArray boardBefore = session->memory(0x200, 18);
        click(item("applyTool"));
        QVERIFY(confirmWrite());
        QVERIFY(waitIdleAfter(CFGRunner::Writing));
        // The write is read back 200 ms later.
        QVERIFY(waitIdleAfter(CFGRunner::Reading));

        // The table: RPM at position 0, BOOST at position 2.
        QByteArray boostRecord = u16(11) + u16(2024) + QByteArray(1, '\0') + u16(quint16(-1)) +
                                 u16(100) + QByteArray(1, '\1') + QByteArray(1, '\1') +
                                 QByteArray(1, '\2') + "BOOST " + " bar";
        QCOMPARE(boostRecord.size(), 22);
        QCOMPARE(session->memory(22, 22).toHex(' '), boostRecord.toHex(' '));
        QCOMPARE(session->memory(0, 22).mid(10, 2).toHex(), QByteArray("0100"));
        QCOMPARE(session->memory(0, 22).mid(12, 6), QByteArray("RPM   "));
        QCOMPARE(int(session->dashboard().count()), 2);

        QByteArray boardAfter = boardBefore;
        boardAfter[3] = 1;                                          // rpm: 8000
        boardAfter.replace(8, 2, u16(quint16(boardBefore[8] | 2))); // menu at start-up
        boardAfter.replace(12, 2, u16(12345));                      // km limit
        boardAfter.replace(16, 2, u16(3));                          // engine: diesel
        QCOMPARE(session->memory(0x200, 18).toHex(' '), boardAfter.toHex(' '));

        // The pages after the re-read.
        QTRY_COMPARE(prop("devStack", "currentIndex").toInt(), 3);
        QCOMPARE(slotsShown()[2].toMap().value("hid").toUInt(), boostHash);
        QCOMPARE(slotsShown()[1].toMap().value("active").toBool(), false);
        QCOMPARE(prop("rpmControl", "currentText").toString(), QString("8000"));
        QCOMPARE(prop("odoControl", "value").toInt(), 12345);
        QCOMPARE(prop("engineEdit", "currentText").toString(), QString("Diesel, common rail"));
        QCOMPARE(prop("odoGauge", "maximumValue").toDouble(), 12500.0);
    }

    // The double display has 13 positions; the user's layout carries over.
    void doubleDisplay()
    {
        chooseSubPage(ui("DevicePage", "Main Screen"), 1);
        const QVariantList before = slotsShown();
        QMetaObject::invokeMethod(item("devPage"), "selectDisplay", Q_ARG(QVariant, 1));
        QCOMPARE(prop("dispSelector", "currentText").toString(), QString("Double"));
        const QVariantList after = slotsShown();
        QCOMPARE(after.size(), 13);
        QCOMPARE(after.mid(0, 6), before);
        QQuickItem *small = item("slot12");
        QVERIFY(small && small->height() <= 32);
        screenshot("devpages-display-double");
        QMetaObject::invokeMethod(item("devPage"), "selectDisplay", Q_ARG(QVariant, 0));
        QCOMPARE(slotsShown(), before);
    }

    // "Save layout..." and "Load layout...": the pages saved to a profile, the profile
    // edited and loaded (nothing written until "Apply changes"), a refused profile
    // changing nothing, then applied and read back.
    void layoutProfile()
    {
        chooseSubPage(ui("DevicePage", "Main Screen"), 1);
        click(item("selTool"));
        QTRY_VERIFY(itemWithText(ui("DevicePage", "Load layout...")) != nullptr);
        QVERIFY(itemWithText(ui("DevicePage", "Save layout...")) != nullptr);
        QObject *menu = object("selMenu");
        QTRY_VERIFY(menu->property("opened").toBool());
        screenshot("devpages-layout-menu");
        QMetaObject::invokeMethod(menu, "close");
        QTRY_VERIFY(!menu->property("visible").toBool());

        QObject *page = object("devPage");
        const QString saved = scratch.filePath("layout.json");
        QMetaObject::invokeMethod(page, "saveLayout",
                                  Q_ARG(QVariant, QUrl::fromLocalFile(saved).toString()));
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QJsonObject profile = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(profile.value("engine").toString(), prop("engineEdit", "currentText").toString());
        QJsonArray positions = profile.value("positions").toArray();
        QCOMPARE(positions.size(), 6);
        QCOMPARE(positions[0].toObject().value("name").toString(), QString("RPM"));

        // Another user's edit: SPEED at position 4, the RPM warning at 7000.
        positions[3] = QJsonObject{{"name", "SPEED"}, {"pid", 13}, {"cid", 2024}};
        profile["positions"] = positions;
        QJsonObject board = profile.value("board").toObject();
        board["rpmlim"] = 7000;
        profile["board"] = board;
        const QString edited = scratch.filePath("edited.json");
        QFile out(edited);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(profile).toJson());
        out.close();

        const QByteArray memoryBefore = session->memory(0, 0x212);
        const QVariantList slotsBefore = slotsShown();
        QSignalSpy alerts(&session->runner(), &CFGRunner::alert);
        const QString bad = scratch.filePath("bad.json");
        QFile badFile(bad);
        QVERIFY(badFile.open(QIODevice::WriteOnly));
        QJsonObject badProfile = profile;
        badProfile["engine"] = "Steam";
        badFile.write(QJsonDocument(badProfile).toJson());
        badFile.close();
        QVariant loaded;
        QMetaObject::invokeMethod(page, "loadLayout", Q_RETURN_ARG(QVariant, loaded),
                                  Q_ARG(QVariant, QUrl::fromLocalFile(bad).toString()));
        QCOMPARE(loaded.toBool(), false);
        QCOMPARE(alerts.count(), 1);
        QCOMPARE(alerts[0][0].toString(),
                 ui("LayoutProfile", "The layout names an unknown engine \"%1\"").arg("Steam"));
        QCOMPARE(slotsShown(), slotsBefore);

        QMetaObject::invokeMethod(page, "loadLayout", Q_RETURN_ARG(QVariant, loaded),
                                  Q_ARG(QVariant, QUrl::fromLocalFile(edited).toString()));
        QCOMPARE(loaded.toBool(), true);
        const quint32 speed = SimSession::hashOf(session->catalogueItem("SPEED"));
        QCOMPARE(slotsShown()[3].toMap().value("hid").toUInt(), speed);
        QCOMPARE(slotsShown()[0], slotsBefore[0]);
        QCOMPARE(prop("rpmlimControl", "value").toInt(), 7000);
        QCOMPARE(prop("devStack", "currentIndex").toInt(), 1);
        QCOMPARE(session->memory(0, 0x212), memoryBefore);
        QQuickItem *toast = nullptr;
        QTRY_VERIFY(
            (toast = itemWithText(ui("DevicePage", "Layout loaded: \"Apply changes\" writes it"))));
        // Faded in, for the screenshot.
        QTRY_VERIFY([toast] {
            qreal opacity = 1;
            for (QQuickItem *i = toast; i; i = i->parentItem())
                opacity *= i->opacity();
            return opacity > 0.85;
        }());
        screenshot("devpages-layout-loaded");

        click(item("applyTool"));
        QVERIFY(confirmWrite());
        QVERIFY(waitIdleAfter(CFGRunner::Writing));
        QVERIFY(waitIdleAfter(CFGRunner::Reading));
        QCOMPARE(session->memory(0x200 + 10, 2), u16(7000));
        QTRY_COMPARE(slotsShown()[3].toMap().value("hid").toUInt(), speed);
        // The profile saved now is the edited one.
        QMetaObject::invokeMethod(page, "saveLayout",
                                  Q_ARG(QVariant, QUrl::fromLocalFile(saved).toString()));
        file.close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject again = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(again.value("positions"), profile.value("positions"));
        QCOMPARE(again.value("board"), profile.value("board"));
    }

    // The dialog shown by "Save layout..." or "Load layout...": the file dialog widget.
    QFileDialog *openLayoutDialog(const char *entry)
    {
        click(item("selTool"));
        clickText(ui("DevicePage", entry));
        QFileDialog *shown = nullptr;
        // A dialog that never shows is the caller's failure: it gets nullptr.
        (void)QTest::qWaitFor(
            [&] {
                for (QWidget *w : QApplication::topLevelWidgets()) {
                    if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible())
                        shown = d;
                }
                return shown != nullptr;
            },
            5000);
        return shown;
    }

    // "Save layout..." adds ".json" to a name without an extension (asking first when
    // that file exists, which the dialog did not ask about); the dialogs open in the
    // folder used last, with no name left in them from before.
    void layoutFileDialogs()
    {
        QObject *page = object("devPage");
        const QString plain = scratch.filePath("plain");
        QMetaObject::invokeMethod(page, "saveLayoutAs",
                                  Q_ARG(QVariant, QUrl::fromLocalFile(plain).toString()));
        QVERIFY(QFile::exists(plain + ".json"));
        QVERIFY(!QFile::exists(plain));
        QFile kept(plain + ".json");
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.write("kept");
        kept.close();
        QMetaObject::invokeMethod(page, "saveLayoutAs",
                                  Q_ARG(QVariant, QUrl::fromLocalFile(plain).toString()));
        QObject *replace = object("replaceConfirm");
        QVERIFY(replace);
        QTRY_VERIFY(replace->property("opened").toBool());
        QTest::qWait(200);
        screenshot("devpages-layout-replace");
        QMetaObject::invokeMethod(replace, "reject");
        QTRY_VERIFY(!replace->property("visible").toBool());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("kept"));
        kept.close();
        QMetaObject::invokeMethod(page, "saveLayoutAs",
                                  Q_ARG(QVariant, QUrl::fromLocalFile(plain).toString()));
        QTRY_VERIFY(replace->property("opened").toBool());
        QMetaObject::invokeMethod(replace, "accept");
        QTRY_VERIFY(!replace->property("visible").toBool());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QVERIFY(kept.readAll().contains("veltrokx4-layout"));
        kept.close();

        // Through the dialog itself: a name given, then the dialog again.
        QDir().mkpath(scratch.filePath("profiles"));
        QMetaObject::invokeMethod(
            page, "saveLayoutAs",
            Q_ARG(QVariant,
                  QUrl::fromLocalFile(scratch.filePath("profiles/first.json")).toString()));
        for (const char *entry : {"Save layout...", "Load layout..."}) {
            QFileDialog *dialog = openLayoutDialog(entry);
            QVERIFY2(dialog, entry);
            QCOMPARE(dialog->directory().absolutePath(), scratch.filePath("profiles"));
            QLineEdit *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            QVERIFY(name);
            QCOMPARE(name->text(), QString());
            if (QByteArray(entry) == "Save layout...") {
                name->setText("second");
                QMetaObject::invokeMethod(dialog, "accept");
                QTRY_VERIFY(QFile::exists(scratch.filePath("profiles/second.json")));
                dialog = openLayoutDialog(entry);
                QVERIFY(dialog);
                name = dialog->findChild<QLineEdit *>("fileNameEdit");
                QVERIFY(name);
                QCOMPARE(name->text(), QString());
            }
            dialog->reject();
            QTRY_VERIFY(!dialog->isVisible());
        }
    }

    void splashPageWithoutPicture()
    {
        chooseSubPage(ui("DevicePage", "Splash Screen"), 2);
        QCOMPARE(prop("imageInfo", "text").toString(), ui("CFGRunner", "No image"));
        QVERIFY(!prop("clearButton", "enabled").toBool());
        // Apply without a picture only says so.
        const int writes = session->dashboard().writesDone();
        click(item("applyTool"));
        QTRY_VERIFY(shownText(ui("DevicePage", "Splash is not ready")));
        QCOMPARE(session->runner().getState(), CFGRunner::Idle);
        QCOMPARE(session->dashboard().writesDone(), writes);
        screenshot("devpages-splash-empty");
    }

    void splashUpload()
    {
        chooseSubPage(ui("DevicePage", "Splash Screen"), 2);
        const QString file = scratch.filePath("splash.png");
        QVERIFY(picture(124, 88).save(file));

        // The path a drop of that file takes.
        QVERIFY(loadPicture(QUrl::fromLocalFile(file).toString()));
        QTRY_VERIFY(prop("imageInfo", "text").toString().contains("splash.png"));
        QVERIFY(prop("imageInfo", "text").toString().contains("124x88"));
        QVERIFY(prop("clearButton", "enabled").toBool());
        screenshot("devpages-splash");

        // The dashboard gets exactly the single display's page stream of the picture.
        ImageConverter expected;
        expected.applyDisplayProfile(0);
        QVERIFY(expected.load(file));
        const QByteArray stream = expected.bitmap();
        QVERIFY(stream.size() > 1000);
        click(item("applyTool"));
        QVERIFY(waitIdleAfter(CFGRunner::Uploading));
        // Over in milliseconds here: the full bar stays a moment, and a toast says it is
        // done.
        QCOMPARE(prop("stack", "currentIndex").toInt(), 1);
        QCOMPARE(prop("progressBar", "value").toDouble(), 1.0);
        QTRY_VERIFY(shownText(ui("main", "Splash screen uploaded")));
        QTest::qWait(300); // the message fades in
        screenshot("devpages-splash-uploaded");
        QTRY_COMPARE(prop("stack", "currentIndex").toInt(), 2);
        QVERIFY(shownText(ui("main", "Splash screen uploaded")));
        QCOMPARE(session->memory(0x400, stream.size()).toHex(' '), stream.toHex(' '));
        QCOMPARE(session->memory(0x400 + stream.size(), 6), QByteArray(6, '\xFF'));
        QTRY_COMPARE(prop("devStack", "currentIndex").toInt(), 2);

        // A picture larger than the display is refused, saying why, and leaves nothing to
        // upload.
        const QString large = scratch.filePath("large.png");
        QVERIFY(picture(400, 300).save(large));
        QVERIFY(!loadPicture(QUrl::fromLocalFile(large).toString()));
        QTRY_VERIFY(shownText(
            ui("CFGRunner", "Cannot load %1").arg(QUrl::fromLocalFile(large).toString()) + "\n" +
            ui("CFGRunner", "%1 is larger than the display's %2")
                .arg(QString::fromUtf8("400 × 300"), QString::fromUtf8("124 × 88"))));
        QTest::qWait(400); // the message fades in
        screenshot("devpages-splash-refused");
        QCOMPARE(prop("imageInfo", "text").toString(), ui("CFGRunner", "No image"));
        QCOMPARE(prop("imageDrop", "src").toString(), QString());

        // Loaded again and cleared, the page has nothing to upload any more.
        QVERIFY(loadPicture(QUrl::fromLocalFile(file).toString()));
        click(item("clearButton"));
        QTRY_COMPARE(prop("imageInfo", "text").toString(), ui("CFGRunner", "No image"));
        QVERIFY(!session->runner().canUploadSplash());
    }

    // Asked first; then the interval starts at the current counters and the dashboard
    // page shows the values read back.
    void resetMaintenance()
    {
        QCOMPARE(session->dashboard().value(SimDashboard::SavedOdometer), 12000u);
        chooseSubPage(ui("DevicePage", "Dashboard"), 0);
        click(item("selTool"));
        clickText(ui("DevicePage", "Reset Maintenance"));
        QObject *dialog = object("resetConfirm");
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->property("opened").toBool());
        // The window's own dialog, inside the window.
        QQuickItem *box = qobject_cast<QQuickItem *>(dialog->property("contentItem").value<QObject *>());
        QVERIFY(box);
        const QRectF shown = box->mapRectToScene(QRectF(0, 0, box->width(), box->height()));
        QVERIFY(QRectF(0, 0, window->width(), window->height()).contains(shown));
        screenshot("devpages-reset-question");
        // One OK is one reset: no second one refused while the first is writing.
        QSignalSpy alerts(&session->runner(), &CFGRunner::alert);
        clickText(ui("QPlatformTheme", "OK"));
        QVERIFY(waitIdleAfter(CFGRunner::GenWrite));
        QCOMPARE(session->dashboard().value(SimDashboard::SavedOdometer), 15250u);
        QCOMPARE(session->dashboard().value(SimDashboard::SavedEngineTime), 65u * 60);
        QCOMPARE(session->dashboard().value(SimDashboard::Odometer), 15250u);
        QTRY_COMPARE(prop("odoGauge", "value").toDouble(), 0.0);
        QTRY_COMPARE(prop("timeGauge", "value").toDouble(), 0.0);
        QTRY_COMPARE(prop("devStack", "currentIndex").toInt(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(prop("toast", "count").toInt(), 0, 8000);
        QCOMPARE(alerts.count(), 0);
        screenshot("devpages-dashboard-after-reset");
    }

    // In a 640 x 480 window the board settings take one label and control a row: the
    // right-hand column is not cut off, and the page scrolls down to the last setting.
    void boardSettingsInSmallWindow()
    {
        chooseSubPage(ui("DevicePage", "Board Config"), 3);
        QCOMPARE(prop("boardGrid", "columns").toInt(), 4);
        const QSize before = window->size();
        window->resize(640, 480);
        QTRY_COMPARE(window->width(), 640);
        QQuickItem *flick = item("boardFlick");
        QVERIFY(flick);
        QTRY_COMPARE(prop("boardGrid", "columns").toInt(), 2);
        QTRY_COMPARE(flick->property("contentWidth").toDouble(), flick->width());
        for (const char *name : {"auxgControl", "speedControl", "timeControl", "rpmlimControl"}) {
            QQuickItem *control = item(name);
            QVERIFY(control);
            const QRectF at = control->mapRectToItem(flick, QRectF(0, 0, control->width(), 1));
            QVERIFY2(at.left() >= 0 && at.right() <= flick->width(), name);
        }
        QTest::qWait(300); // the scroll bars fade in and out
        screenshot("devpages-board-config-640");
        QVERIFY(flick->property("contentHeight").toDouble() > flick->height());
        flick->setProperty("contentY",
                           flick->property("contentHeight").toDouble() - flick->height());
        QQuickItem *last = item("rpmlimControl");
        const QRectF at = last->mapRectToItem(flick, QRectF(0, 0, last->width(), last->height()));
        QVERIFY(at.top() >= 0 && at.bottom() <= flick->height());
        QTest::qWait(300);
        screenshot("devpages-board-config-640-scrolled");
        flick->setProperty("contentY", 0);
        window->resize(before);
        QTRY_COMPARE(window->size(), before);
    }
};

int main(int argc, char **argv)
{
    initUiResources();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling); // always on in Qt 6
#endif
    QApplication app(argc, argv);
    app.setOrganizationName("Veltro");
    app.setApplicationName("VeltroKX4");
    QStandardPaths::setTestModeEnabled(true);
    const QString language = qEnvironmentVariable("KX4_TEST_LANGUAGE");
    std::unique_ptr<QTranslator> translator;
    if (!language.isEmpty()) {
        QSettings().setValue("language", language);
        translator.reset(installTranslators(&app, "lang"));
    }
    // The adapter traffic is not what these tests look at.
    QLoggingCategory::setFilterRules("kx4.*.debug=false\nkx4.*.info=false\nqml=false");
    TstDevPagesEndToEnd tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_devpages_e2e.moc"
