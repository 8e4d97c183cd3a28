// The update-checking edition's window against the simulated dashboard and a feed served
// on 127.0.0.1: its title and menu, the device page with two sub-pages, the engine chosen
// by name, a table-only write from "Apply changes", and the news of a newer version as a
// toast, in the about box and as the update offer. Screenshots go to $KX4_TEST_OUTPUT.

#include "FeedServer.h"
#include "SimSession.h"

#include "app/AppShell.h"
#include "models/ParameterListModel.h"
#include "ui/UiResources.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QtTest>

namespace {

void collectItems(QQuickItem *root, QList<QQuickItem *> &out)
{
    for (QQuickItem *child : root->childItems()) {
        out << child;
        collectItems(child, out);
    }
}

} // namespace

class tst_EditionWindow : public QObject
{
    Q_OBJECT

    QObject *object(const char *name) const
    {
        return engine->rootObjects().first()->findChild<QObject *>(QLatin1String(name));
    }
    QVariant prop(const char *name, const char *property) const
    {
        QObject *o = object(name);
        return o ? o->property(property) : QVariant();
    }
    // Texts shown anywhere in the window, popups included.
    QStringList textsShown() const
    {
        QList<QQuickItem *> items;
        collectItems(window->contentItem(), items);
        QStringList texts;
        for (QQuickItem *i : items) {
            const QVariant t = i->property("text");
            if (t.isValid() && i->isVisible())
                texts << t.toString();
        }
        return texts;
    }
    static QString outputDir()
    {
        QString dir = qEnvironmentVariable("KX4_TEST_OUTPUT");
        if (dir.isEmpty())
            dir = QDir::tempPath();
        QDir().mkpath(dir);
        return dir;
    }
    void screenshot(const QString &name)
    {
        QVERIFY(window->grabWindow().save(outputDir() + "/" + name + ".png"));
    }
    static QWidget *visibleDialog()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && qobject_cast<QDialog *>(w))
                return w;
        }
        return nullptr;
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void windowOfTheEdition();
    void newVersionShown();
    void engineByNameAndTableWrite();

private:
    FeedServer server;
    std::unique_ptr<SimSession> session;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow *window = nullptr;
};

void tst_EditionWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvel"));
    QCoreApplication::setApplicationName(QStringLiteral("VeltroKX4"));
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    QVERIFY(server.listen());
    server.setResponse(
        FeedServer::feed({{"0.1.0", "old", "https://example.org/veltrokx4-0.1.0.exe"},
                          {"0.2.0", "<ul><li>Backups of the whole configuration</li></ul>",
                           "https://example.org/veltrokx4-0.2.0.exe"}}));
    QSettings().setValue(QStringLiteral("Update/URL"), server.url().toString());

    session = std::make_unique<SimSession>();
    QVERIFY2(session->start(), qPrintable(session->errorString()));
    session->dashboard().setDisp(0);
    session->dashboard().writeMemory(0, SimSession::record(12, 2024, 4, 0, 1, "RPM", " rpm"));
    session->dashboard().setCount(1);

    // The window built the way the program builds it.
    initUiResources();
    AppShell::registerTypes();
    engine = std::make_unique<QQmlApplicationEngine>();
    AppShell::prepareEngine(*engine, &session->runner());
    QVERIFY(AppShell::loadMainWindow(*engine));
    window = qobject_cast<QQuickWindow *>(engine->rootObjects().first());
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void tst_EditionWindow::cleanupTestCase()
{
    engine.reset();
    session.reset();
}

void tst_EditionWindow::windowOfTheEdition()
{
    QCOMPARE(window->title(), QStringLiteral("Veltro KX4"));
    for (const char *entry : {"connAbortMenu", "dfuMenu", "languageMenu", "aboutMenu", "quitMenu"})
        QVERIFY2(object(entry), entry);
    for (const char *entry : {"bkpMenu", "rstMenu", "expcfgMenu", "importConfirm"})
        QVERIFY2(!object(entry), entry);
    QCOMPARE(prop("dfuMenu", "enabled").toBool(), false);

    QVERIFY(session->connectRunner());
    QTRY_COMPARE(prop("stack", "currentIndex").toInt(), 2);
    QCOMPARE(prop("connAbortMenu", "enabled").toBool(), true);
    QCOMPARE(prop("dfuMenu", "enabled").toBool(), true);
    // Two sub-pages, the display layout first; the display selector is the user's.
    QCOMPARE(prop("devStack", "currentIndex").toInt(), 0);
    QCOMPARE(prop("devStack", "count").toInt(), 2);
    QCOMPARE(prop("dispSelector", "enabled").toBool(), true);
    QVERIFY(!object("maint"));
    QVERIFY(!object("cfgPage"));
    screenshot("edition-device-page");
}

void tst_EditionWindow::newVersionShown()
{
    // The check runs when the window is loaded; its news arrive whenever the feed answers.
    QTRY_VERIFY_WITH_TIMEOUT(prop("updateText", "text").toString().contains("0.2.0"), 10000);
    const QString text = prop("updateText", "text").toString();
    QVERIFY(text.contains("An update to <b>version 0.2.0</b> is available"));
    QVERIFY(text.contains("Backups of the whole configuration"));
    QVERIFY(!text.contains("old"));
    QVERIFY(textsShown().contains(QStringLiteral("New version 0.2.0 is available!")));
    QCOMPARE(prop("updateDlg", "version").toString(), QStringLiteral("0.2.0"));
    QCOMPARE(prop("updateDlg", "visible").toBool(), true);
    QVERIFY(prop("updateDlg", "text").toString().contains("Update to 0.2.0?"));
    // The offer is a window of its own.
    QWidget *offer = nullptr;
    QTRY_VERIFY((offer = visibleDialog()) != nullptr);
    QVERIFY(offer->grab().save(outputDir() + "/edition-update-offer.png"));
    object("updateDlg")->setProperty("visible", false);

    QMetaObject::invokeMethod(object("aboutDialog"), "open");
    QTRY_COMPARE(prop("aboutDialog", "opened").toBool(), true);
    QVERIFY(prop("aboutVersion", "text").toString().endsWith("0.1.0"));
    screenshot("edition-about-update");
    QMetaObject::invokeMethod(object("aboutDialog"), "close");
    QTRY_COMPARE(prop("aboutDialog", "visible").toBool(), false);
}

void tst_EditionWindow::engineByNameAndTableWrite()
{
    CFGRunner &runner = session->runner();
    QTRY_COMPARE(prop("engineEdit", "count").toInt(), 4);
    const int allRows = runner.paramListModel()->rowCount();
    object("engineEdit")->setProperty("currentIndex", 3);
    QTRY_VERIFY(runner.paramListModel()->rowCount() < allRows);

    // Coolant temperature at position 2 instead of engine speed at 0, then "Apply changes".
    const QVariantList config = session->configList(6, {{2, session->catalogueItem("CLT")}});
    QMetaObject::invokeMethod(object("lcd1"), "setup", Q_ARG(QVariant, QVariant(config)));
    session->clearFrames();
    QMetaObject::invokeMethod(object("devPage"), "apply");
    QVERIFY(session->waitForState(CFGRunner::Writing));
    QVERIFY(session->waitForState(CFGRunner::Idle));
    const auto frames = session->hostFrames();
    QCOMPARE(frames.size(), 4); // one 22-byte record, no board record
    QCOMPARE(quint8(session->memory(11, 1).at(0)), quint8(2));
    QTRY_COMPARE(prop("stack", "currentIndex").toInt(), 2);
    screenshot("edition-after-apply");
}

QTEST_MAIN(tst_EditionWindow)
#include "tst_editionwindow.moc"
