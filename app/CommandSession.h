#pragma once

// The session a command of the command line runs in: the controller, connected to the
// dashboard, and the way its operations are waited for (operationFinished) and the run's
// one way out (finish). The commands themselves are in CommandRun.cpp.

#include "app/CommandFiles.h"
#include "app/CommandLine.h"
#include "app/CommandOutput.h"
#include "runner/CFGRunner.h"

#include <QEventLoop>
#include <QHash>
#include <QTimer>
#include <functional>

namespace CommandLine {

class Session
{
public:
    explicit Session(const Options &options) : m_options(options) {}
    virtual ~Session() = default;

    int exec()
    {
        QObject::connect(&m_runner, &CFGRunner::stateChanged, &m_context,
                         [this](CFGRunner::State state) { onStateChanged(state); });
        QObject::connect(&m_runner, &CFGRunner::progress, &m_context, [this](double value) {
            alive();
            m_progress.draw(value);
        });
        QObject::connect(&m_runner, &CFGRunner::timeLeftChanged, &m_context,
                         [this](int ms) { m_progress.setTimeLeft(ms); });
        QObject::connect(&m_runner, &CFGRunner::alert, &m_context, [this](const QString &msg) {
            m_lastAlert = msg;
            if (!m_holdNotes)
                m_progress.note(msg);
        });
        QObject::connect(&m_runner, &CFGRunner::deviceInfo, &m_context,
                         [this](const QVariantMap &info) { m_info = info; });
        QObject::connect(&m_runner, &CFGRunner::deviceParam, &m_context,
                         [this](CFGRunner::Param kind, const QVariant &value) {
                             alive();
                             m_params[kind] = value.toUInt();
                         });
        QObject::connect(&m_runner, &CFGRunner::deviceConfig, &m_context,
                         [this](const QVariantList &config) { m_config = config; });
        QObject::connect(&m_runner, &CFGRunner::boardConfig, &m_context,
                         [this](const QVariantMap &board) {
                             m_board = board;
                             m_boardRead = true;
                         });
        QObject::connect(&m_runner, &CFGRunner::connectionFailed, &m_context,
                         [this](const QString &reason) { m_lastAlert = reason; });
        QObject::connect(&m_runner, &CFGRunner::disconnectedFromHost, &m_context,
                         [this] { onDisconnected(); });
        QObject::connect(&m_runner, &CFGRunner::operationFinished, &m_context,
                         [this](CFGRunner::Operation op, bool ok, const QString &reason,
                                const QString &file) { onFinished(op, ok, reason, file); });
        m_watchdog.setSingleShot(true);
        QObject::connect(&m_watchdog, &QTimer::timeout, &m_context, [this] {
            finish(m_discovered ? CommunicationFailed : ConnectionFailed,
                   QStringLiteral("the dashboard stopped answering"));
        });
        QObject::connect(&m_rateShown, &QTimer::timeout, &m_context, [this] { showRate(); });

        m_runner.loadDefaultConfig();
        // A file the command cannot use is refused before the connection, which can take
        // seconds (or fail for another reason first).
        const QString refusal = checkFiles();
        if (!refusal.isEmpty()) {
            finish(Refused, refusal);
            saveDiagnostics();
            return m_code;
        }
        const QString port = resolvePort(m_options.port);
        alive();
        m_progress.step(stateLabel(CFGRunner::Connecting));
        expect(CFGRunner::OP_Discovery, [this](bool ok, const QString &reason, const QString &) {
            if (ok)
                sessionReady();
            else
                finish(ConnectionFailed, reason);
        });
        // The rate search probes one rate after the other, inside connectToHost.
        if (m_options.baud == 0)
            m_rateShown.start(RateShownMs);
        const bool opened = m_runner.connectToHost(port, m_options.baud, !m_options.plain);
        m_rateShown.stop();
        if (!opened)
            finish(ConnectionFailed,
                   QStringLiteral("cannot open the adapter on %1").arg(m_options.port));
        if (!m_done)
            m_loop.exec();
        saveDiagnostics();
        return m_code;
    }

protected:
    // The dashboard is discovered and its configuration read: the command's turn.
    virtual void discovered() = 0;
    // The command's own file, checked before the connection: empty when usable.
    virtual QString checkFiles() = 0;

    using Then = std::function<void(bool ok, const QString &reason, const QString &file)>;

    static constexpr int RateShownMs = 100;
    // No sign of life from the controller for this long ends the run.
    static constexpr int SilentMs = 30000;

    void alive() { m_watchdog.start(SilentMs); }

    // What runs when `op` ends. Arm before starting it: a refusal ends it at once.
    void expect(CFGRunner::Operation op, Then then)
    {
        m_expected = op;
        m_then = std::move(then);
        m_leftIdle = false;
    }

    void onFinished(CFGRunner::Operation op, bool ok, const QString &reason, const QString &file)
    {
        if (m_done || !m_then || op != m_expected)
            return;
        m_progress.flushNote();
        m_progress.end();
        const Then then = std::move(m_then);
        m_then = nullptr;
        then(ok, reason, file);
    }

    // An operation that did not do its work: turned down before it started (a refusal),
    // or broken off once it ran (a communication error).
    void failed(const QString &reason)
    {
        finish(m_leftIdle ? CommunicationFailed : Refused,
               reason.isEmpty() ? QStringLiteral("refused") : reason);
    }

    void onStateChanged(CFGRunner::State state)
    {
        m_rateShown.stop();
        alive();
        if (state != CFGRunner::Idle && state != CFGRunner::NotConnected)
            m_leftIdle = true;
        const QString label = stateLabel(state);
        if (!label.isEmpty())
            m_progress.step(label);
    }

    void showRate()
    {
        // 0 while the port is closed between two rates; the last one tried stays.
        const int rate = m_runner.lineRate();
        if (rate > 0)
            m_progress.status(QStringLiteral("Connecting: trying %1 bit/s").arg(rate));
    }

    // The session ended with no operation to report it.
    void onDisconnected()
    {
        if (m_done)
            return;
        const QString reason =
            m_lastAlert.isEmpty() ? QStringLiteral("connection closed") : m_lastAlert;
        finish(m_discovered ? CommunicationFailed : ConnectionFailed, reason);
    }

    void sessionReady()
    {
        if (m_info.isEmpty()) {
            finish(ConnectionFailed, QStringLiteral("the dashboard reports no device information"));
            return;
        }
        m_discovered = true;
        // The engine the board record names, as the window selects it.
        const QStringList engines = m_runner.engines();
        m_engine = engines.value(m_runner.engineForBoard(m_board), engines.value(0));
        m_runner.setEngineByName(m_engine, m_config);
        discovered();
    }

    // After the command, whatever its end. A report that cannot be written turns a
    // success into a refusal (an unwritable file); a failure keeps its own status.
    void saveDiagnostics()
    {
        if (m_options.diagnostics.isEmpty())
            return;
        const QString error = m_runner.saveDiagnostics(absolute(m_options.diagnostics));
        if (error.isEmpty())
            return;
        printErr(QStringLiteral("veltrokx4: %1\n").arg(error));
        if (m_code == Success)
            m_code = Refused;
    }

    // The one way out: the result has been printed, a failure is said here.
    void finish(ExitCode code, const QString &message = QString())
    {
        if (m_done)
            return;
        // Turned down while it was being started: a refusal, whatever the state did.
        if (m_starting && code == CommunicationFailed)
            code = Refused;
        m_done = true;
        m_code = code;
        m_then = nullptr;
        m_watchdog.stop();
        m_rateShown.stop();
        // The alert that ends the run is its failure line, said once.
        if (code != Success)
            m_progress.dropNote(message);
        m_progress.flushNote();
        m_progress.end();
        if (code != Success)
            printErr(QStringLiteral("veltrokx4: %1\n")
                         .arg(message.isEmpty() ? QStringLiteral("failed") : message));
        m_loop.quit();
    }

    const Options m_options;
    CFGRunner m_runner;
    QObject m_context;
    QEventLoop m_loop;
    QTimer m_watchdog;
    QTimer m_rateShown;
    ProgressLine m_progress;
    CFGRunner::Operation m_expected = CFGRunner::OP_Discovery;
    Then m_then;
    bool m_leftIdle = false; // the operation expected has left Idle
    bool m_starting = false; // inside the call that starts it
    bool m_discovered = false;
    bool m_done = false;
    bool m_holdNotes = false; // the controller's alerts are not shown as notes
    int m_code = Success;
    QString m_lastAlert;
    QString m_engine;
    QVariantMap m_info;
    QVariantList m_config;
    QVariantMap m_board;
    // Whether the controller has read the board record at all: a dashboard without a
    // parameter table (count 0) is not read beyond its device information.
    bool m_boardRead = false;
    QHash<int, uint> m_params;
};

} // namespace CommandLine
