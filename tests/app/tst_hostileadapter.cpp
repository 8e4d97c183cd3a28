// Adapters that misbehave on purpose, as a Wi-Fi adapter on 127.0.0.1: a TCP server in this
// test stands between the program and the simulated adapter (kx4-sim --tcp) and, from the
// connect on or once the session runs, floods the program with output that never ends in a
// prompt, or sends one byte every 500 ms. Whatever it does, the command must end within its
// bound with a clear message, its memory must stay bounded, and no partial backup may stay.
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true; // the checked build: its memory is the sanitizer's too
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif
constexpr qint64 PeakBoundMb = 150;

// The high-water mark of a running process's resident memory, in MB (0 once it is gone).
qint64 peakMb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
    }
    return 0;
}

enum class Misbehaviour { Flood, Trickle };
enum class From { Connect, Running };

// Passes bytes between the program and the simulator until it turns hostile: at once, or
// when the program sends `trigger` for the `nth` time.
class HostileProxy : public QObject
{
public:
    HostileProxy(quint16 simPort, Misbehaviour how, From from, const QByteArray &trigger, int nth)
        : m_simPort(simPort), m_how(how), m_hostile(from == From::Connect), m_trigger(trigger),
          m_nth(nth)
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        m_timer.setInterval(m_how == Misbehaviour::Flood ? 1 : 500);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { misbehave(); });
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    quint16 port() const { return m_server.serverPort(); }
    qint64 hostileBytes() const { return m_sent; }

private:
    void accept()
    {
        QTcpSocket *client = m_server.nextPendingConnection();
        if (!client || m_client) {
            delete client;
            return;
        }
        m_client = client;
        m_sim.connectToHost(QHostAddress::LocalHost, m_simPort);
        QObject::connect(m_client, &QTcpSocket::readyRead, this, [this] {
            const QByteArray in = m_client->readAll();
            if (!m_hostile && in.contains(m_trigger) && ++m_seen == m_nth)
                turn();
            if (!m_hostile)
                m_sim.write(in);
        });
        QObject::connect(&m_sim, &QTcpSocket::readyRead, this, [this] {
            const QByteArray out = m_sim.readAll();
            if (!m_hostile)
                m_client->write(out);
        });
        if (m_hostile)
            m_timer.start();
    }

    void turn()
    {
        m_hostile = true;
        m_timer.start();
    }

    void misbehave()
    {
        if (!m_client || m_client->state() != QAbstractSocket::ConnectedState) {
            m_timer.stop();
            return;
        }
        if (m_how == Misbehaviour::Trickle) {
            m_client->write("4", 1);
            ++m_sent;
            return;
        }
        // Lines that look like data, some very long, and never a prompt; only as fast as
        // the program takes them, so the test's own memory stays small.
        if (m_client->bytesToWrite() > (1 << 20))
            return;
        static const QByteArray chunk = [] {
            QByteArray c;
            for (int i = 0; i < 1000; ++i)
                c += "4000112233445566\r";
            c += QByteArray(16000, 'A') + '\r';
            return c;
        }();
        m_client->write(chunk);
        m_sent += chunk.size();
    }

    QTcpServer m_server;
    QTcpSocket m_sim;
    QTcpSocket *m_client = nullptr;
    QTimer m_timer;
    quint16 m_simPort;
    Misbehaviour m_how;
    bool m_hostile;
    QByteArray m_trigger;
    int m_nth;
    int m_seen = 0;
    qint64 m_sent = 0;
};

} // namespace

Q_DECLARE_METATYPE(Misbehaviour)
Q_DECLARE_METATYPE(From)

class TstHostileAdapter : public QObject
{
    Q_OBJECT

private slots:
    void endsInBoundedTimeAndMemory_data();
    void endsInBoundedTimeAndMemory();
};

void TstHostileAdapter::endsInBoundedTimeAndMemory_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<Misbehaviour>("how");
    QTest::addColumn<From>("from");
    QTest::addColumn<int>("boundMs");

    for (const char *command : {"--info", "--export"}) {
        QTest::addRow("%s, flood from the connect", command)
            << command << Misbehaviour::Flood << From::Connect << 30000;
        QTest::addRow("%s, trickle from the connect", command)
            << command << Misbehaviour::Trickle << From::Connect << 30000;
        QTest::addRow("%s, flood in the session", command)
            << command << Misbehaviour::Flood << From::Running << 40000;
        QTest::addRow("%s, trickle in the session", command)
            << command << Misbehaviour::Trickle << From::Running << 40000;
    }
}

void TstHostileAdapter::endsInBoundedTimeAndMemory()
{
    QFETCH(QString, command);
    QFETCH(Misbehaviour, how);
    QFETCH(From, from);
    QFETCH(int, boundMs);

    QTemporaryDir home;
    QProcess sim;
    sim.start(KX4_SIM_PROGRAM, {"--baud", "115200", "--pages", "4", "--tcp", "0"});
    QVERIFY(sim.waitForStarted(5000));
    QVERIFY(sim.waitForReadyRead(10000));
    const QString url = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY2(url.startsWith("tcp://127.0.0.1:"), qPrintable(url));
    const quint16 simPort = quint16(url.section(':', -1).toUInt());

    // In the session: --info once discovery reads the table (its first block read at
    // 0x0000), --export once the backup starts (the second).
    HostileProxy proxy(simPort, how, from, "0040FFFFFFFFFFFF", command == "--export" ? 2 : 1);
    QVERIFY(proxy.listen());

    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    cli.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    cli.start(KX4_PROGRAM, {"--port", QStringLiteral("127.0.0.1:%1").arg(proxy.port()), command});
    QVERIFY(cli.waitForStarted(5000));
    QEventLoop loop;
    connect(&cli, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
            &QEventLoop::quit);
    // The program's peak, read while it runs (the last look is at most 20 ms before its end).
    qint64 peak = 0;
    QTimer look;
    connect(&look, &QTimer::timeout, this, [&] { peak = qMax(peak, peakMb(cli.processId())); });
    look.start(20);
    QTimer::singleShot(boundMs + 20000, &loop, &QEventLoop::quit);
    loop.exec();
    const qint64 took = clock.elapsed();
    const bool ended = cli.state() == QProcess::NotRunning;
    if (!ended) {
        cli.kill();
        cli.waitForFinished(5000);
    }
    look.stop();
    const QString err = QString::fromLocal8Bit(cli.readAllStandardError());
    ::kill(pid_t(sim.processId()), SIGTERM);
    sim.waitForFinished(10000);

    qInfo().noquote() << QStringLiteral("%1: %2 ms, peak %3 MB, %4 hostile bytes, status %5: %6")
                             .arg(QString::fromLatin1(QTest::currentDataTag()))
                             .arg(took)
                             .arg(peak)
                             .arg(proxy.hostileBytes())
                             .arg(ended ? QString::number(cli.exitCode()) : QStringLiteral("-"))
                             .arg(err.trimmed().section('\n', -1));
    QVERIFY2(ended, "the program did not end");
    QVERIFY2(took <= boundMs, qPrintable(QStringLiteral("took %1 ms").arg(took)));
    if (!Sanitized)
        QVERIFY2(peak > 0 && peak < PeakBoundMb,
                 qPrintable(QStringLiteral("peak %1 MB").arg(peak)));
    QVERIFY2(cli.exitCode() == 2 || cli.exitCode() == 4, qPrintable(err));
    QVERIFY2(!err.trimmed().isEmpty(), "no message");
    const QStringList left =
        QDir(home.filePath("data/Veltro/VeltroKX4")).entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(left.filter(".part").isEmpty(), qPrintable(left.join(", ")));
}

QTEST_GUILESS_MAIN(TstHostileAdapter)
#include "tst_hostileadapter.moc"
