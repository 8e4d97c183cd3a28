#pragma once

// The session controller: the one state machine between the interface pages and the
// dashboard. It owns the adapter link, runs every exchange one request at a time (each
// request is sent from the handler of the previous reply) and reports results as signals.

#include "config/DeviceConfig.h"
#include "edition/Edition.h"
#include "image/ImageConverter.h"
#include "link/ELM327IOBase.h"
#include "runner/ExchangeTimer.h"
#include "runner/HistoryKeeper.h"
#include "runner/MaintenanceCounters.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QLoggingCategory>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QSize>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcRunner)

class QTimer;
class AdapterProbe;
class RunnerOperation;
class VariantMapModel;
class ParameterListModel;

class CFGRunner : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString version READ version CONSTANT)
    Q_PROPERTY(State state READ getState NOTIFY stateChanged)
    // The running transfer's estimated time left in ms, -1 while there is none (no
    // transfer, or too few exchanges timed yet).
    Q_PROPERTY(int timeLeftMs READ timeLeftMs NOTIFY timeLeftChanged)

public:
    enum State {
        NotConnected = 0,
        Connecting = 1,
        Idle = 2,
        Reading = 3,
        Writing = 4,
        Uploading = 5,
        Rebooting = 6,
    // The update-checking edition has no backups and no maintenance write: these three
    // stay out of its meta-object (moc defines Q_MOC_RUN), so its interface never
    // sees them, and nothing in that edition enters them.
#if !KX4_UPDATE_EDITION || !defined(Q_MOC_RUN)
        Exporting = 7,
        Importing = 8,
        GenWrite = 9
#endif
    };
    Q_ENUM(State)

    enum Phase { P_Idle = 0, P_Params = 1, P_Config = 2, P_Image = 3 };
    // The long operations, as operationFinished names them.
    enum Operation {
        OP_Discovery = 0,     // connect, device information, maintenance values, read
        OP_ReadConfig = 1,    // requestConfig
        OP_WriteConfig = 2,   // updateConfig, and the read after it
        OP_ResetConfig = 3,   // resetConfig, and the read after it
        OP_WriteMaintenance = 4, // updateEeeprom, resetMaintenance
        OP_UploadSplash = 5,
        OP_Restart = 6,       // mcuReset, toDFU, requestReboot
        OP_Export = 7,
        OP_Import = 8,        // and the read after it
    };
    Q_ENUM(Operation)
    enum Param { PP_ODO_Saved = 0, PP_ODO_Current = 1, PP_TIM_Saved = 2, PP_TIM_Current = 3 };
#if !KX4_UPDATE_EDITION
    Q_ENUM(Phase)
    Q_ENUM(Param)
#endif

    // How long an attempt may take from the opened port to the dashboard's first answer
    // (adapter initialisation and the device-information request). Baud-rate detection
    // comes before it and takes up to about 13 s, so every attempt ends within 20 s.
    static constexpr int ConnectTimeoutMs = 6000;

    explicit CFGRunner(QObject *parent = nullptr);
    ~CFGRunner() override;

    Q_INVOKABLE QString version();
    Q_INVOKABLE State getState();
    Q_INVOKABLE QStringList availablePorts();
    // Network adapters to offer beside the serial ports, as "HOST:PORT": the addresses that
    // connected before, newest first, or the usual address of a Wi-Fi adapter.
    Q_INVOKABLE QStringList networkPorts();
    // Whether `port` ("tcp://HOST:PORT" or "HOST:PORT") names a network adapter.
    Q_INVOKABLE bool isNetworkPort(QString port);
    Q_INVOKABLE bool validateDrop(QString filename, QByteArray data);
    Q_INVOKABLE VariantMapModel *stateTableModel();
    Q_INVOKABLE ParameterListModel *paramListModel();
    Q_INVOKABLE bool isUrlReadable(QString str);
    // Rules the window and the command line share. The number of positions of a display
    // type ("disp" of the device information): 13 for the double display (1), else 6.
    Q_INVOKABLE int positionsOf(int disp) const;
    // The engine a board map names, as its place in engines(): its "engidx", the first
    // engine when that is none of them; -1 when the map has no "engidx".
    Q_INVOKABLE int engineForBoard(QVariantMap board);
    // A local path from what the pages pass (a file URL) or the command line (a path).
    static QString localFile(const QString &pathOrUrl);
    Q_INVOKABLE bool canUploadSplash();
    Q_INVOKABLE QVariantList parameterList(QSet<uint> *ids = nullptr,
                                           QSet<QString> *names = nullptr);
    Q_INVOKABLE QStringList engines();
    Q_INVOKABLE QString describeParam(uint hash, bool short_descr = true);
    Q_INVOKABLE bool connectToHost(QString port, int baud, bool adv);
    // The serial line's rate in bit/s after the link's setup (0 when not connected).
    Q_INVOKABLE int lineRate();
    // The time of one exchange with the dashboard (request sent to its reply), the median
    // of the session's recent exchanges that needed no retransmission; 0 before any.
    Q_INVOKABLE double exchangeTimeMs() const;
    int timeLeftMs() const { return m_timeLeftMs; }
    Q_INVOKABLE QString splashInfo();
    // The largest picture the connected dashboard's display takes, as the file must be
    // (before the double display's quarter turn).
    Q_INVOKABLE QSize splashSize();
    Q_INVOKABLE bool loadSplash(QString file);
    // Layout profiles (CFGRunnerLayout.cpp): `file` is a path or a file URL. loadLayout
    // gives {"engine", "engineIndex", "config", "board"} for the pages, an empty map when refused.
    Q_INVOKABLE bool saveLayout(QString file, QString engine, QVariantList config,
                                QVariantMap board);
    Q_INVOKABLE QVariantMap loadLayout(QString file);
    // Never writing blind (CFGRunnerHistory.cpp). What a write would change against what
    // the controller last read, in the user's terms: {"ok", "lines", "error"}; no lines:
    // nothing changes. The history of writes: what the dashboard held before each one,
    // newest first ({"path", "text", "outcome"}), each loading like a layout profile.
    Q_INVOKABLE QVariantMap configDifference(QVariantList config, QVariantMap board);
#if !KX4_UPDATE_EDITION
    Q_INVOKABLE QVariantMap importDifference(QString id, bool w_odo);
    Q_INVOKABLE QVariantMap importFileDifference(QString path, bool w_odo);
#endif
    Q_INVOKABLE QVariantList historyList();
    Q_INVOKABLE QVariantMap loadHistoryEntry(QString path);
    // The history entry of the write running or last started ("" before the first).
    Q_INVOKABLE QString lastHistoryEntry();
    // Writes the diagnostics report (the program, the system, the port, the adapter, the
    // dashboard, the settings and the link's recent traffic) to `file`, a path or a file
    // URL. Empty on success, otherwise why not, for the user.
    Q_INVOKABLE QString saveDiagnostics(QString file);
    // The adapter check (CFGRunnerAdapterCheck.cpp): what the adapter on `port` is and can
    // do, while no session runs; the result comes in adapterChecked(). False when refused.
    Q_INVOKABLE bool checkAdapter(QString port, int baud, bool adv);
#if !KX4_UPDATE_EDITION
    Q_INVOKABLE QVariantList listSavedConfigs();
    Q_INVOKABLE bool exportConfig(bool w_odo);
    // What an export of the connected dashboard takes at the measured exchange time, in
    // ms; 0 when nothing has been measured.
    Q_INVOKABLE int backupTimeMs() const;
    // `backupFirst`: an export of the dashboard's memory (with its counters) runs first,
    // and only once it is whole the import; the import's end names that backup.
    Q_INVOKABLE bool importConfig(QString id, bool w_odo, bool backupFirst = false);
    // The same import from a backup file anywhere (the command line).
    Q_INVOKABLE bool importConfigFile(QString path, bool w_odo, bool backupFirst = false);
    Q_INVOKABLE void openConfigStorage();
#endif

signals:
    void stateChanged(State current);
    void connectedToHost();
    void disconnectedFromHost();
    void deviceDiscovered(QString info);
    void deviceConfig(QVariantList config);
#if !KX4_UPDATE_EDITION
    void boardConfig(QVariantMap config);
#endif
    void deviceInfo(QVariantMap info);
#if !KX4_UPDATE_EDITION
    void deviceParam(Param kind, QVariant value);
#endif
    void alert(QString msg);
    void configUpdated();
    void paramsUpdated();
    void progress(double value);
    void timeLeftChanged(int ms);
    void splashLoaded(bool res);
    // A connection attempt ended without a dashboard; `reason` says why, for the user.
    // disconnectedFromHost() follows.
    void connectionFailed(QString reason);
    // Once at the end of every operation that was asked for, also when it was refused at
    // once (with the alert's text as `reason`) or cut off by the end of the session. `file`
    // is the file an export made.
    void operationFinished(CFGRunner::Operation operation, bool ok, QString reason,
                           QString file);
    // The adapter check's end: {"adapter": an adapter answered, "dashboard": a dashboard
    // did, "text": the report in the interface's language, one line per finding, "failure":
    // why no adapter answered, else empty}.
    void adapterChecked(QVariantMap result);

public slots:
    void disconnectFromHost();
#if KX4_UPDATE_EDITION
    void setEngine(QString engine, QVariantList current_config);
#else
    void setEngineByName(QString ename, QVariantList current_config);
    void setEngine(int engine, QVariantList current_config);
#endif
    void requestConfig();
    void requestReboot();
#if KX4_UPDATE_EDITION
    void updateConfig(QVariantList config);
#else
    void updateConfig(QVariantList config, QVariantMap brdcfg);
    void updateEeeprom(uint km = 0, uint time = 0);
    // Starts a new maintenance interval: the current odometer and engine time become the
    // saved points, then the four values are read again.
    void resetMaintenance();
#endif
    void resetConfig();
    void loadDefaultConfig();
    void clearSplash();
    void uploadSplash();
    void toDFU();
#if !KX4_UPDATE_EDITION
    void mcuReset();
#endif
    void lauchDFUUtil();

private slots:
    void elm_connected();
    void elm_disconnected();
    void elm_ready();
    void elm_read(QByteArray data);
    void elm_error(ELM327IOBase::ELM_ERROR code, QString reason);
    void elm_reset();

private:
#if KX4_UPDATE_EDITION
    // What the update-checking edition does not offer to the interface. The shared code that
    // refers to these is never reached in it: nothing enters the backup and maintenance states,
    // requests maintenance values or reads the board record, so the two "signals" are plain
    // functions never called.
    void boardConfig(QVariantMap) {}
    void deviceParam(Param, QVariant) {}
    void setEngine(int engine, QVariantList current_config);
    void setEngineByName(QString ename, QVariantList current_config);
    void updateConfig(QVariantList config, QVariantMap brdcfg);
    void updateEeeprom(uint km = 0, uint time = 0);
    void resetMaintenance();
    void mcuReset();
    QVariantList listSavedConfigs();
    bool exportConfig(bool w_odo);
    int backupTimeMs() const;
    bool importConfig(QString id, bool w_odo, bool backupFirst = false);
    bool importConfigFile(QString path, bool w_odo, bool backupFirst = false);
    void openConfigStorage();
#endif

    // The splash tests upload streams of any length through the runner's own converter.
    friend class TestSplash;
    // The long operations, one object each (RunnerOperation.h), one at a time.
    friend class RunnerOperation;
    friend class ConfigReader;
    friend class DiscoveryOperation;
    friend class ReadOperation;
    friend class ConfigWriteOperation;
    friend class MaintenanceOperation;
    friend class SplashOperation;
    friend class RestartOperation;
    friend class ExportOperation;
    friend class ImportOperation;
    // Starts `op` in place of the one running; an operation still waiting (for the read
    // after a write) ends with what it has done.
    void startOperation(RunnerOperation *op);
    // Called by the running operation as its last step.
    void finishOperation(bool ok, const QString &reason, const QString &file);
    // An operation refused at once: the alert, and its end.
    void refuseOperation(Operation kind, const QString &reason);
    // The session ended under the running operation.
    void abandonOperation(const QString &reason);
    // operationFinished, and what an operation's end starts (an import after its backup).
    void operationEnded(Operation kind, bool ok, const QString &reason, const QString &file);
    void retireOperation();

    // State and session bookkeeping (CFGRunner.cpp).
    void setState(State next, bool announce = true);
    void clearSession();
    // The maintenance value just read: bookkeeping and deviceParam.
    void noteValue(int address, quint32 value);

    // Connection attempts (CFGRunnerConnect.cpp). Every attempt that does not reach a
    // dashboard ends in failConnection: the reason goes to connectionFailed() and the
    // session is closed.
    void failConnection(const QString &reason);
    QString setupFailureText(const QString &port) const;
    QString stalledConnectionText() const;
    void onConnectTimeout();
    void rememberNetworkPort(const QString &port); // CFGRunnerNetwork.cpp
    // The discovery that follows a successful setup (ConfigReadOperation.cpp).
    void startDiscovery();

    // Wire layer (CFGRunnerWire.cpp).
    void sendMessage(QByteArray message);
    void writeBlock(QByteArray data, int address);
    void sendBlockRead(int address);
    void retransmit(const QString &reason);
    void communicationError(const QString &reason);
    void onAcknowledge(int address);
    void onBlockReply(int address, const QByteArray &payload);
    // The running operation's time left from its exchanges still to go.
    void updateTimeLeft();

    // Records (CFGRunnerConfig.cpp) and the catalogue (CFGRunnerCatalogue.cpp).
    void publishDeviceConfig();
    quint32 matchCatalogueItem(quint16 pid, quint16 cid, quint16 div) const;
    static QByteArray boardToBytes(QVariantMap board);
    bool boardValid() const;
    int displayPositions() const;
    bool loadCatalogue(const QString &fileName);

    // Splash picture (CFGRunnerSplash.cpp).
    void applyDisplayProfile();
    // `notice` is what the user is told when the restarted dashboard has gone quiet
    // (RestartOperation.cpp).
    void sendRestart(QByteArray command, const QString &notice);

    // The adapter check: the link's signals to the controller's slots are cut while the probe
    // has the link; the last report in English, and when it ran, for the diagnostics report.
    void connectLink();
    void adapterCheckDone();
    AdapterProbe *probe = nullptr;
    QStringList lastCheck;
    QString lastCheckTime;

    // Diagnostics report (CFGRunnerDiagnostics.cpp): records the controller's events in
    // the link's recorder.
    void recordForDiagnostics();
    QString diagnosticsReport();

    // History of writes (CFGRunnerHistory.cpp): what the dashboard held as last read, kept
    // before each write and finished with its outcome.
    void watchReadsForHistory();
    void recordHistory(const QString &written);
    HistoryKeeper history;

    // Backups (CFGRunnerBackup.cpp; the transfers in ExportOperation.cpp and
    // ImportOperation.cpp).
    QString backupStoragePath() const;
    // The refusals an import meets before it reads its file (each ends the operation).
    bool importAllowed(const QString &path);
    bool startImport(const QString &path, bool w_odo, const QString &backup = QString());
    bool importAfterBackup(const QString &path, bool w_odo);
    void onBackupBeforeImport(bool ok, const QString &reason, const QString &file);

    VariantMapModel *stateTable = nullptr;
    ParameterListModel *paramList = nullptr;
    State state = NotConnected;
    Phase phase = P_Idle;
    QList<QPair<int, QByteArray>> pendingWrites;
    ELM327IOBase *link = nullptr;
    ImageConverter converter;
    // The operation running, and those that ended (deleted from the event loop, so that an
    // operation may end itself in the middle of its own handler).
    std::unique_ptr<RunnerOperation> operation;
    std::vector<std::unique_ptr<RunnerOperation>> endedOperations;
    QMap<int, QString> engineNames;
    QHash<quint32, QJsonObject> catalogueItems;
    int engineIndex = 0;
    QJsonObject devInfo;
    DeviceConfig devConfig;
    QByteArray paramImage;
    QByteArray boardImage;
    QByteArray splashImage;
    QByteArray lastMessage;
    MaintenanceCounters counters;
    int retryCount = 0;
    ExchangeTimer exchangeTimer;
    int m_timeLeftMs = -1;
    // An import waiting for the backup made before it: its file and counters choice.
    QString importAfterExport;
    bool importAfterExportCounters = false;
    // Adapter resets the link recovered from since the controller last left Idle.
    int adapterResets = 0;
    // The device information of the last discovery; unlike devInfo it outlives the session,
    // for a report saved after the connection was lost.
    QVariantMap discoveredInfo;

    // Runs from a successful setup until the dashboard's information arrives.
    QTimer *connectWatch = nullptr;
    QString connectPort;
    int connectBaud = 0;
    // Why the session is ending, for the operation it cuts off (empty: "Connection closed").
    QString endReason;
    // True while connectToHost is inside the link's setup: the port closes and reopens
    // during baud-rate detection, which is not a lost connection.
    bool inSetup = false;
};
