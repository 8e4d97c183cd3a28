#include "sim/SimAdapter.h"

#include <QLoggingCategory>
#include <QtEndian>

#include <algorithm>

Q_LOGGING_CATEGORY(lcSimAdapter, "kx4.sim.adapter", QtWarningMsg)

namespace {
constexpr int kMaxLineLength = 128; // the chip's input buffer; a longer line is refused
constexpr int kDefaultTimeout = 0x32;
constexpr qint64 kAdaptiveFloorUs = 20000; // adaptive timing never waits less
constexpr int kLearntReplies = 8;          // adaptive timing looks at the latest replies
constexpr int kBrdClockHz = 4000000;       // "at brd hh": 4000/hh kbit/s
const char kGarbageLine[] = "#~%&!*<>";

SimAdapter::Output atRate(SimAdapter::Output o, int baud)
{
    o.baud = baud;
    return o;
}

bool isHex(const QByteArray &text)
{
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return !text.isEmpty();
}

// "ABX" style CAN filters: hex digits, or X for "any".
bool isFilterPattern(const QByteArray &text)
{
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == 'X'))
            return false;
    }
    return true;
}

QByteArray hexByte(quint8 b)
{
    static const char digits[] = "0123456789ABCDEF";
    return QByteArray() + digits[b >> 4] + digits[b & 0xF];
}
} // namespace

SimAdapter::SimAdapter(SimDashboard *dashboard) : m_dashboard(dashboard)
{
    m_clock.start();
    powerUp();
}

bool SimAdapter::kindFromName(const QString &name, Kind *kind)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("clone") || n == QLatin1String("v1.5"))
        *kind = Clone;
    else if (n == QLatin1String("genuine") || n == QLatin1String("v2.1"))
        *kind = Genuine;
    else if (n == QLatin1String("extended") || n == QLatin1String("v1.4b"))
        *kind = Extended;
    else
        return false;
    return true;
}

bool SimAdapter::voltageReplyFromName(const QString &name, VoltageReply *reply)
{
    if (name == QLatin1String("12.6V"))
        *reply = ReadsVoltage;
    else if (name == QLatin1String("?"))
        *reply = RefusesVoltage;
    else if (name == QLatin1String("none"))
        *reply = SilentVoltage;
    else
        return false;
    return true;
}

QByteArray SimAdapter::identification() const
{
    if (!m_identification.isEmpty())
        return m_identification;
    switch (m_kind) {
    case Genuine:
        return "ELM327 v2.1";
    case Extended:
        return "ELM327 v1.4b";
    case Clone:
        break;
    }
    return "ELM327 v1.5";
}

int SimAdapter::version() const
{
    // "ELM327 v2.1" -> 210, "ELM327 v1.4b" -> 140.
    const QByteArray id = identification();
    const int v = id.indexOf(" v");
    if (v < 0 || id.size() < v + 5 || id.at(v + 3) != '.')
        return 0;
    return (id.at(v + 2) - '0') * 100 + (id.at(v + 4) - '0') * 10;
}

bool SimAdapter::knowsCommandsOf(int level) const
{
    return m_kind != Clone && version() >= level;
}

void SimAdapter::powerUp()
{
    m_echo = true;
    m_spaces = true;
    m_headers = false;
    m_linefeeds = true;
    m_dlc = false;
    m_adaptive = 1;
    m_timeout = kDefaultTimeout;
    m_caf = true;
    m_cfc = true;
    m_allowLong = false;
    m_header = 0x7DF;
    m_filter.clear();
    m_protocol = m_savedProtocol;
    m_protocolAuto = true;
    m_stProtocol = 0;
    m_stBitRate = 500000;
    m_monitoring = false;
    m_lineRate = m_baudRate;
    m_switchRate = 0;
    m_switchFromRate = 0;
    m_brtMs = m_defaultBrtMs;
    m_replyDelaysUs.clear();
    m_input.clear();
    m_lastLine.clear();
    m_discarding = false;
}

int SimAdapter::noDataTimeoutMs() const
{
    return m_timeoutOverrideMs >= 0 ? m_timeoutOverrideMs : m_timeout * 4;
}

qint64 SimAdapter::promptWaitUs() const
{
    if (!m_chipModel)
        return 0;
    const qint64 st = qint64(noDataTimeoutMs()) * 1000;
    if (m_adaptive == 0 || m_replyDelaysUs.isEmpty())
        return st; // nothing learnt yet: the whole AT ST time
    const qint64 longest = *std::max_element(m_replyDelaysUs.cbegin(), m_replyDelaysUs.cend());
    // "at at1" keeps twice the slowest recent reply and 8 ms more; "at at2" only 4 ms more.
    const qint64 learnt = m_adaptive == 1 ? 2 * longest + 8000 : longest + 4000;
    return qMin(qMax(learnt, kAdaptiveFloorUs), st);
}

void SimAdapter::learnReplyDelay(qint64 us)
{
    m_replyDelaysUs.append(us);
    if (m_replyDelaysUs.size() > kLearntReplies)
        m_replyDelaysUs.removeFirst();
}

QList<SimAdapter::Output> SimAdapter::startRateSwitch(const QByteArray &echoed)
{
    // "OK" still at the old rate, then the identification at the new one.
    m_switchFromRate = m_lineRate;
    m_lineRate = m_switchRate;
    return {atRate(Output{0, echoed + line("OK"), false}, m_switchFromRate),
            atRate(Output{0, line(identification()), false}, m_switchRate)};
}

QList<SimAdapter::Output> SimAdapter::finishRateSwitch(bool heard)
{
    if (!rateSwitchPending())
        return {};
    m_lineRate = heard ? m_switchRate : m_switchFromRate;
    m_switchRate = 0;
    return {atRate(Output{heard ? m_switchPromptDelayUs : 0, prompt(), false}, m_lineRate)};
}

QByteArray SimAdapter::eol() const
{
    return m_linefeeds ? QByteArray("\r\n") : QByteArray("\r");
}

void SimAdapter::addLog(LogEntry::Type type, const QByteArray &text, const SimFrame &frame)
{
    LogEntry e;
    e.usecs = m_clock.nsecsElapsed() / 1000;
    e.type = type;
    e.text = text;
    e.frame = frame;
    if (m_observer)
        m_observer(e);
    if (m_logLimit <= 0)
        return;
    if (m_log.size() >= m_logLimit)
        m_log.removeFirst();
    m_log.append(e);
}

QList<QByteArray> SimAdapter::commands() const
{
    QList<QByteArray> out;
    for (const LogEntry &e : m_log) {
        if (e.type == LogEntry::Command)
            out.append(e.text);
    }
    return out;
}

QList<SimFrame> SimAdapter::hostFrames() const
{
    QList<SimFrame> out;
    for (const LogEntry &e : m_log) {
        if (e.type == LogEntry::HostFrame)
            out.append(e.frame);
    }
    return out;
}

qint64 SimAdapter::startReset(qint64 us, bool keepInput)
{
    m_resetDoneUs = m_clock.nsecsElapsed() / 1000 + us;
    m_resetKeepsInput = keepInput;
    m_heldInput.clear();
    return us;
}

QList<SimAdapter::Output> SimAdapter::receive(const QByteArray &input)
{
    if (rateSwitchPending()) {
        // Without a line to watch, a carriage return counts as heard in time.
        return input.contains('\r') ? finishRateSwitch(true) : QList<Output>();
    }
    QList<Output> out;
    if (resetting()) {
        if (m_resetKeepsInput)
            m_heldInput += input;
        qCDebug(lcSimAdapter) << "resetting, input" << (m_resetKeepsInput ? "held:" : "lost:")
                              << input;
        return out;
    }
    const QByteArray bytes = m_heldInput + input;
    m_heldInput.clear();
    qint64 offsetUs = 0; // later lines are answered after the earlier ones
    auto append = [&](const QList<Output> &more) {
        for (Output o : more) {
            o.delayUs += offsetUs;
            out.append(o);
        }
        if (!out.isEmpty())
            offsetUs = out.last().delayUs;
    };

    for (char c : bytes) {
        if (m_monitoring) {
            // Any character ends monitoring; the character itself is consumed.
            m_monitoring = false;
            append({Output{0, line("STOPPED") + prompt(), false}});
            continue;
        }
        if (c == '\r') {
            const QByteArray raw = m_input;
            m_input.clear();
            if (m_discarding) {
                m_discarding = false;
                append(
                    {Output{0, (m_echo ? line(raw) : QByteArray()) + line("?") + prompt(), false}});
            } else {
                append(interpret(raw));
            }
            if (!out.isEmpty() && out.last().hangUp)
                break;
            continue;
        }
        // The chip ignores line feeds, NULs and other control characters.
        if (uchar(c) < 0x20)
            continue;
        if (m_input.size() >= kMaxLineLength) {
            m_discarding = true;
            m_input.clear();
        }
        if (!m_discarding)
            m_input.append(c);
    }
    return out;
}

QList<SimAdapter::Output> SimAdapter::interrupt()
{
    return {Output{0, line("STOPPED") + prompt(), false}};
}

QList<SimAdapter::Output> SimAdapter::interpret(const QByteArray &raw)
{
    ++m_lines;
    QByteArray echoed = m_echo ? line(raw) : QByteArray();
    QByteArray compact = raw.toUpper();
    compact.replace(' ', QByteArray());

    if (compact.isEmpty()) {
        // A bare carriage return repeats the previous command.
        if (m_lastLine.isEmpty())
            return {Output{0, echoed + prompt(), false}};
        compact = m_lastLine;
    } else {
        m_lastLine = compact;
    }

    if (isHex(compact))
        return busRequest(compact, echoed);

    addLog(LogEntry::Command, raw.isEmpty() ? compact : raw);
    if (compact.startsWith("AT")) {
        bool reset = false;
        const int rateBefore = m_lineRate;
        const QByteArray answer = atCommand(compact.mid(2), &reset);
        if (reset) {
            // The reply is printed with the settings after the reset: two empty lines,
            // then the identification, at the start rate when the reset undid a raised one.
            // A full reset may take its time (a warm start skips the power-up checks and is
            // quick).
            const int baud = m_lineRate != rateBefore ? m_lineRate : 0;
            const qint64 us = compact == "ATZ" ? startReset(qint64(m_resetDelayMs) * 1000) : 0;
            if (us == 0)
                return {atRate(Output{0, echoed + banner(), false}, baud)};
            return {Output{0, echoed, false}, atRate(Output{us, banner(), false, true, true}, baud)};
        }
        if (rateSwitchPending())
            return startRateSwitch(echoed);
        if (m_monitoring)
            return {Output{0, echoed, false}};
        return {Output{0, echoed + answer + prompt(), false}};
    }
    if (compact.startsWith("ST")) {
        const QByteArray answer = stCommand(compact);
        if (rateSwitchPending())
            return startRateSwitch(echoed);
        return {Output{0, echoed + answer + prompt(), false}};
    }
    return {Output{0, echoed + line("?") + prompt(), false}};
}

QByteArray SimAdapter::atCommand(const QByteArray &cmd, bool *reset)
{
    static const QByteArray ok("OK");
    auto flag = [&](const char *name, bool *target) -> bool {
        if (cmd.size() == int(qstrlen(name)) + 1 && cmd.startsWith(name) &&
            (cmd.endsWith('0') || cmd.endsWith('1'))) {
            *target = cmd.endsWith('1');
            return true;
        }
        return false;
    };

    if (cmd == "Z" || cmd == "WS") {
        // A warm start keeps the rate "at brd" set; a full reset does not.
        const int rate = m_lineRate;
        powerUp();
        if (cmd == "WS")
            m_lineRate = rate;
        *reset = true;
        return {};
    }
    if (cmd == "I")
        return line(identification());
    if (cmd == "@1")
        return line("OBDII to RS232 Interpreter");
    // Read-only commands that came with later versions of the chip: a genuine one answers
    // those of its version, a clone (the first version's command set) none.
    if (cmd == "IGN" || cmd == "RD" || cmd == "AMC") {
        if (!knowsCommandsOf(cmd == "AMC" ? 200 : 140))
            return line("?");
        if (cmd == "IGN")
            return line("ON");
        return line(cmd == "RD" ? "FF" : "00");
    }
    if (cmd == "RV") {
        switch (m_voltageReply) {
        case ReadsVoltage:
            return line("12.6V");
        case RefusesVoltage:
            return line("?");
        case SilentVoltage:
            return {};
        }
    }
    if (cmd == "D") {
        const int saved = m_savedProtocol;
        const int rate = m_lineRate;
        powerUp();
        m_savedProtocol = saved;
        m_lineRate = rate;
        return line(ok);
    }
    if (flag("E", &m_echo) || flag("S", &m_spaces) || flag("H", &m_headers) ||
        flag("L", &m_linefeeds) || flag("D", &m_dlc) || flag("CAF", &m_caf) ||
        flag("CFC", &m_cfc)) {
        return line(ok);
    }
    if (cmd == "AT0" || cmd == "AT1" || cmd == "AT2") {
        m_adaptive = cmd.at(2) - '0';
        return line(ok);
    }
    if (cmd == "AL" || cmd == "NL") {
        m_allowLong = cmd == "AL";
        return line(ok);
    }
    if (cmd.startsWith("ST") && cmd.size() == 4 && isHex(cmd.mid(2))) {
        const int v = cmd.mid(2).toInt(nullptr, 16);
        m_timeout = v == 0 ? kDefaultTimeout : v;
        return line(ok);
    }
    if ((cmd.startsWith("TP") || cmd.startsWith("SP")) && cmd.size() >= 3 && cmd.size() <= 4) {
        QByteArray arg = cmd.mid(2);
        bool automatic = cmd.startsWith("TP") || arg == "0";
        if (arg.size() == 2 && arg.startsWith('A')) {
            automatic = true;
            arg = arg.mid(1);
        }
        bool okNumber = false;
        const int p = arg.toInt(&okNumber, 16);
        if (arg.size() != 1 || !okNumber || p > 0xC)
            return line("?");
        m_protocol = p;
        m_protocolAuto = automatic;
        m_stProtocol = 0;
        if (cmd.startsWith("SP"))
            m_savedProtocol = p;
        return line(ok);
    }
    if (cmd.startsWith("SH")) {
        const QByteArray arg = cmd.mid(2);
        if (!isHex(arg) || (arg.size() != 3 && arg.size() != 6 && arg.size() != 8))
            return line("?");
        if (arg.size() == 8 && m_kind != Genuine)
            return line("?"); // the four-byte form came with the later chip
        m_header = arg.toUInt(nullptr, 16);
        return line(ok);
    }
    if (cmd.startsWith("CRA")) {
        const QByteArray arg = cmd.mid(3);
        if (!arg.isEmpty() && (!isFilterPattern(arg) || (arg.size() != 3 && arg.size() != 8)))
            return line("?");
        m_filter = arg;
        return line(ok);
    }
    if (cmd == "MA") {
        m_monitoring = true;
        return {};
    }
    if (cmd.startsWith("BR"))
        return rateCommand(cmd);
    if (cmd == "DP")
        return line(m_protocol == 0 ? "AUTO" : "ISO 15765-4 (CAN 11/500)");
    if (cmd == "DPN")
        return line(QByteArray(m_protocolAuto ? "A" : "") +
                    QByteArray::number(m_protocol, 16).toUpper());
    return line("?");
}

QByteArray SimAdapter::rateCommand(const QByteArray &cmd)
{
    const bool brd = cmd.startsWith("BRD");
    const QByteArray arg = cmd.mid(3);
    if (!knowsRateSwitch() || !(brd || cmd.startsWith("BRT")) || arg.size() != 2 || !isHex(arg))
        return line("?");
    const int hh = arg.toInt(nullptr, 16);
    if (!brd) {
        m_brtMs = qMax(1, hh) * 5;
        return line("OK");
    }
    if (hh < 8) // above 500 kbit/s
        return line("?");
    m_switchRate = kBrdClockHz / hh;
    return {};
}

QByteArray SimAdapter::stCommand(const QByteArray &cmd)
{
    if (m_kind != Extended)
        return line("?");
    if (cmd == "STI")
        return line("ELS27 v3.2.1");
    if (cmd == "STP33") {
        m_stProtocol = 33;
        return line("OK");
    }
    if (cmd.startsWith("STPBR")) {
        bool okNumber = false;
        const int rate = cmd.mid(5).toInt(&okNumber);
        if (!okNumber || rate < 10000 || rate > 1000000)
            return line("?");
        m_stBitRate = rate;
        return line("OK");
    }
    if (cmd.startsWith("STBR") && !cmd.startsWith("STBRT")) {
        bool okNumber = false;
        const int rate = cmd.mid(4).toInt(&okNumber);
        if (!okNumber || rate < 9600 || rate > 2000000)
            return line("?");
        m_switchRate = rate;
        return {};
    }
    return line("?");
}

bool SimAdapter::passesFilter(quint32 id) const
{
    if (m_filter.isEmpty())
        return true;
    const QByteArray text =
        QByteArray::number(id, 16).toUpper().rightJustified(m_filter.size(), '0');
    if (text.size() != m_filter.size())
        return false;
    for (int i = 0; i < text.size(); ++i) {
        if (m_filter.at(i) != 'X' && m_filter.at(i) != text.at(i))
            return false;
    }
    return true;
}

QByteArray SimAdapter::formatFrame(const SimFrame &frame) const
{
    QByteArray data = frame.data;
    if (m_caf && !m_headers && !data.isEmpty()) {
        // With formatting on, a single frame's length byte is taken off; other frames are
        // shown whole.
        const quint8 pci = quint8(data.at(0));
        if ((pci & 0xF0) == 0 && pci >= 1 && pci < data.size())
            data = data.mid(1, pci);
    }
    const QByteArray sep = m_spaces ? QByteArray(" ") : QByteArray();
    QByteArray text;
    if (m_headers)
        text += QByteArray::number(frame.id & 0x7FF, 16).toUpper().rightJustified(3, '0') + sep;
    if (m_dlc)
        text += QByteArray::number(frame.data.size()) + sep;
    for (char b : data)
        text += hexByte(quint8(b)) + sep;
    return text;
}

QList<SimAdapter::Output> SimAdapter::busRequest(const QByteArray &hex, const QByteArray &echoed)
{
    QList<Output> out{Output{0, echoed, false}};
    // An odd digit at the end is the response count: the prompt comes as soon as that many
    // replies are in. A chip that does not know it finds an odd number of digits.
    int count = 0;
    if (hex.size() % 2 != 0) {
        if (hex.size() > 1 && knowsResponseCount() && !hex.endsWith('0'))
            count = hex.right(1).toInt(nullptr, 16);
        if (!count) {
            out.first().bytes += line("?") + prompt();
            return out;
        }
    }
    QByteArray data = QByteArray::fromHex(count ? hex.chopped(1) : hex);
    // Without formatting the data field goes out as given (up to 8 bytes); with it the
    // chip adds the single-frame length byte, so 7 bytes are the most it takes.
    if (data.size() > (m_caf ? 7 : 8)) {
        out.first().bytes += line("?") + prompt();
        return out;
    }
    if (m_caf) {
        data.prepend(char(data.size()));
        data.append(QByteArray(8 - data.size(), '\0'));
    }

    const int request = ++m_requests;
    const QList<SimFault> faults = m_faults.faultsFor(request);
    auto has = [&](SimFault::Kind k) {
        for (const SimFault &f : faults) {
            if (f.kind == k)
                return true;
        }
        return false;
    };
    if (!faults.isEmpty()) {
        QStringList names;
        for (const SimFault &f : faults)
            names << SimFault::kindName(f.kind);
        qCDebug(lcSimAdapter) << "request" << request << "faults:" << names;
    }
    qint64 delayUs = latencyUs();
    const qint64 timeoutUs = qint64(noDataTimeoutMs()) * 1000;
    // waitUs: how long the chip goes on listening after the last line before its prompt.
    auto finish = [&](const QList<QByteArray> &lines, qint64 atUs, qint64 waitUs = 0) {
        QByteArray body;
        for (const QByteArray &l : lines)
            body += line(l);
        if (waitUs <= 0) {
            out.append(Output{atUs, body + prompt(), false});
        } else {
            out.append(Output{atUs, body, false});
            out.append(Output{atUs + waitUs, prompt(), false});
        }
        return out;
    };

    if (has(SimFault::HangUp)) {
        out.append(Output{0, QByteArray(), true});
        return out;
    }
    for (const SimFault &f : faults) {
        if (f.kind != SimFault::PowerCut)
            continue;
        // The frame never goes out; the chip is dead for the cut and then powers up, at its
        // start rate.
        const int raised = m_lineRate != m_baudRate ? m_lineRate : 0;
        powerUp();
        out.append(atRate(
            Output{startReset(qint64(f.delayMs) * 1000, false), banner(), false, true, true},
            raised ? m_lineRate : 0));
        return out;
    }

    // Which bus the chip is on: the extended set's protocol 33 or ELM protocol 6 is the
    // dashboard's bus (11-bit identifiers, 500 kbit/s); automatic search finds it.
    bool onBus = false;
    bool wrongRate = false;
    if (m_stProtocol == 33) {
        onBus = m_stBitRate == 500000;
        wrongRate = !onBus;
    } else if (m_protocol == 0) {
        out.first().bytes += line("SEARCHING...");
        m_protocol = 6;
        onBus = true;
    } else if (m_protocol == 6) {
        onBus = true;
    } else if (m_protocol == 8 || m_protocol >= 0xA) {
        wrongRate = true; // the dashboard's bus runs at 500 kbit/s
    }
    if (wrongRate && m_protocolAuto && m_stProtocol == 0) {
        out.first().bytes += line("SEARCHING...");
        m_protocol = 6;
        onBus = true;
        wrongRate = false;
    }

    SimFrame sent{m_header & 0x7FF, data};
    if (wrongRate || has(SimFault::CanError))
        return finish({"CAN ERROR"}, delayUs);
    if (has(SimFault::BusBusy))
        return finish({"BUS BUSY"}, delayUs);
    if (has(SimFault::UnableToConnect))
        return finish({"UNABLE TO CONNECT"}, delayUs);

    addLog(LogEntry::HostFrame, QByteArray(), sent);
    QList<SimFrame> replies;
    const bool isWrite = data.size() >= 2 && (quint8(data.at(1)) >> 6) == 3 &&
                         !(quint8(data.at(0)) == 0xFF && quint8(data.at(1)) == 0xFF);
    if (onBus && !(isWrite && has(SimFault::NeverAck)))
        replies = m_dashboard->handleFrame(sent);

    if (has(SimFault::AdapterReset)) {
        // A supply dip while the reply is awaited: the reply is lost, the genuine chip and
        // the extended one say "LV RESET" first, and after the reset the banner comes with
        // the power-up settings.
        for (const SimFrame &r : qAsConst(replies))
            addLog(LogEntry::DeviceFrame, QByteArray(), r);
        // A raised line rate holds up to the reset: the banner comes at the start rate.
        const QByteArray dip = m_kind == Clone ? QByteArray() : line("LV RESET");
        const int raised = m_lineRate != m_baudRate ? m_lineRate : 0;
        powerUp();
        const qint64 resetUs = startReset(delayUs + qint64(m_resetDelayMs) * 1000);
        out.append(atRate(Output{delayUs, dip, false, true}, raised));
        out.append(atRate(Output{resetUs, banner(), false, true, true}, raised ? m_lineRate : 0));
        return out;
    }

    QList<QByteArray> lines;
    for (SimFrame &r : replies) {
        addLog(LogEntry::DeviceFrame, QByteArray(), r);
        if (has(SimFault::WrongLength))
            r.data.chop(1);
        if (passesFilter(r.id))
            lines.append(formatFrame(r));
    }

    if (has(SimFault::DropReply))
        lines.clear();
    for (const SimFault &f : faults) {
        if (f.kind == SimFault::DelayedReply)
            delayUs += qint64(f.delayMs) * 1000;
    }
    if (lines.isEmpty() || delayUs > timeoutUs || (count && m_countNoData))
        return finish({"NO DATA"}, qMax(delayUs, timeoutUs));

    if (has(SimFault::BufferFull))
        lines = {"BUFFER FULL"};
    else if (has(SimFault::Stopped))
        lines = {"STOPPED"};
    if (has(SimFault::DuplicateReply)) {
        QList<QByteArray> twice;
        for (const QByteArray &l : qAsConst(lines))
            twice << l << l;
        lines = twice;
    }
    if (has(SimFault::NulBytes)) {
        for (QByteArray &l : lines)
            l.prepend('\0');
    }
    if (has(SimFault::GarbageLine))
        lines.prepend(kGarbageLine);
    const qint64 waitUs = count && lines.size() >= count ? 0 : promptWaitUs();
    learnReplyDelay(delayUs);
    out = finish(lines, delayUs, waitUs);
    if (has(SimFault::NulBytes))
        out.last().bytes.insert(out.last().bytes.size() - prompt().size(), '\0');
    return out;
}
