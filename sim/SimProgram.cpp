#include "sim/SimProgram.h"

#include "sim/SimDemoImage.h"
#include "sim/SimFamily.h"
#include "sim/SimStateFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};
SimProgram *g_program = nullptr; // the one whose counters SIGUSR1 prints

void onSignal(int signal)
{
    const char c = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// The program's options after --help: name, value name (none for a switch), default, help.
struct OptionSpec
{
    const char *name;
    const char *valueName;
    const char *defaultValue;
    const char *help;
};

const OptionSpec kOptions[] = {
    {"baud", "rate", "38400", "Adapter baud rate; it answers only at this rate (default 38400)."},
    {"family", "name", "",
     "Behave as a family of adapters people own: %2; each alone or followed by +bt (behind a "
     "Bluetooth module) or +wifi (behind a Wi-Fi module; add --tcp), e.g. clone-v1.5+bt. "
     "Options given as well (--kind, --rv, --module, ...) change the family's settings."},
    {"kind", "kind", "clone",
     "Adapter kind: clone (\"ELM327 v1.5\", default), genuine (\"ELM327 v2.1\") or extended "
     "(\"ELM327 v1.4b\" with the \"st\" commands)."},
    {"pages", "n", "8",
     "Dashboard memory in 1024-byte pages, 1-16 (default 8: the parameter table, the board "
     "record and the largest splash picture fit, and the whole memory can be backed up)."},
    {"count", "n", "",
     "Record count the device information reports, 0-255 (default: the records in the table)."},
    {"disp", "n", "0",
     "Display type: 1 double display (13 positions), other values single (6) (default 0)."},
    {"version", "n", "1",
     "Firmware version in the device information, 0-255; 255 is the unknown-version mode "
     "(default 1)."},
    {"r4", "n", "0", "Device information byte r4 (default 0)."},
    {"r5", "n", "0", "Device information byte r5 (default 0)."},
    {"host-id", "hex", "74D", "CAN id the dashboard accepts, hex (default 74D)."},
    {"device-id", "hex", "745", "CAN id the dashboard answers with, hex (default 745)."},
    {"link", "path", "", "Keep a symlink to the terminal at this path (removed on exit)."},
    {"state", "file", "",
     "Load the memory and counters from this file and save them there after every change."},
    {"blank", nullptr, nullptr,
     "Start with erased memory and zero counters instead of the demo configuration."},
    {"pacing", nullptr, nullptr, "Pace the adapter's output at the rate in use (10 bits a byte)."},
    {"chip-model", nullptr, nullptr,
     "Model the real chip's timing: the prompt waits for the reply time-out after the last "
     "reply (AT ST, or the adaptive time-out of \"at at1\"/\"at at2\") unless a response "
     "count is reached, and the dashboard's latency defaults to 1 ms. Combine with --pacing."},
    {"clone-response-count", nullptr, nullptr,
     "The clone knows the response count digit (the genuine and extended kinds always do)."},
    {"clone-rate-switch", nullptr, nullptr,
     "The clone knows \"at brd\" (the genuine and extended kinds always do)."},
    {"count-no-data", nullptr, nullptr,
     "Every request with the response count digit is answered \"NO DATA\" (the frame still "
     "goes out), as some adapters of the extended kind do."},
    {"rv", "answer", "12.6V",
     "What the adapter answers to \"at rv\": 12.6V (default), ? (it lacks the command) or "
     "none (only its prompt)."},
    {"reset-ms", "ms", "0",
     "Slow reset: after ATZ or a supply dip the adapter is deaf for this long and then prints "
     "its banner, also to a client that closed and reopened the port meanwhile (default 0)."},
    {"latency-us", "us", "",
     "Bus and firmware latency before every reply, in microseconds (default 0, 1000 with "
     "--chip-model)."},
    {"timeout-ms", "ms", "",
     "Wait this long before \"NO DATA\" instead of the adapter's AT ST time."},
    {"fault", "fault", "",
     "Inject a fault: kind@request[xcount][:delayms], requests counted from 1, count 0 = from "
     "there on. Kinds: %1. Repeatable."},
    {"random-faults", "rate", "", "Give each request a random fault with this probability, 0-1."},
    {"random-kinds", "kinds", "drop,canerror,wronglength,duplicate,delay",
     "Comma-separated kinds for --random-faults (default "
     "drop,canerror,wronglength,duplicate,delay)."},
    {"seed", "n", "1", "Seed of the random faults (default 1)."},
    {"restart-silence-ms", "ms", "500",
     "How long the dashboard stays silent after a restart command (default 500)."},
    {"ack30-01", nullptr, nullptr, "Acknowledge block writes with 30 01 instead of 30 00."},
    {"garbage-on-wrong-baud", nullptr, nullptr,
     "Answer a client at the wrong rate with noise instead of silence."},
    {"tcp", "[addr:]port", "",
     "Serve on a TCP port as a Wi-Fi adapter does, one client at a time, on 127.0.0.1 unless an "
     "address is given (0.0.0.0: every interface; an IPv6 address in brackets); port 0 takes a "
     "free one. Prints tcp://ADDR:PORT instead of the terminal's path."},
    {"module", "module", "",
     "Put a wireless module between the client and the chip: bluetooth (20 ms each way per "
     "burst), wifi (5 ms each way) or UP,DOWN in milliseconds. The module talks to the chip at "
     "--baud whatever rate the client sets, so a rate switch through it fails."},
    {"verbose", nullptr, nullptr, "Log commands and frames to standard error."},
};

QByteArray hexBytes(const QByteArray &data)
{
    return data.toHex(' ').toUpper();
}

// "[ADDR:]PORT" of --tcp: "35000", "0.0.0.0:35000", "[::1]:35000".
bool parseTcpOption(const QString &text, QHostAddress *address, quint16 *port)
{
    static const QRegularExpression shape(
        QStringLiteral("^(?:(\\[[^\\]]+\\]|[^:\\[\\]]+):)?([0-9]{1,5})$"));
    const QRegularExpressionMatch m = shape.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    const uint number = m.captured(2).toUInt();
    if (number > 65535)
        return false;
    QString host = m.captured(1);
    if (host.startsWith(QLatin1Char('[')))
        host = host.mid(1, host.size() - 2);
    if (!host.isEmpty() && !address->setAddress(host))
        return false;
    *port = quint16(number);
    return true;
}
// "--module": a named module or its latencies "UP,DOWN" in milliseconds.
bool parseModuleOption(const QString &text, int *up, int *down)
{
    const QString t = text.trimmed().toLower();
    if (const SimFamily::Module named = SimFamily::moduleFromName(t)) {
        *up = *down = SimFamily::moduleLatencyMs(named);
        return true;
    }
    const QStringList parts = t.split(QLatin1Char(','));
    if (parts.size() != 2)
        return false;
    bool okUp = false;
    bool okDown = false;
    *up = parts.at(0).toInt(&okUp);
    *down = parts.at(1).toInt(&okDown);
    return okUp && okDown && *up >= 0 && *down >= 0 && *up <= 10000 && *down <= 10000;
}
} // namespace

SimProgram::SimProgram(QObject *parent) : QObject(parent)
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(250);
    connect(&m_saveTimer, &QTimer::timeout, this, &SimProgram::saveState);
    g_program = this;
}

SimProgram::~SimProgram()
{
    if (g_program == this)
        g_program = nullptr;
    stop();
}

bool SimProgram::configure(const QStringList &arguments, QString *message, bool *done)
{
    *done = false;
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Simulates an ELM327-class OBD/CAN adapter with a KX4 dashboard behind it on a\n"
        "pseudo-terminal and prints the terminal's path. Stop it with Ctrl+C (SIGINT) or "
        "SIGTERM;\nSIGUSR1 prints the traffic counters to standard error. A restart into "
        "firmware-update\nmode (01 10) leaves the dashboard silent until SIGHUP switches it off "
        "and on."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    p.addOption(help);
    for (const OptionSpec &o : kOptions) {
        QString text = QString::fromLatin1(o.help);
        if (text.contains(QLatin1String("%1"))) // --fault lists the kinds
            text = text.arg(SimFault::kindNames().join(QLatin1String(", ")));
        else if (text.contains(QLatin1String("%2"))) // --family lists the families
            text = text.arg(SimFamily::baseNames().join(QLatin1String(", ")));
        p.addOption(o.valueName ? QCommandLineOption(QLatin1String(o.name), text,
                                                     QLatin1String(o.valueName),
                                                     QLatin1String(o.defaultValue))
                                : QCommandLineOption(QLatin1String(o.name), text));
    }

    if (!p.parse(arguments)) {
        *message = p.errorText();
        return false;
    }
    if (p.isSet(help)) {
        *message = p.helpText();
        *done = true;
        return true;
    }
    if (!p.positionalArguments().isEmpty()) {
        *message = QStringLiteral("unexpected argument: %1").arg(p.positionalArguments().first());
        return false;
    }

    bool ok = true;
    auto number = [&](const char *name, qint64 low, qint64 high, int base = 10) {
        const QString o = QLatin1String(name);
        bool good = false;
        const qint64 v = p.value(o).toLongLong(&good, base);
        if (!good || v < low || v > high) {
            if (ok)
                *message = QStringLiteral("--%1: expected a number from %2 to %3, got \"%4\"")
                               .arg(o)
                               .arg(low)
                               .arg(high)
                               .arg(p.value(o));
            ok = false;
            return low;
        }
        return v;
    };

    SimDashboard &dash = m_sim.dashboard();
    SimAdapter &adapter = m_sim.adapter();
    m_sim.setBaudRate(int(number("baud", 300, 16000000)));
    // A family first; the options given besides it change its settings.
    const bool family = p.isSet(QStringLiteral("family"));
    if (family) {
        SimFamily f;
        if (!SimFamily::find(p.value(QStringLiteral("family")), &f)) {
            *message = QStringLiteral("--family: %1")
                           .arg(SimFamily::unknownNameMessage(p.value(QStringLiteral("family"))));
            return false;
        }
        f.applyTo(m_sim);
    }
    if (!family || p.isSet(QStringLiteral("kind"))) {
        SimAdapter::Kind k;
        if (!SimAdapter::kindFromName(p.value(QStringLiteral("kind")), &k)) {
            *message = QStringLiteral("--kind: expected clone, genuine or extended");
            return false;
        }
        adapter.setKind(k);
        adapter.setIdentification(QByteArray()); // the kind's own
    }
    dash.setPages(int(number("pages", 1, 16)));
    if (p.isSet(QStringLiteral("count")))
        dash.setCount(int(number("count", 0, 255)));
    dash.setDisp(quint8(number("disp", 0, 255)));
    dash.setVersion(quint8(number("version", 0, 255)));
    dash.setReserved(quint8(number("r4", 0, 255)), quint8(number("r5", 0, 255)));
    dash.setHostId(quint32(number("host-id", 0, 0x7FF, 16)));
    dash.setDeviceId(quint32(number("device-id", 0, 0x7FF, 16)));
    adapter.setChipModel(p.isSet(QStringLiteral("chip-model")));
    if (p.isSet(QStringLiteral("clone-response-count")))
        adapter.setCloneResponseCount(true);
    if (p.isSet(QStringLiteral("clone-rate-switch")))
        adapter.setCloneRateSwitch(true);
    if (!family || p.isSet(QStringLiteral("rv"))) {
        SimAdapter::VoltageReply rv;
        if (!SimAdapter::voltageReplyFromName(p.value(QStringLiteral("rv")), &rv)) {
            *message = QStringLiteral("--rv: expected 12.6V, ? or none");
            return false;
        }
        adapter.setVoltageReply(rv);
    }
    if (p.isSet(QStringLiteral("count-no-data")))
        adapter.setCountDrawsNoData(true);
    if (p.isSet(QStringLiteral("latency-us")))
        adapter.setLatencyUs(number("latency-us", 0, 10000000));
    adapter.setResetDelayMs(int(number("reset-ms", 0, 60000)));
    if (p.isSet(QStringLiteral("module"))) {
        int up = -1;
        int down = -1;
        if (!parseModuleOption(p.value(QStringLiteral("module")), &up, &down)) {
            *message = QStringLiteral("--module: bluetooth, wifi or UP,DOWN in milliseconds "
                                      "(0-10000), not \"%1\"")
                           .arg(p.value(QStringLiteral("module")));
            return false;
        }
        m_sim.setModule(up, down);
    }
    if (p.isSet(QStringLiteral("timeout-ms")))
        adapter.setNoDataTimeoutMs(int(number("timeout-ms", 0, 60000)));
    dash.setRestartSilenceMs(int(number("restart-silence-ms", 0, 3600000)));
    dash.setAckByte(p.isSet(QStringLiteral("ack30-01")) ? 0x01 : 0x00);
    m_sim.setPacing(p.isSet(QStringLiteral("pacing")));
    m_sim.setGarbageOnWrongBaud(p.isSet(QStringLiteral("garbage-on-wrong-baud")));
    if (!ok)
        return false;

    for (const QString &text : p.values(QStringLiteral("fault"))) {
        SimFault f;
        if (!SimFault::parse(text, &f, message))
            return false;
        adapter.faults().addFault(f);
    }
    if (p.isSet(QStringLiteral("random-faults"))) {
        bool good = false;
        const double rate = p.value(QStringLiteral("random-faults")).toDouble(&good);
        if (!good || rate < 0 || rate > 1) {
            *message = QStringLiteral("--random-faults: expected a probability from 0 to 1");
            return false;
        }
        QList<SimFault::Kind> kinds;
        for (const QString &name :
             p.value(QStringLiteral("random-kinds")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            SimFault::Kind fk;
            if (!SimFault::kindFromName(name, &fk)) {
                *message = QStringLiteral("--random-kinds: unknown kind \"%1\"").arg(name);
                return false;
            }
            kinds << fk;
        }
        adapter.faults().setRandom(quint32(number("seed", 0, 0xFFFFFFFFll)), rate, kinds);
        if (!ok)
            return false;
    }

    m_serveTcp = p.isSet(QStringLiteral("tcp"));
    if (m_serveTcp && !parseTcpOption(p.value(QStringLiteral("tcp")), &m_tcpAddress, &m_tcpPort)) {
        *message = QStringLiteral("--tcp: expected [ADDR:]PORT with an IP address and a port "
                                  "from 0 to 65535, got \"%1\"")
                       .arg(p.value(QStringLiteral("tcp")));
        return false;
    }
    m_linkPath = p.value(QStringLiteral("link"));
    m_statePath = p.value(QStringLiteral("state"));
    m_blank = p.isSet(QStringLiteral("blank"));
    m_verbose = p.isSet(QStringLiteral("verbose"));
    return true;
}

bool SimProgram::start(QString *message)
{
    SimDashboard &dash = m_sim.dashboard();
    if (!m_statePath.isEmpty() && QFileInfo::exists(m_statePath)) {
        if (!SimStateFile::load(m_statePath, dash, message))
            return false; // a file we cannot read is never overwritten
    } else if (!m_blank) {
        SimDemoImage::install(dash);
    }
    if (!m_sim.start()) {
        *message = m_sim.errorString();
        return false;
    }
    // Listening before the link is made: whoever waits for the link finds the port served.
    if (m_serveTcp) {
        m_tcp = std::make_unique<TcpSimulator>(&m_sim);
        if (!m_tcp->listen(m_tcpAddress, m_tcpPort)) {
            *message = QStringLiteral("--tcp: %1").arg(m_tcp->errorString());
            m_tcp.reset();
            m_sim.hangUp();
            return false;
        }
    }
    if (!m_linkPath.isEmpty() && !makeLink(message)) {
        m_tcp.reset();
        m_sim.hangUp();
        return false;
    }
    if (!m_statePath.isEmpty()) {
        saveState(); // creates the file at once, so a bad path shows now
        connect(&m_sim, &PtySimulator::frameReceived, &m_saveTimer, qOverload<>(&QTimer::start));
    }
    if (m_verbose) {
        connect(&m_sim, &PtySimulator::commandReceived, this, [this](const QByteArray &line) {
            logLine(QStringLiteral("CMD %1").arg(QString::fromLatin1(line)));
        });
        connect(&m_sim, &PtySimulator::frameReceived, this, [this](const SimFrame &f) {
            logLine(QStringLiteral("TX  %1  %2")
                        .arg(f.id, 3, 16, QLatin1Char('0'))
                        .arg(QString::fromLatin1(hexBytes(f.data))));
        });
        connect(&m_sim, &PtySimulator::deviceFrame, this, [this](const SimFrame &f) {
            logLine(QStringLiteral("RX  %1  %2")
                        .arg(f.id, 3, 16, QLatin1Char('0'))
                        .arg(QString::fromLatin1(hexBytes(f.data))));
        });
        connect(&m_sim, &PtySimulator::hungUp, this,
                [this] { logLine(QStringLiteral("hung up")); });
        if (m_tcp) {
            connect(m_tcp.get(), &TcpSimulator::clientConnected, this, [this](const QString &peer) {
                logLine(QStringLiteral("client %1 connected").arg(peer));
            });
            connect(m_tcp.get(), &TcpSimulator::clientClosed, this,
                    [this] { logLine(QStringLiteral("client closed")); });
        }
    }
    connect(&m_sim, &PtySimulator::hungUp, qApp, &QCoreApplication::quit);

    QTextStream out(stdout);
    const QString served = m_tcp ? m_tcp->url() : m_sim.slavePath();
    out << served << Qt::endl;
    if (m_verbose)
        logLine(QStringLiteral("serving %1 at %2 baud, %3, %4 pages%5")
                    .arg(served)
                    .arg(m_sim.baudRate())
                    .arg(QString::fromLatin1(m_sim.adapter().identification()))
                    .arg(dash.pages())
                    .arg(m_sim.hasModule() ? QStringLiteral(", behind a module (%1 ms up, %2 ms "
                                                            "down)")
                                                 .arg(m_sim.moduleUpMs())
                                                 .arg(m_sim.moduleDownMs())
                                           : QString()));
    return true;
}

void SimProgram::printStats()
{
    // One line a program can parse; the counters run from the start, the caller takes
    // differences.
    QTextStream(stderr) << QStringLiteral("stats: exchanges=%1 requests=%2 bytes-in=%3 "
                                          "bytes-out=%4 late-us=%5 line-us=%6")
                               .arg(m_sim.exchangeCount())
                               .arg(m_sim.requestCount())
                               .arg(m_sim.bytesReceived())
                               .arg(m_sim.bytesSent())
                               .arg(m_sim.averageLatenessUs(), 0, 'f', 1)
                               .arg(m_sim.lineTimeUs(), 0, 'f', 0)
                        << Qt::endl;
}

void SimProgram::powerCycle()
{
    m_sim.dashboard().reset();
    if (m_verbose)
        logLine(QStringLiteral("dashboard switched off and on"));
}

void SimProgram::stop()
{
    if (m_verbose && m_sim.exchangeCount() > 0) {
        logLine(QStringLiteral("%1 exchanges, %2 bytes in, %3 bytes out, output %4 us late on "
                               "average")
                    .arg(m_sim.exchangeCount())
                    .arg(m_sim.bytesReceived())
                    .arg(m_sim.bytesSent())
                    .arg(m_sim.averageLatenessUs(), 0, 'f', 1));
    }
    m_saveTimer.stop();
    if (!m_statePath.isEmpty() && m_sim.dashboard().changedSinceMark())
        saveState();
    removeLink();
}

void SimProgram::saveState()
{
    QString error;
    if (SimStateFile::save(m_statePath, m_sim.dashboard(), &error))
        m_sim.dashboard().markSaved();
    else
        logLine(QStringLiteral("cannot save the state: %1").arg(error));
}

bool SimProgram::makeLink(QString *message)
{
    const QFileInfo info(m_linkPath);
    // A dangling link left by a run that was killed is taken over; anything else is not ours.
    if (info.exists() && !info.isSymLink()) {
        *message = QStringLiteral("--link: %1 exists and is not a symlink").arg(m_linkPath);
        return false;
    }
    // Make the link under a temporary name and rename it over the old one, so the path
    // never points at nothing while a client looks it up.
    const QByteArray tmp =
        QFile::encodeName(m_linkPath + QStringLiteral(".%1.tmp").arg(::getpid()));
    ::unlink(tmp.constData());
    if (::symlink(QFile::encodeName(m_sim.slavePath()).constData(), tmp.constData()) != 0 ||
        ::rename(tmp.constData(), QFile::encodeName(m_linkPath).constData()) != 0) {
        *message = QStringLiteral("--link: cannot create %1: %2")
                       .arg(m_linkPath, QString::fromLocal8Bit(strerror(errno)));
        ::unlink(tmp.constData());
        return false;
    }
    m_linkMade = true;
    return true;
}

void SimProgram::removeLink()
{
    if (!m_linkMade)
        return;
    m_linkMade = false;
    // Only our own link: another simulator may have taken the path over meanwhile.
    if (QFileInfo(m_linkPath).symLinkTarget() == QFileInfo(m_sim.slavePath()).absoluteFilePath())
        QFile::remove(m_linkPath);
}

void SimProgram::logLine(const QString &text)
{
    QTextStream err(stderr);
    err << QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz")) << ' ' << text
        << Qt::endl;
}

bool SimProgram::installSignalHandlers()
{
    if (::pipe(g_signalPipe) != 0)
        return false;
    for (int fd : g_signalPipe)
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char c = 0;
        if (::read(g_signalPipe[0], &c, 1) == 1 && c == char(SIGUSR1)) {
            if (g_program)
                g_program->printStats();
            return;
        }
        if (c == char(SIGHUP)) {
            if (g_program)
                g_program->powerCycle();
            return;
        }
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &sa, nullptr) == 0 && sigaction(SIGTERM, &sa, nullptr) == 0 &&
           sigaction(SIGUSR1, &sa, nullptr) == 0 && sigaction(SIGHUP, &sa, nullptr) == 0;
}
