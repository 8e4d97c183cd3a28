#include "runner/AdapterProbe.h"

#include "runner/DashboardProtocol.h"

namespace {

// Requests sent at most while 20 are timed: a few lost replies are not the end of it.
constexpr int MaxDashboardRequests = AdapterCheck::TimedExchanges + 5;

} // namespace

AdapterProbe::AdapterProbe(ELM327IOBase *link, QObject *parent) : QObject(parent), m_link(link)
{
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &AdapterProbe::finish);
}

AdapterProbe::~AdapterProbe()
{
    if (m_link)
        disconnect(m_link, nullptr, this, nullptr);
}

void AdapterProbe::start(const QString &port, uint baud, const ElmOptions &options)
{
    m_answers = AdapterCheck::Answers();
    m_answers.port = port;
    m_answers.fastTransfers = options.fastTransfers;
    m_answers.extendedSet = options.extended;
    connect(m_link, &ELM327IOBase::ready, this, &AdapterProbe::onReady);
    connect(m_link, &ELM327IOBase::read, this, &AdapterProbe::onRead);
    connect(m_link, &ELM327IOBase::error, this,
            [this](ELM327IOBase::ELM_ERROR code, const QString &) { onError(code); });
    connect(m_link, &ELM327IOBase::answered, this, &AdapterProbe::onAnswered);
    m_step = Step::Initialising;
    m_link->recorder().event(QStringLiteral("adapter check"));
    m_answers.opened = m_link->setup(port, baud, options);
    // Rate detection closes and reopens the port: only a close after it ends the check.
    connect(m_link, &ELM327IOBase::disconnected, this, &AdapterProbe::finish);
    m_answers.network = m_link->portKind() == QLatin1String("network");
    if (!m_answers.opened) {
        finish();
        return;
    }
    const LinkTransport *channel = m_link->channel();
    m_answers.virtualRate = m_answers.network || (channel && !channel->canChangeRate()) ||
                            port.contains(QLatin1String("rfcomm"));
    m_quiet.start(QuietMs);
}

void AdapterProbe::onReady()
{
    m_quiet.start(QuietMs);
    switch (m_step) {
    case Step::Initialising: {
        m_answers.adapterAnswered = true;
        m_answers.warmStartId = m_link->adapterIdentification();
        m_step = Step::Asking;
        QList<QByteArray> commands = AdapterCheck::identityCommands();
        for (const AdapterCheck::VersionCommand &c : AdapterCheck::versionCommands())
            commands << c.command;
        m_pendingQueries = commands.size();
        for (const QByteArray &command : qAsConst(commands))
            m_link->query(command);
        break;
    }
    case Step::Dashboard:
        // The prompt that ends a request.
        if (m_replied) {
            m_answers.dashboardAnswered = true;
            m_answers.dashboardExchangeUs << m_clock.nsecsElapsed() / 1000;
        }
        if (!m_answers.dashboardAnswered || m_answers.dashboardExchangeUs.size() >=
                                                AdapterCheck::TimedExchanges ||
            m_sent >= MaxDashboardRequests) {
            m_step = Step::Adapter;
            sendTimedCommand();
        } else {
            sendDashboardRequest();
        }
        break;
    case Step::Asking:
    case Step::Adapter:
    case Step::Idle:
    case Step::Done:
        break;
    }
}

void AdapterProbe::onAnswered(const QByteArray &command, const QList<QByteArray> &lines)
{
    m_quiet.start(QuietMs);
    if (m_step == Step::Asking) {
        m_answers.answers.insert(command, lines);
        if (--m_pendingQueries == 0) {
            m_step = Step::Dashboard;
            sendDashboardRequest();
        }
        return;
    }
    if (m_step != Step::Adapter)
        return;
    if (!lines.isEmpty())
        m_answers.adapterExchangeUs << m_clock.nsecsElapsed() / 1000;
    if (m_answers.adapterExchangeUs.size() >= AdapterCheck::TimedExchanges || lines.isEmpty())
        finish();
    else
        sendTimedCommand();
}

void AdapterProbe::sendDashboardRequest()
{
    m_replied = false;
    ++m_sent;
    m_clock.start();
    m_link->writeRequest(DashboardProtocol::deviceInfoRequest(), 1);
}

void AdapterProbe::sendTimedCommand()
{
    m_clock.start();
    m_link->query(AdapterCheck::TimedCommand);
}

void AdapterProbe::onRead(const QByteArray &data)
{
    if (m_step != Step::Dashboard)
        return;
    const DashboardProtocol::Reply reply = DashboardProtocol::parseReply(data);
    if (reply.kind != DashboardProtocol::Reply::DeviceInfo)
        return;
    m_replied = true;
    if (m_answers.dashboard.isEmpty())
        m_answers.dashboard = DashboardProtocol::deviceInfo(reply.payload).toVariantMap();
}

void AdapterProbe::onError(ELM327IOBase::ELM_ERROR code)
{
    // A lost reply or a refused frame is an unanswered request: its prompt follows. An
    // adapter that reset twice without answering, or CAN errors without end, end the check.
    if (code == ELM327IOBase::ERR_OTHER || code == ELM327IOBase::ERR_CANERR) {
        if (m_step == Step::Dashboard) {
            m_step = Step::Adapter;
            sendTimedCommand();
        } else if (m_step != Step::Asking) {
            finish();
        }
    }
}

void AdapterProbe::finish()
{
    if (m_step == Step::Done)
        return;
    m_step = Step::Done;
    m_quiet.stop();
    disconnect(m_link, nullptr, this, nullptr);
    m_answers.count = m_link->responseCountOutcome();
    m_answers.rate = m_link->lastRateSwitch();
    m_answers.lineRate = m_link->lineRate();
    // Also found out in the session: commands answered no faster than through a module, or
    // a rate switch answered at the old rate (the link then reports no line rate).
    if (!m_answers.virtualRate && m_link->rateIsVirtual()) {
        m_answers.virtualRate = m_answers.rateFoundVirtual = true;
        if (const LinkTransport *channel = m_link->channel())
            m_answers.portRate = channel->baudRate();
    }
    if (m_answers.network)
        m_answers.lineRate = 0;
    if (m_answers.opened)
        m_link->close();
    emit finished();
}
