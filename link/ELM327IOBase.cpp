#include "link/ELM327IOBase.h"

#include "edition/Edition.h"
#include "link/SerialTransport.h"
#include "link/TcpTransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMetaEnum>
#include <QPointer>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <iterator>

// The traffic (every line each way) is debug output, off unless asked for:
// QT_LOGGING_RULES="kx4.link.debug=true"; on by default it would cost every exchange
// its formatting and a write to the terminal.
Q_LOGGING_CATEGORY(lcLink, "kx4.link", QtInfoMsg)

const QList<qint32> baudRates = {9600,   19200,   38400,   57600,   115200,  256000,
                                 500000, 1000000, 2000000, 4000000, 5000000, 8000000};

namespace {


bool isCommandText(const QByteArray &item)
{
    const QByteArray lower = item.left(2).toLower();
    return lower == "at" || lower == "st";
}

// Devices that work as serial ports but that the system does not list (pseudo-terminals,
// rfcomm or network bridges), named by the user in KX4_EXTRA_PORTS.
QStringList extraPorts()
{
    return qEnvironmentVariable("KX4_EXTRA_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

} // namespace

QStringList availableSerialPorts()
{
    QStringList names;
    const auto system = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : system)
        names << info.portName();
    for (const QString &path : extraPorts()) {
        if (!names.contains(path))
            names << path;
    }
    return names;
}

bool openPort(QString name, QVariantHash params, QSerialPort *port)
{
    if (!port)
        return false;
    // Listing the system's ports scans every tty of the machine (tens of milliseconds), so
    // a port named in KX4_EXTRA_PORTS is taken as it is.
    if (extraPorts().contains(name)) {
        port->setPortName(name);
    } else {
        const auto system = QSerialPortInfo::availablePorts();
        const auto found =
            std::find_if(system.cbegin(), system.cend(),
                         [&](const QSerialPortInfo &i) { return i.portName() == name; });
        if (found == system.cend())
            return false;
        port->setPort(*found);
    }

    const qint32 baud = qint32(params.value(QStringLiteral("COM/Baud"), 115200).toUInt());
    port->setBaudRate(baud, QSerialPort::Input);
    port->setBaudRate(baud, QSerialPort::Output);

    const int parity = params.value(QStringLiteral("COM/Parity"), 0).toInt();
    switch (parity) {
    case QSerialPort::EvenParity:
    case QSerialPort::OddParity:
    case QSerialPort::SpaceParity:
    case QSerialPort::MarkParity:
        port->setParity(QSerialPort::Parity(parity));
        break;
    default:
        port->setParity(QSerialPort::NoParity);
    }

    const int bits = params.value(QStringLiteral("COM/Bits"), 8).toInt();
    port->setDataBits(bits >= 5 && bits <= 8 ? QSerialPort::DataBits(bits) : QSerialPort::Data8);

    const int flow = params.value(QStringLiteral("COM/FlowCtrl"), 0).toInt();
    port->setFlowControl(flow == QSerialPort::HardwareControl ||
                                 flow == QSerialPort::SoftwareControl
                             ? QSerialPort::FlowControl(flow)
                             : QSerialPort::NoFlowControl);

    const int stop = params.value(QStringLiteral("COM/StopBits"), 1).toInt();
    port->setStopBits(stop == QSerialPort::TwoStop || stop == QSerialPort::OneAndHalfStop
                          ? QSerialPort::StopBits(stop)
                          : QSerialPort::OneStop);

    return port->open(QIODevice::ReadWrite);
}

ELM327IOBase::ELM327IOBase(QObject *parent)
    : QObject(parent), syncTimer(new QTimer(this)), rateTimer(new QTimer(this))
{
    qRegisterMetaType<ELM327IOBase::ELM_ERROR>("ELM327IOBase::ELM_ERROR");
    rateTimer->setSingleShot(true);
    connect(rateTimer, &QTimer::timeout, this, &ELM327IOBase::rateSwitchTimeout);
    syncTimer->setSingleShot(true);
    connect(syncTimer, &QTimer::timeout, this, &ELM327IOBase::onSyncTimer);
    // Recorded before the controller hears of them.
    connect(this, &ELM327IOBase::error, this, [this](ELM_ERROR code, const QString &reason) {
        m_recorder.event(
            QStringLiteral("error %1: %2")
                .arg(QLatin1String(QMetaEnum::fromType<ELM_ERROR>().valueToKey(code)), reason));
    });
    connect(this, &ELM327IOBase::disconnected, this,
            [this] { m_recorder.event(QStringLiteral("port closed")); });
    useTransportFor(QString());
}

// A serial port and a network adapter need different channels: setup swaps the channel when
// the kind of port changes.
void ELM327IOBase::useTransportFor(const QString &port)
{
    const LinkTransport::Kind kind = LinkTransport::kindOf(port);
    if (transport && transport->kind() == kind)
        return;
    if (transport) {
        // Closed already; it may be the sender of the signal being handled.
        disconnect(transport, nullptr, this, nullptr);
        transport->deleteLater();
    }
    transport = LinkTransport::create(port, this);
    connect(transport, &LinkTransport::aboutToClose, this, &ELM327IOBase::disconnected);
    connectPortData();
}

ELM327IOBase::~ELM327IOBase()
{
    if (transport->isOpen()) {
        // Nothing the port does from here on may reach a half-destroyed link.
        disconnect(transport, nullptr, this, nullptr);
        lastSent = QByteArrayLiteral("ATZ\r");
        writeNow(lastSent);
        transport->close();
    }
}

bool ELM327IOBase::isOpen()
{
    return transport->isOpen();
}

bool ELM327IOBase::isBusy()
{
    return !commandQueue.isEmpty() || !initQueue.isEmpty() || phase == Phase::Draining ||
           phase == Phase::Syncing;
}

QString ELM327IOBase::portName() const
{
    return transport->portName();
}

QString ELM327IOBase::portKind() const
{
    return transport->kindName();
}

QString ELM327IOBase::portSettings() const
{
    const QVariantMap s = transport->settings();
    if (transport->kind() != LinkTransport::Serial) {
        QStringList parts;
        for (auto it = s.cbegin(); it != s.cend(); ++it)
            parts << QStringLiteral("%1 %2").arg(it.key(), it.value().toString());
        return parts.join(QStringLiteral(", "));
    }
    // Indexed by the values of QSerialPort's Parity, StopBits and FlowControl.
    static const char *const parity[] = {"no", "?", "even", "odd", "space", "mark"};
    static const char *const stopBits[] = {"?", "1", "2", "1.5"};
    static const char *const flow[] = {"no", "hardware", "software"};
    const auto name = [&s](const auto &names, const char *key) {
        const int value = s.value(QLatin1String(key)).toInt();
        return QLatin1String(value >= 0 && value < int(std::size(names)) ? names[value] : "?");
    };
    return QStringLiteral("%1 bit/s, %2 data bits, %3 parity, %4 stop bit, %5 flow control")
        .arg(s.value(QStringLiteral("baud")).toInt())
        .arg(s.value(QStringLiteral("bits")).toInt())
        .arg(name(parity, "parity"), name(stopBits, "stop"), name(flow, "flow"));
}

bool ELM327IOBase::strictMode()
{
    return strict;
}

void ELM327IOBase::setStrictMode(bool on)
{
    strict = on;
}

int ELM327IOBase::lineRate()
{
    return transport->isOpen() ? transport->baudRate() : 0;
}

void ELM327IOBase::connectPortData()
{
    connect(transport, &LinkTransport::failed, this, &ELM327IOBase::transportFailed,
            Qt::UniqueConnection);
    connect(transport, &LinkTransport::readyRead, this, &ELM327IOBase::readyRead,
            Qt::UniqueConnection);
}

void ELM327IOBase::disconnectPortData()
{
    disconnect(transport, &LinkTransport::failed, this, &ELM327IOBase::transportFailed);
    disconnect(transport, &LinkTransport::readyRead, this, &ELM327IOBase::readyRead);
}

void ELM327IOBase::writeNow(const QByteArray &bytes)
{
    qCDebug(lcLink) << "->" << bytes;
    m_recorder.sent(bytes);
    transport->write(bytes);
    transport->flush();
}

bool ELM327IOBase::setup(QString port, uint baud, bool adaptive_timing, bool elm_st)
{
    return setup(port, baud, ElmOptions::fromSettings(adaptive_timing, elm_st));
}

bool ELM327IOBase::setup(const QString &port, uint baud, const ElmOptions &options)
{
    if (detecting) {
        // Reached from an event handled while the rate of another setup is being probed.
        qCWarning(lcLink) << "setup refused: baud-rate detection is running";
        lastFailure = SetupBusy;
        return false;
    }
    close();
    lastFailure = SetupOk;
    lastPortError = QSerialPort::NoError;
    lastPortErrorText.clear();
    m_adapterId.clear();
    m_recorder.restartClock();
    m_recorder.event(baud ? QStringLiteral("connect at %1 bit/s").arg(baud)
                          : QStringLiteral("connect, rate automatic"));
    useTransportFor(port);

    // Opening a network adapter waits for the connection while events are processed: nothing
    // may start another setup or send meanwhile, as during rate detection.
    QPointer<ELM327IOBase> self(this);
    detecting = true;
    const bool opened = transport->open(port, baud ? qint32(baud) : baudRates.first());
    if (!self)
        return false;
    detecting = false;
    if (!opened) {
        qCWarning(lcLink) << "cannot open" << port << transport->errorString();
        if (!transport->hasLineRate())
            return failSetup(SetupNetworkFailed);
        return failSetup(serialError() == QSerialPort::NoError ? SetupPortMissing
                                                               : SetupPortFailed);
    }

    if (!transport->hasLineRate() || baud == 0) {
        detecting = true;
        const bool found = transport->hasLineRate() ? detectBaudRate(port) : adapterAnswers();
        if (!self)
            return false;
        detecting = false;
        if (!found && !transport->hasLineRate())
            return failSetup(SetupNetworkFailed);
        if (!found)
            return failSetup(lastPortError != QSerialPort::NoError ? SetupPortFailed
                                                                   : SetupNoAdapter);
    }

    qCDebug(lcLink) << "opened" << transport->describe();
    stnCommands = options.extended;
    sessionStartRate = transport->baudRate();
    fastTransfers = options.fastTransfers;
    responseCount = fastTransfers;
    // Kept for a reset of the adapter, which undoes all of it. Frames queued by events
    // handled during detection follow the initialisation.
    initSteps = elmInitialisation(options);

    m_recorder.event(
        QStringLiteral("port open at %1 bit/s, initialising").arg(transport->baudRate()));
    resetsSinceReply = 0;
    startSync();
    emit connected();
    return true;
}

// Probes the rates of baudRates on the open port until the adapter answers "ati", then leaves the
// port reopened at that rate (the update-checking edition keeps it open instead). Returns false
// with the port closed when no rate answers, when the port fails or is closed meanwhile, or when
// the link itself is deleted by an event processed while waiting (then no member may be touched any
// more).
bool ELM327IOBase::detectBaudRate(const QString &port)
{
    QPointer<ELM327IOBase> self(this);
    // Probing at wrong rates draws time-outs and noise; they must neither close the port nor
    // reach the line parser.
    disconnectPortData();

    // True when probing has to stop early: the link was deleted (then nothing may be touched),
    // closed by close() from an event, or the port failed. The port's connections are back in
    // place by then.
    auto abandoned = [&] {
        if (!self)
            return true;
        if (!transport->isOpen()) {
            connectPortData();
            return true;
        }
        if (transport->hasFailed()) {
            qCWarning(lcLink) << "port failed during baud-rate detection"
                              << transport->errorString();
            lastPortError = serialError();
            lastPortErrorText = transport->errorString();
            transport->close();
            if (self)
                connectPortData();
            return true;
        }
        return false;
    };
    // Writes while keeping the interface alive; false when probing has to stop.
    auto send = [&](const QByteArray &bytes) {
        qCDebug(lcLink) << "->" << bytes << "at" << transport->baudRate();
        m_recorder.sent(bytes);
        transport->write(bytes);
        QCoreApplication::processEvents();
        if (abandoned())
            return false;
        transport->flush();
        QCoreApplication::processEvents();
        return !abandoned();
    };

    auto readReply = [&] {
        const QByteArray bytes = transport->readAll();
        if (!bytes.isEmpty())
            m_recorder.received(bytes);
        return bytes;
    };

    int index = 0;
    for (;;) {
        m_recorder.event(QStringLiteral("probing %1 bit/s").arg(baudRates.at(index)));
        transport->clear();
        QByteArray reply;
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (!send(QByteArrayLiteral("ati\r")))
                return false;
            transport->waitForReadyRead(100);
            reply += readReply();
            transport->waitForReadyRead(100);
            reply += readReply();
            if (abandoned())
                return false;
        }
        if (!reply.isEmpty())
            qCDebug(lcLink) << "<-" << reply;
        if (reply.contains("ELM327") || reply.contains("ati") || reply.contains("?\r"))
            break;
        if (++index == baudRates.size()) {
            qCWarning(lcLink) << "no adapter answered on" << port;
            m_recorder.event(QStringLiteral("no adapter answered at any rate"));
            transport->close();
            if (!self)
                return false;
            connectPortData();
            return false;
        }
        transport->setBaudRate(baudRates.at(index));
    }

    qCDebug(lcLink) << "adapter found at" << baudRates.at(index);
    m_recorder.event(QStringLiteral("rate found: %1 bit/s").arg(baudRates.at(index)));
    if (!Edition::DetectionReopensPort) {
        // The port already runs at the found rate: keep it open, so no disconnected().
        connectPortData();
        return true;
    }
    if (!send(QByteArrayLiteral("atws\r")))
        return false;
    transport->waitForReadyRead(500);
    readReply();
    if (abandoned())
        return false;

    transport->flush();
    transport->clear();
    transport->close();
    if (!self)
        return false;

    const bool reopened = transport->open(port, baudRates.at(index));
    connectPortData();
    if (!reopened) {
        qCWarning(lcLink) << "cannot reopen" << port << transport->errorString();
        lastPortError = serialError();
        lastPortErrorText = transport->errorString();
        if (lastPortError == QSerialPort::NoError)
            lastPortError = QSerialPort::DeviceNotFoundError;
    }
    return reopened;
}

bool ELM327IOBase::failSetup(SetupFailure failure)
{
    lastFailure = failure;
    if ((failure == SetupPortFailed && lastPortError == QSerialPort::NoError) ||
        (failure == SetupNetworkFailed && lastPortErrorText.isEmpty())) {
        lastPortError = serialError();
        lastPortErrorText = transport->errorString();
    }
    m_recorder.event(
        QStringLiteral("connect failed: %1 %2")
            .arg(QLatin1String(QMetaEnum::fromType<SetupFailure>().valueToKey(failure)),
                 lastPortErrorText));
    return false;
}

QSerialPort::SerialPortError ELM327IOBase::serialError() const
{
    const auto *serial = qobject_cast<const SerialTransport *>(transport);
    return serial ? serial->portError() : QSerialPort::NoError;
}

// A network adapter has no rate to find, and a connection alone does not show that an adapter
// is behind it: a Wi-Fi module whose chip is switched off, or a program that is not an adapter,
// accepts the connection and stays silent. One "ati" must draw an answer up to the adapter's
// prompt within TcpTransport::AnswerTimeoutMs; what it says is dropped.
bool ELM327IOBase::adapterAnswers()
{
    QPointer<ELM327IOBase> self(this);
    disconnectPortData();
    transport->clear();
    qCDebug(lcLink) << "-> ati\r";
    transport->write(QByteArrayLiteral("ati\r"));
    transport->flush();

    QByteArray reply;
    QElapsedTimer waited;
    waited.start();
    while (!reply.contains('>')) {
        const qint64 left = TcpTransport::AnswerTimeoutMs - waited.elapsed();
        if (left <= 0 || !transport->isOpen() || transport->hasFailed())
            break;
        transport->waitForReadyRead(int(left));
        if (!self)
            return false;
        reply += transport->readAll();
    }
    if (!reply.isEmpty())
        qCDebug(lcLink) << "<-" << reply;
    if (reply.contains('>')) {
        connectPortData();
        return true;
    }

    if (!transport->isOpen())
        lastPortErrorText = tr("The connection was closed before the adapter answered");
    else if (transport->hasFailed())
        lastPortErrorText = transport->errorString();
    else
        lastPortErrorText = tr("No answer from the adapter at %1 within 5 s")
                                .arg(transport->portName().section(QStringLiteral("://"), 1));
    qCWarning(lcLink) << "no adapter on" << transport->portName() << lastPortErrorText;
    transport->close();
    if (self)
        connectPortData();
    return false;
}

void ELM327IOBase::close()
{
    ++session;
    syncTimer->stop();
    phase = Phase::Closed;
    {
        const QSignalBlocker blocker(transport);
        if (transport->isOpen()) {
            lastSent = QByteArrayLiteral("ATZ\r");
            writeNow(lastSent);
            transport->close();
            monitoring = false;
        }
    }
    rawQueue.clear();
    commandQueue.clear();
    initQueue.clear();
    splitter.clear();
    busy = false;
    canRetries = 0;
    lastSent.clear();
    inFlight.clear();
    inFlightOrigin = Origin::None;
    heldLine.clear();
    resetsSinceReply = 0;
    countedInFlight.clear();
    rateSwitch.reset();
    rateTimer->stop();
}

void ELM327IOBase::write(QByteArray data)
{
    rawQueue << data;
    if (!busy)
        sendNext();
}

void ELM327IOBase::writeHEX(QByteArray data)
{
    commandQueue << data.toHex().toUpper();
    if (!busy)
        sendNext();
}

void ELM327IOBase::writeRequest(QByteArray data, int replies)
{
    QByteArray text = data.toHex().toUpper();
    if (responseCount && replies > 0 && replies < 16)
        text += QByteArray::number(replies, 16).toUpper();
    commandQueue << text;
    if (!busy)
        sendNext();
}

void ELM327IOBase::monitor(bool on)
{
    if (on && !monitoring) {
        writeNow(QByteArrayLiteral("ATMA\r"));
        monitoring = true;
    } else if (!on && monitoring) {
        writeNow(QByteArrayLiteral("\r"));
        monitoring = false;
    }
}

void ELM327IOBase::sendNext()
{
    // Until the link is in step with the adapter only its own command goes out.
    if (phase == Phase::Draining || phase == Phase::Syncing)
        return;
    // An empty item writes nothing, so no prompt would ever answer it: skip it and go on with
    // what follows instead of stalling the queue behind it.
    bool dropped = false;
    for (QList<QByteArray> *queue : {&rawQueue, &commandQueue}) {
        while (!queue->isEmpty() && queue->first().isEmpty()) {
            queue->removeFirst();
            dropped = true;
        }
    }
    if (initQueue.isEmpty() && rawQueue.isEmpty() && commandQueue.isEmpty()) {
        if (!dropped)
            emit ready();
        return;
    }
    // Nothing may disturb the probing of rates; what is queued meanwhile waits for setup.
    if (!transport->isOpen() || detecting)
        return;

    // The initialisation goes first, then raw items, then frames.
    inFlightAnswered = false;
    if (!initQueue.isEmpty()) {
        const ElmInitStep step = initQueue.takeFirst();
        if (step.answer == ElmInitStep::RateSwitch) {
            inFlightOrigin = Origin::None;
            startRateRaise();
            return;
        }
        inFlightOrigin = Origin::Init;
        inFlight = step.command;
        atPending = true;
        frameInFlight = false;
        countedInFlight.clear();
        lastSent = encodeCommand(inFlight) + '\r';
        bannerExpected = step.answer == ElmInitStep::Banner;
        writeNow(lastSent);
        busy = true;
        return;
    }
    if (!rawQueue.isEmpty()) {
        inFlight = rawQueue.takeFirst();
        inFlightOrigin = Origin::Raw;
        lastSent = inFlight;
    } else {
        inFlightOrigin = Origin::Command;
        inFlight = commandQueue.takeFirst();
        atPending = isCommandText(inFlight);
        frameInFlight = !atPending;
        // A frame's text has an even number of digits; an odd one ends with a count.
        countedInFlight = frameInFlight && inFlight.size() % 2 ? inFlight : QByteArray();
        lastSent = encodeCommand(inFlight) + '\r';
    }
    // "ATZ", "ATWS" and "ATI" are answered with the banner; anywhere else it means a reset.
    const QByteArray compact = lastSent.toUpper().replace(' ', "").replace('\r', "");
    bannerExpected = compact == "ATZ" || compact == "ATWS" || compact == "ATI";
    writeNow(lastSent);
    busy = true;
}

void ELM327IOBase::readyRead()
{
    const QByteArray raw = transport->readAll();
    m_recorder.received(raw);
    const QByteArray incoming = ElmReply::clean(raw);
    if (incoming.isEmpty())
        return;
    qCDebug(lcLink) << "<-" << incoming;
    if (rateSwitching()) {
        rateSwitchInput(incoming);
        return;
    }
    if (raisedRateLost(incoming)) {
        // The adapter reset and is back at its start rate: its output is noise here.
        adapterWasReset(incoming, "noise at the raised line rate");
        return;
    }
    if (phase == Phase::Draining) {
        // What an earlier session (or the adapter's reset) left on the line: dropped. The
        // drain ends after a quiet spell, or at the latest after MaxDrainMs.
        restartDrain();
        return;
    }
    splitter.feed(incoming);

    // Each piece leaves the splitter before it is acted on: a handler that runs an event loop
    // may re-enter here, and one that closes or restarts the link ends this session's parsing.
    const quint32 current = session;
    ElmReply::Piece piece;
    while (splitter.next(&piece)) {
        switch (piece.kind) {
        case ElmReply::Piece::Line:
            if (phase == Phase::Syncing)
                syncLine(piece.text);
            else
                parseLine(piece.text);
            break;
        case ElmReply::Piece::TooLong:
            // An adapter's line is a few dozen characters. One that never ends (a wrong line
            // speed, a failing chip) is reported once and skipped up to its carriage return,
            // instead of growing the buffer without limit.
            emit error(ERR_PROTOCOL, QStringLiteral("reply line too long"));
            break;
        case ElmReply::Piece::PromptLine:
        case ElmReply::Piece::Prompt:
            if (phase == Phase::Syncing)
                syncPrompt();
            else if (ElmReply::promptEnds(piece.kind, atPending))
                promptArrived();
            break;
        }
        // A recognised reset drops the rest of the output along with the splitter's.
        if (session != current || phase == Phase::Draining)
            return;
    }
}

void ELM327IOBase::promptArrived()
{
    bannerExpected = false;
    if (!releaseHeldLine())
        return;
    busy = false;
    sendNext();
}

void ELM327IOBase::transportFailed()
{
    qCWarning(lcLink) << "port error" << transport->errorString();
    m_recorder.event(QStringLiteral("port error (%1)").arg(transport->errorString()));
    if (transport->isOpen())
        transport->close();
}

void ELM327IOBase::parseLine(QByteArray line)
{
    using ElmReply::Kind;
    ElmReply::Context context;
    context.commandPending = atPending;
    context.bannerExpected = bannerExpected;
    context.identifying = lastSent.startsWith("atws");
    context.frameInFlight = busy && frameInFlight;
    context.countInFlight = !countedInFlight.isEmpty();
    context.sent = lastSent;
    context.held = heldLine;
    const ElmReply::Verdict v = ElmReply::classifyLine(line, context);
    if (v.releaseHeld && !releaseHeldLine())
        return;

    switch (v.kind) {
    case Kind::Nothing:
    case Kind::Echo:
    case Kind::CommandText:
        return;
    case Kind::Reset:
        adapterWasReset(v.text, v.sign);
        return;
    case Kind::Ok:
        atPending = false;
        return;
    case Kind::Identification:
        m_adapterId = v.text; // kept for the diagnostics report
        return;
    case Kind::CountRefused:
        // The adapter does not know the response count: the frame goes again without it,
        // and so does every frame after it.
        qCInfo(lcLink) << "the adapter refuses the response count";
        responseCount = false;
        for (QByteArray &item : commandQueue) {
            if (!isCommandText(item) && item.size() % 2)
                item.chop(1);
        }
        commandQueue.prepend(countedInFlight.chopped(1));
        countedInFlight.clear();
        return;
    case Kind::NoData:
    case Kind::Stopped:
        if (strict)
            emit error(v.kind == Kind::NoData ? ERR_NODATA : ERR_STOPPED,
                       QStringLiteral("trasport error %1").arg(QString::fromLatin1(v.text)));
        return;
    case Kind::CanError:
        ++canRetries;
        if (lastSent.isEmpty() || canRetries > 4) {
            // Whatever was queued behind the failing frame is dropped before the error is
            // reported, so a handler may queue new work at once.
            canRetries = 0;
            rawQueue.clear();
            commandQueue.clear();
            emit error(ERR_CANERR, QStringLiteral("CAN error. Retries exhausted"));
        } else {
            // Goes out again unchanged, carriage return included, at the next prompt.
            rawQueue.prepend(lastSent);
        }
        return;
    case Kind::Hold:
        heldLine = v.text;
        return;
    case Kind::NonHex:
        canRetries = 0;
        emit error(ERR_PROTOCOL, QStringLiteral("non-hex reply"));
        return;
    case Kind::BufferFull:
    case Kind::Data:
        canRetries = 0;
        inFlightAnswered = true;
        resetsSinceReply = 0;
        dispatchData(v.data);
        return;
    }
}

void ELM327IOBase::dispatchData(QByteArray data)
{
    emit read(data);
}

QByteArray ELM327IOBase::encodeCommand(QByteArray item)
{
    return item;
}
