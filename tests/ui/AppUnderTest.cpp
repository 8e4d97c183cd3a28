#include "AppUnderTest.h"

#include "app/AppShell.h"
#include "app/Translators.h"
#include "runner/CFGRunner.h"
#include "ui/UiResources.h"

#include <QApplication>
#include <QDir>
#include <QQmlApplicationEngine>
#include <QStandardPaths>
#include <QTranslator>
#include <QtTest>

void AppUnderTest::prepareProcess()
{
    initUiResources();
    AppShell::registerTypes();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling); // always on in Qt 6
#endif
}

void AppUnderTest::prepareApplication()
{
    QStandardPaths::setTestModeEnabled(true);
    AppShell::setIdentity(*qApp);
}

AppUnderTest::AppUnderTest() = default;

AppUnderTest::~AppUnderTest()
{
    shutdown();
    for (QTranslator *t : qApp->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
}

bool AppUnderTest::start()
{
    m_translator = installTranslators(qApp, "lang");
    m_runner = AppShell::createController();
    AppShell::setLoggingRules();
    m_engine = std::make_unique<QQmlApplicationEngine>();
    AppShell::prepareEngine(*m_engine, m_runner);
    m_started = true;
    if (!AppShell::loadMainWindow(*m_engine))
        return false;
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().first());
    return m_window && QTest::qWaitForWindowExposed(m_window);
}

void AppUnderTest::shutdown()
{
    if (!m_started)
        return;
    m_started = false;
    AppShell::shutdown(m_runner, m_translator);
    m_runner = nullptr;
    m_translator = nullptr;
    m_engine.reset();
}

QObject *AppUnderTest::object(const QString &name) const
{
    if (!m_window)
        return nullptr;
    if (m_window->objectName() == name)
        return m_window;
    return m_window->findChild<QObject *>(name);
}

QQuickItem *AppUnderTest::item(const QString &name) const
{
    return qobject_cast<QQuickItem *>(object(name));
}

QVariant AppUnderTest::property(const QString &name, const char *prop) const
{
    QObject *o = object(name);
    return o ? o->property(prop) : QVariant();
}

QStringList AppUnderTest::toastTexts() const
{
    QStringList texts;
    QQuickItem *list = item("toast");
    const int count = list ? list->property("count").toInt() : 0;
    for (int i = 0; i < count; ++i) {
        QQuickItem *toast = nullptr;
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, toast),
                                  Q_ARG(int, i));
        if (toast)
            texts << toast->property("text").toString();
    }
    return texts;
}

static bool shownOnScreen(QQuickItem *item)
{
    for (QQuickItem *i = item; i; i = i->parentItem()) {
        if (!i->isVisible() || i->opacity() <= 0)
            return false;
    }
    return true;
}

bool AppUnderTest::fadedIn(QQuickItem *item)
{
    qreal opacity = 1;
    for (; item; item = item->parentItem())
        opacity *= item->opacity();
    return opacity > 0.85;
}

QQuickItem *AppUnderTest::itemWithText(const QString &text) const
{
    if (!m_window)
        return nullptr;
    // Popups are QObject children of their declarations but visual children of
    // the overlay: walk the visual tree.
    QList<QQuickItem *> items;
    QList<QQuickItem *> todo{m_window->contentItem()};
    while (!todo.isEmpty()) {
        QQuickItem *i = todo.takeFirst();
        items << i;
        todo << i->childItems();
    }
    for (QQuickItem *i : items) {
        if (i->property("text").toString() == text && i->isEnabled() && shownOnScreen(i) &&
            i->acceptedMouseButtons() != Qt::NoButton)
            return i;
    }
    for (QQuickItem *i : items) {
        if (i->property("text").toString() == text && shownOnScreen(i))
            return i;
    }
    return nullptr;
}

void AppUnderTest::click(QQuickItem *item) const
{
    QVERIFY(item);
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(m_window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

bool AppUnderTest::triggerMenu(const QStringList &path) const
{
    QObject *menu = object("mainMenu");
    if (!menu)
        return false;
    click(item("menuTool"));
    if (!QTest::qWaitFor([menu] { return menu->property("opened").toBool(); }, 3000))
        return false;
    for (int i = 0; i < path.size(); ++i) {
        QQuickItem *entry = nullptr;
        const bool shown =
            QTest::qWaitFor([&] { return (entry = itemWithText(path.at(i))) != nullptr; }, 3000);
        if (!shown || !entry->isEnabled()) {
            QTest::keyClick(m_window, Qt::Key_Escape);
            return false;
        }
        click(entry);
    }
    return true;
}

QString AppUnderTest::screenshot(const QString &name) const
{
    QString dir = qEnvironmentVariable("KX4_TEST_OUTPUT");
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    const QString path = dir + "/" + name + ".png";
    if (m_window)
        m_window->grabWindow().save(path);
    return path;
}
