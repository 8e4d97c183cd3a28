#pragma once

// Start-up figures for the benchmark, off unless the environment asks for them:
//   KX4_PROBE=1                 prints "kx4-probe: first-frame" to standard error when the
//                               main window has shown its first frame;
//   KX4_PROBE_CONNECT=port@baud then connects the controller to that port the way the
//                               connection page does, and prints "kx4-probe: configuration-
//                               read" once the configuration has been read and shown.
// The benchmark times the lines from outside and reads the process's peak memory.

#include <QObject>
#include <QString>
#include <atomic>

class CFGRunner;
class QQmlApplicationEngine;
class QQuickWindow;

class StartupProbe : public QObject
{
    Q_OBJECT
public:
    // Does nothing unless KX4_PROBE is set; the probe lives as long as the engine.
    static void attach(QQmlApplicationEngine &engine, CFGRunner *runner);

private:
    StartupProbe(QQuickWindow *window, CFGRunner *runner, const QString &connectTo);
    void onFirstFrame();
    void onStateChanged(int state);
    static void report(const char *what);

    QQuickWindow *m_window;
    CFGRunner *m_runner;
    QString m_port;
    int m_baud = 0;
    bool m_read = false;
    std::atomic<bool> m_firstFrame{false};
};
