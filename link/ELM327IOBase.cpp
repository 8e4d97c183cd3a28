#include "link/ELM327IOBase.h"

#include <QLoggingCategory>
#include <QMetaEnum>
#include <QSignalBlocker>
#include <QTimer>

// The traffic (every line each way) is debug output, off unless asked for:
// QT_LOGGING_RULES="kx4.link.debug=true"; on by default it would cost every exchange
// its formatting and a write to the terminal.
Q_LOGGING_CATEGORY(lcLink, "kx4.link", QtInfoMsg)

const QList<qint32> baudRates = {9600,   19200,   38400,   57600,   115200,  256000,
                                 500000, 1000000, 2000000, 4000000, 5000000, 8000000};

ELM327IOBase::ELM327IOBase(QObject *parent)
    : QObject(parent), rateTimer(new QTimer(this)), syncTimer(new QTimer(this)),
      exchangeTimer(new QTimer(this))
{
    exchangeTimer->setSingleShot(true);
    connect(exchangeTimer, &QTimer::timeout, this, &ELM327IOBase::exchangeOverdue);
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
    return transport->settingsText();
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
    return transport->isOpen() && !rateIsVirtual() ? transport->baudRate() : 0;
}

bool ELM327IOBase::rateIsVirtual() const
{
    return rateFoundVirtual || transport->rateIsVirtual();
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

void ELM327IOBase::close()
{
    ++session;
    syncTimer->stop();
    exchangeTimer->stop();
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
    countProbe.clear();
    pendingQueries.clear();
    queryInFlight = false;
    queryLines.clear();
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

void ELM327IOBase::query(QByteArray command)
{
    pendingQueries << command;
    commandQueue << command;
    if (!busy)
        sendNext();
}

void ELM327IOBase::endQuery()
{
    queryInFlight = false;
    const QList<QByteArray> lines = queryLines;
    queryLines.clear();
    emit answered(inFlight, lines);
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
        commandClock.start();
        commandBytes = lastSent.size();
        return;
    }
    if (!rawQueue.isEmpty()) {
        inFlight = rawQueue.takeFirst();
        inFlightOrigin = Origin::Raw;
        lastSent = inFlight;
    } else {
        inFlightOrigin = Origin::Command;
        inFlight = commandQueue.takeFirst();
        atPending = ElmReply::isCommandText(inFlight);
        frameInFlight = !atPending;
        // A frame's text has an even number of digits; an odd one ends with a count.
        countedInFlight = frameInFlight && inFlight.size() % 2 ? inFlight : QByteArray();
        lastSent = encodeCommand(inFlight) + '\r';
        queryInFlight = !pendingQueries.isEmpty() && pendingQueries.first() == inFlight;
        if (queryInFlight)
            pendingQueries.removeFirst();
        queryLines.clear();
    }
    // "ATZ", "ATWS" and "ATI" are answered with the banner; anywhere else it means a reset.
    const QByteArray compact = lastSent.toUpper().replace(' ', "").replace('\r', "");
    bannerExpected = compact == "ATZ" || compact == "ATWS" || compact == "ATI";
    writeNow(lastSent);
    busy = true;
    overdueSession = session;
    exchangeTimer->start(ExchangeDeadlineMs);
}

void ELM327IOBase::exchangeOverdue()
{
    if (!busy || session != overdueSession || phase != Phase::Running ||
        inFlightOrigin == Origin::None || inFlightOrigin == Origin::Init)
        return;
    m_recorder.event(QStringLiteral("no prompt within %1 ms of %2: counted as a lost reply")
                         .arg(ExchangeDeadlineMs)
                         .arg(QString::fromLatin1(lastSent.trimmed())));
    // What the adapter said for this request is not its answer any more.
    heldLine.clear();
    splitter.clear();
    countedInFlight.clear();
    atPending = false;
    busy = false;
    const quint32 current = session;
    if (queryInFlight) {
        // A query's answer is whatever came: its asker judges it.
        endQuery();
        if (session == current && !busy)
            sendNext();
        return;
    }
    emit error(ERR_NODATA, QStringLiteral("no answer within %1 ms").arg(ExchangeDeadlineMs));
    // The handler queued the request again (or ended the session).
    if (session == current && !busy)
        sendNext();
}

void ELM327IOBase::transportFailed()
{
    qCWarning(lcLink) << "port error" << transport->errorString();
    m_recorder.event(QStringLiteral("port error (%1)").arg(transport->errorString()));
    if (transport->isOpen())
        transport->close();
}

void ELM327IOBase::dispatchData(QByteArray data)
{
    emit read(data);
}

QByteArray ELM327IOBase::encodeCommand(QByteArray item)
{
    return item;
}
