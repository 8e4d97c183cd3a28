#pragma once

// The application as main() builds it (same AppShell steps, same resources),
// plus what a test needs to drive its window: items by objectName, clicks and
// menu entries through synthesized mouse events, screenshots.

#include <QPointer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <QStringList>
#include <memory>

class CFGRunner;
class QQmlApplicationEngine;
class QTranslator;

class AppUnderTest
{
public:
    // Before the QApplication exists: resources, QML types, high-DPI.
    static void prepareProcess();
    // After it: identity (names the settings store; tests use test mode).
    static void prepareApplication();

    AppUnderTest();
    // AppShell::shutdown, then the engine goes. The framework's translator,
    // which the program keeps until it exits, goes too: the next window
    // starts like a new process.
    ~AppUnderTest();

    // Installs translations, creates the controller and loads the window.
    bool start();
    // Tears down as main() does; the destructor does it if not yet done.
    void shutdown();

    CFGRunner *runner() const { return m_runner; }
    QQuickWindow *window() const { return m_window; }

    QObject *object(const QString &name) const;
    QQuickItem *item(const QString &name) const;
    QVariant property(const QString &name, const char *prop) const;
    bool isEnabled(const QString &name) const { return property(name, "enabled").toBool(); }

    // The page the main stack shows: 0 connection, 1 progress, 2 device.
    int stackIndex() const { return property("stack", "currentIndex").toInt(); }
    // Texts of the toasts still on screen, newest first.
    QStringList toastTexts() const;

    // Whether `item` is faded in (toasts stop at 0.9), so that a screenshot shows it.
    static bool fadedIn(QQuickItem *item);

    // A visible item of the window or one of its popups whose "text" is `text`.
    QQuickItem *itemWithText(const QString &text) const;

    // Left click in the middle of the item, through the window.
    void click(QQuickItem *item) const;
    // Opens the main menu and clicks the entry with that text; false when the
    // entry is not there or disabled.
    bool triggerMenu(const QStringList &path) const;

    // Saves the window as <KX4_TEST_OUTPUT>/<name>.png; returns the path.
    QString screenshot(const QString &name) const;

private:
    QTranslator *m_translator = nullptr;
    CFGRunner *m_runner = nullptr;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QPointer<QQuickWindow> m_window;
    bool m_started = false;
};
