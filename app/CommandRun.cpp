// One command of the command line against one dashboard, through the same controller as
// the window: connect, wait for the end of the discovery (the configuration read
// included), run the command, wait for its end (operationFinished, the read after a write
// included), check and print the result. Progress goes to a terminal's standard error,
// the result to standard output.

#include "app/CommandRun.h"

// The update-checking edition has no command to run.
#if !KX4_UPDATE_EDITION

#include "app/CommandSession.h"
#include "config/LayoutProfile.h"

#include <QCoreApplication>
#include <QDir>

namespace CommandLine {

namespace {

const QString kBoardNotUnderstood =
    QStringLiteral("the dashboard's board record is not understood: its board settings stay as "
                   "they are");
const QString kBoardNotRead = QStringLiteral(
    "the dashboard holds no parameter table, so its board record was not read");

class Run : public Session
{
public:
    using Session::Session;

private:
    void discovered() override
    {
        switch (m_options.command) {
        case Command::Info:
            printInfo();
            finish(Success);
            break;
        case Command::SaveLayout:
            if (!m_boardRead)
                m_progress.warn(kBoardNotRead);
            else if (m_board.isEmpty())
                m_progress.warn(QStringLiteral("the dashboard's board record is not understood: "
                                               "the profile holds no board settings"));
            if (!m_runner.saveLayout(absolute(m_options.file), m_engine, m_config, m_board)) {
                finish(Refused, m_lastAlert);
                return;
            }
            printOut(QStringLiteral("saved the layout to %1\n").arg(m_options.file));
            finish(Success);
            break;
        case Command::ApplyLayout:
            applyLayout();
            break;
        case Command::Export:
            exportBackup();
            break;
        case Command::Import:
            if (!importDifference())
                break;
            expect(CFGRunner::OP_Import,
                   [this](bool ok, const QString &reason, const QString &backup) {
                       // The backup before it could not be written: the disk's fault, as
                       // with --export.
                       if (!ok && m_options.backupFirst &&
                           reason.contains(backupNotWrittenText()))
                           return finish(Refused, reason);
                       if (!ok)
                           return failed(reason);
                       if (!backup.isEmpty())
                           printOut(QStringLiteral("backed up the dashboard to %1\n")
                                        .arg(QDir::toNativeSeparators(backup)));
                       printOut(QStringLiteral("imported %1\n").arg(m_options.file));
                       printDifference(m_difference, QStringLiteral("  "));
                       finish(Success);
                   });
            m_starting = true;
            m_runner.importConfigFile(absolute(m_options.file), m_options.withCounters,
                                      m_options.backupFirst);
            m_starting = false;
            break;
        case Command::Splash:
            uploadSplash();
            break;
        case Command::ResetMaintenance:
            // The window's "Reset Maintenance": the current odometer and engine time become
            // the saved points, and the controller reads the four values back.
            expect(CFGRunner::OP_WriteMaintenance,
                   [this](bool ok, const QString &reason, const QString &) {
                       if (!ok)
                           return failed(reason);
                       const uint minutes = m_params.value(CFGRunner::PP_TIM_Saved);
                       printOut(QStringLiteral("odometer at maintenance: %1 km\n"
                                               "engine time at maintenance: %2 min (%3)\n")
                                    .arg(m_params.value(CFGRunner::PP_ODO_Saved))
                                    .arg(minutes)
                                    .arg(hoursAndMinutes(minutes)));
                       finish(Success);
                   });
            m_runner.resetMaintenance();
            break;
        case Command::None:
        case Command::CheckAdapter: // runAdapterCheck
            break;
        }
    }

    void printInfo()
    {
        const int pages = m_info.value(QStringLiteral("pages")).toInt();
        const bool twin = m_info.value(QStringLiteral("disp")).toInt() == 1;
        QString out;
        out += QStringLiteral("version: %1\n").arg(m_info.value(QStringLiteral("version")).toInt());
        out += QStringLiteral("memory: %1 pages (%2 bytes)\n").arg(pages).arg(pages * 1024);
        out += QStringLiteral("display: %1 (%2 positions)\n")
                   .arg(twin ? QStringLiteral("double") : QStringLiteral("single"))
                   .arg(m_runner.positionsOf(twin ? 1 : 0));
        out += QStringLiteral("records: %1\n").arg(m_info.value(QStringLiteral("count")).toInt());
        const auto param = [this](CFGRunner::Param kind) {
            return m_params.contains(kind) ? QString::number(m_params.value(kind))
                                           : QStringLiteral("unknown");
        };
        out += QStringLiteral("odometer: %1 km\n").arg(param(CFGRunner::PP_ODO_Current));
        out +=
            QStringLiteral("odometer at maintenance: %1 km\n").arg(param(CFGRunner::PP_ODO_Saved));
        // The dashboard counts the engine time in seconds and keeps its saved point in
        // minutes; both also as hours and minutes, which is how they are compared.
        const auto engineTime = [this, &param](CFGRunner::Param kind, const char *unit,
                                               uint perMinute) {
            if (!m_params.contains(kind))
                return param(kind);
            return QStringLiteral("%1 %2 (%3)")
                .arg(param(kind), QLatin1String(unit),
                     hoursAndMinutes(m_params.value(kind) / perMinute));
        };
        out += QStringLiteral("engine time: %1\n").arg(engineTime(CFGRunner::PP_TIM_Current, "s", 60));
        out += QStringLiteral("engine time at maintenance: %1\n")
                   .arg(engineTime(CFGRunner::PP_TIM_Saved, "min", 1));
        printOut(out);
    }

    // The command's own file, checked as the command will use it once connected: the
    // layout profile read and matched against the catalogue (a double display's profile
    // loads for any display here; what a single one leaves out is said after the
    // connection), the backup read whole, the picture readable. Empty when usable.
    QString checkFiles() override
    {
        const QString file = absolute(m_options.file);
        switch (m_options.command) {
        case Command::ApplyLayout: {
            m_holdNotes = true;
            m_lastAlert.clear();
            const bool ok = !m_runner.loadLayout(file).isEmpty();
            m_holdNotes = false;
            const QString error = ok ? QString() : m_lastAlert;
            m_lastAlert.clear();
            return ok || !error.isEmpty() ? error : QStringLiteral("cannot read %1").arg(m_options.file);
        }
        case Command::Import:
            return importProblem(file);
        case Command::Export:
            return m_options.file.isEmpty() ? QString() : exportTargetProblem(m_options.file);
        case Command::Splash:
            return pictureProblem(file, m_options.file);
        default:
            return QString();
        }
    }

    void applyLayout()
    {
        m_lastAlert.clear();
        const QVariantMap layout = m_runner.loadLayout(absolute(m_options.file));
        if (layout.isEmpty()) {
            finish(Refused, m_lastAlert);
            return;
        }
        // What loading had to leave out (a double display's positions 7 to 13).
        if (!m_lastAlert.isEmpty())
            m_progress.warn(m_lastAlert);
        // As the device page does it: the engine first (its list decides what may be
        // shown), then the positions and the board settings, then "Apply changes".
        m_runner.setEngineByName(layout.value(QStringLiteral("engine")).toString(), m_config);
        const QVariantList config = layout.value(QStringLiteral("config")).toList();
        const QVariantMap board = layout.value(QStringLiteral("board")).toMap();
        const int engine = layout.value(QStringLiteral("engineIndex")).toInt();
        if (!layoutDifference(config, board))
            return;
        if (!m_boardRead && !board.isEmpty()) {
            // Nothing was read, so the controller has no board record to write over: the
            // positions go first, and the read after them brings the record (an erased
            // area reads as the default one), which the board settings then replace.
            writeLayout(config, QVariantMap(), engine, [this, config, board, engine] {
                writeLayout(config, board, engine, [this] { applied(); });
            });
            return;
        }
        writeLayout(config, board, engine, [this] { applied(); });
    }

    // One configuration write of the layout and its check once the controller has read
    // the dashboard back. A profile without board settings keeps the dashboard's own
    // (the write still sets their engine index); a board record the controller did not
    // understand is written back as it was, and only the positions are checked.
    void writeLayout(const QVariantList &config, QVariantMap board, int engine,
                     std::function<void()> then)
    {
        if (m_board.isEmpty()) {
            if (!board.isEmpty())
                m_progress.warn(m_boardRead ? kBoardNotUnderstood : kBoardNotRead);
            board.clear();
        } else if (board.isEmpty()) {
            board = m_board;
        }
        expect(CFGRunner::OP_WriteConfig,
               [this, config, board, engine, then](bool ok, const QString &reason,
                                                   const QString &) {
                   if (!ok)
                       return failed(reason);
                   const QStringList differ = LayoutProfile::readBackDifferences(
                       config, board, engine, m_config, m_board);
                   if (!differ.isEmpty()) {
                       // The exchange went through; the dashboard did not keep what it was
                       // sent.
                       finish(Refused,
                              QStringLiteral("the dashboard holds something else after the "
                                             "write: %1")
                                  .arg(differ.join(QStringLiteral(", "))));
                       return;
                   }
                   then();
               });
        m_runner.updateConfig(config, board);
    }

    void applied()
    {
        printOut(QStringLiteral("applied %1\n").arg(m_options.file));
        printDifference(m_difference, QStringLiteral("  "));
        finish(Success);
    }

    // What the write changes against what was read, as the window asks it. With --dry-run
    // it is printed and the run ends there, having written nothing: false.
    bool layoutDifference(const QVariantList &config, const QVariantMap &board)
    {
        // The board settings as writeLayout gives them to the controller.
        QVariantMap written = board;
        if (m_board.isEmpty())
            written.clear();
        else if (written.isEmpty())
            written = m_board;
        return takeDifference(m_runner.configDifference(config, written));
    }

    bool importDifference()
    {
        return takeDifference(
            m_runner.importFileDifference(absolute(m_options.file), m_options.withCounters));
    }

    bool takeDifference(const QVariantMap &difference)
    {
        if (!difference.value(QStringLiteral("ok")).toBool()) {
            finish(Refused, difference.value(QStringLiteral("error")).toString());
            return false;
        }
        m_difference = difference.value(QStringLiteral("lines")).toStringList();
        if (!m_options.dryRun)
            return true;
        printDifference(m_difference, QString());
        printOut(QStringLiteral("dry run: nothing written\n"));
        finish(Success);
        return false;
    }

    static void printDifference(const QStringList &lines, const QString &indent)
    {
        if (lines.isEmpty()) {
            printOut(indent + QStringLiteral("nothing changes\n"));
            return;
        }
        for (const QString &line : lines)
            printOut(indent + line + QLatin1Char('\n'));
    }

    void exportBackup()
    {
        // The controller's "Saved as" names the file in the backup folder, which is moved
        // to FILE: the result line names the file written, and a failure says why itself.
        m_holdNotes = true;
        expect(CFGRunner::OP_Export, [this](bool ok, const QString &reason, const QString &file) {
            if (!ok) {
                // A backup that could not be written (a full disk) is the file's fault, as
                // an unwritable FILE is; otherwise the dashboard's replies broke it off.
                if (reason == backupNotWrittenText())
                    return finish(Refused, reason);
                return failed(reason);
            }
            QString made = file;
            if (!m_options.file.isEmpty()) {
                const QString error = moveBackup(file, m_options.file);
                if (!error.isEmpty())
                    return finish(Refused, error);
                made = m_options.file;
            }
            printOut(made + QLatin1Char('\n'));
            finish(Success);
        });
        m_starting = true;
        m_runner.exportConfig(true);
        m_starting = false;
    }

    // The controller's alert for an export whose file could not be written, in the
    // language it alerts in.
    static QString backupNotWrittenText()
    {
        return QCoreApplication::translate("CFGRunner",
                                           "Export failed - the backup could not be written");
    }

    void uploadSplash()
    {
        if (!m_runner.loadSplash(absolute(m_options.file))) {
            finish(Refused, m_lastAlert);
            return;
        }
        expect(CFGRunner::OP_UploadSplash, [this](bool ok, const QString &reason, const QString &) {
            if (!ok)
                return failed(reason);
            printOut(QStringLiteral("uploaded %1\n").arg(m_options.file));
            finish(Success);
        });
        m_runner.uploadSplash();
    }

    // What the write changes, taken before it.
    QStringList m_difference;
};

} // namespace

int runCommand(const Options &options)
{
    Run command(options);
    return command.exec();
}

} // namespace CommandLine

#endif // !KX4_UPDATE_EDITION
