#include "app/StartupProbe.h"

#include "runner/CFGRunner.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>

#include <cstdio>

void StartupProbe::attach(QQmlApplicationEngine &engine, CFGRunner *runner)
{
    if (qEnvironmentVariableIsEmpty("KX4_PROBE") || engine.rootObjects().isEmpty())
        return;
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    if (!window) {
        report("no-window");
        return;
    }
    new StartupProbe(window, runner, qEnvironmentVariable("KX4_PROBE_CONNECT"));
}

StartupProbe::StartupProbe(QQuickWindow *window, CFGRunner *runner, const QString &connectTo)
    : QObject(window), m_window(window), m_runner(runner)
{
    const int at = connectTo.lastIndexOf(QLatin1Char('@'));
    m_port = at > 0 ? connectTo.left(at) : connectTo;
    m_baud = at > 0 ? connectTo.mid(at + 1).toInt() : 0;
    // frameSwapped comes from the render thread with a threaded render loop: the line is
    // printed there, at once; the rest runs on the interface thread.
    connect(
        window, &QQuickWindow::frameSwapped, this,
        [this] {
            if (!m_firstFrame.exchange(true)) {
                report("first-frame");
                QMetaObject::invokeMethod(this, &StartupProbe::onFirstFrame, Qt::QueuedConnection);
            }
        },
        Qt::DirectConnection);
}

void StartupProbe::onFirstFrame()
{
    if (m_port.isEmpty() || !m_runner)
        return;
    connect(m_runner, &CFGRunner::stateChanged, this,
            [this](CFGRunner::State s) { onStateChanged(int(s)); });
    if (!m_runner->connectToHost(m_port, m_baud, false))
        report("connect-failed");
}

void StartupProbe::onStateChanged(int state)
{
    if (state == CFGRunner::Reading) {
        m_read = true;
    } else if (state == CFGRunner::Idle && m_read) {
        m_read = false;
        report("configuration-read");
    } else if (state == CFGRunner::NotConnected)
        report("connection-lost");
}

void StartupProbe::report(const char *what)
{
    std::fprintf(stderr, "kx4-probe: %s\n", what);
    std::fflush(stderr);
}
