#include "tools/quorvel-modemsim/ModemInterpreter.h"

#include <QStringList>

namespace quorvel::modemsim {

namespace {

// Modems keep a short command buffer; a longer line is refused as a whole.
constexpr qsizetype kMaxLine = 255;

// Voice settings a class 8 modem keeps, with their power-on values and AT+V...=? ranges.
struct VoiceParameter {
    const char *name;
    const char *initial;
    const char *range;
};
constexpr VoiceParameter kVoiceParameters[] = {
    { "+VGT", "128", "(0-255)" }, { "+VGR", "128", "(0-255)" },
    { "+VIT", "0", "(0-255)" },   { "+VSD", "128,50", "(0-255),(0-255)" },
    { "+VRA", "50", "(0-255)" },  { "+VRN", "10", "(0-255)" },
    { "+VTD", "100", "(5-255)" }, { "+VDR", "0,0", "(0-1),(0-255)" },
    { "+VNH", "0", "(0-2)" },     { "+VBT", "0", "(0-255)" },
    { "+VSP", "0", "(0-1)" },     { "+VRID", "0", "(0-1)" },
};

QMap<int, int> initialRegisters()
{
    return { { 0, 0 }, { 1, 0 },  { 2, 43 }, { 3, 13 },  { 4, 10 }, { 5, 8 },
             { 6, 2 }, { 7, 50 }, { 8, 2 },  { 10, 14 }, { 12, 50 } };
}

QString printable(const QByteArray &bytes)
{
    QString out;
    for (char c : bytes) {
        const auto u = uint8_t(c);
        if (u >= 0x20 && u < 0x7F)
            out += QChar(u);
        else
            out += QStringLiteral("<%1>").arg(u, 2, 16, QChar(u'0'));
    }
    return out;
}

} // namespace

ModemInterpreter::ModemInterpreter(ModemProfile profile, ModemOutput &out, const Clock &clock,
                                   Options options)
    : m_profile(std::move(profile))
    , m_out(out)
    , m_clock(clock)
    , m_options(options)
{
    reset();
}

QString ModemInterpreter::stateName(LineState state)
{
    switch (state) {
    case LineState::OnHook:
        return QStringLiteral("on-hook");
    case LineState::Ringing:
        return QStringLiteral("ringing");
    case LineState::Dialing:
        return QStringLiteral("dialing");
    case LineState::Connected:
        return QStringLiteral("connected");
    case LineState::OffHook:
        return QStringLiteral("off-hook");
    }
    return {};
}

QString ModemInterpreter::resultText(Result result)
{
    switch (result) {
    case Result::Ok:
        return QStringLiteral("OK");
    case Result::Connect:
        return QStringLiteral("CONNECT");
    case Result::Ring:
        return QStringLiteral("RING");
    case Result::NoCarrier:
        return QStringLiteral("NO CARRIER");
    case Result::Error:
        return QStringLiteral("ERROR");
    case Result::NoDialtone:
        return QStringLiteral("NO DIALTONE");
    case Result::Busy:
        return QStringLiteral("BUSY");
    case Result::NoAnswer:
        return QStringLiteral("NO ANSWER");
    case Result::Vcon:
        return QStringLiteral("VCON");
    }
    return {};
}

int ModemInterpreter::resultNumber(Result result)
{
    switch (result) {
    case Result::Ok:
        return 0;
    case Result::Connect:
        return 1;
    case Result::Ring:
        return 2;
    case Result::NoCarrier:
        return 3;
    case Result::Error:
        return 4;
    case Result::NoDialtone:
        return 6;
    case Result::Busy:
        return 7;
    case Result::NoAnswer:
        return 8;
    case Result::Vcon:
        return -1; // no number of its own: sent as text in either form
    }
    return -1;
}

const VoiceMethod &ModemInterpreter::voiceMethod() const
{
    const VoiceMethod *m = m_profile.voiceMethod(m_method);
    return m ? *m : m_profile.voiceMethods().first();
}

// ---------------------------------------------------------------------------------------------
// Output

void ModemInterpreter::send(const QByteArray &bytes, const QString &logText)
{
    const bool delivered = m_out.toHost(bytes);
    m_out.logSent(logText, delivered);
}

void ModemInterpreter::event(const QString &text)
{
    m_out.logEvent(text);
}

void ModemInterpreter::sendResult(Result result)
{
    if (m_quiet)
        return;
    const QString text = resultText(result);
    const int number = resultNumber(result);
    if (m_verbose)
        send("\r\n" + text.toLatin1() + "\r\n", text);
    else if (number >= 0)
        send(QByteArray::number(number) + '\r', QString::number(number));
    else
        send(text.toLatin1() + '\r', text);
}

void ModemInterpreter::sendInfo(const QString &text)
{
    if (m_verbose)
        send("\r\n" + text.toLatin1() + "\r\n", text);
    else
        send(text.toLatin1() + "\r\n", text);
}

void ModemInterpreter::sendLine(const QString &text)
{
    send("\r\n" + text.toLatin1() + "\r\n", text);
}

// ---------------------------------------------------------------------------------------------
// Host bytes

void ModemInterpreter::feed(const QByteArray &bytes)
{
    QByteArray echo;
    auto flushEcho = [&] {
        if (!echo.isEmpty()) {
            m_out.toHost(echo);
            echo.clear();
        }
    };
    qsizetype i = 0;
    while (i < bytes.size()) {
        if (m_mode == Mode::Draining) {
            m_pending.append(bytes.mid(i));
            break;
        }
        if (m_mode == Mode::Transmit) {
            i += feedTransmit(bytes.constData() + i, bytes.size() - i);
            continue;
        }
        const char c = bytes.at(i++);
        if (m_commandDle) {
            // A shielded code outside voice data (a late DLE ETX, a stray abort): nothing to do.
            m_commandDle = false;
            event(
                QStringLiteral("ignored DLE %1 in command mode").arg(printable(QByteArray(1, c))));
            continue;
        }
        if (c == VoiceDataReceiver::kDle) {
            m_commandDle = true;
            continue;
        }
        if (m_echo)
            echo.append(c);
        if (c == '\r') {
            flushEcho();
            executeLine();
        } else if (c == '\n' || c == '\0') {
            // A host ending lines with CR LF: the LF belongs to no command.
        } else if (c == '\b' || c == 0x7F) {
            if (!m_line.isEmpty())
                m_line.chop(1);
        } else if (m_line.size() >= kMaxLine) {
            m_lineOverflow = true;
        } else {
            m_line.append(c);
        }
    }
    flushEcho();
}

void ModemInterpreter::hostOpened()
{
    m_line.clear();
    m_lineOverflow = false;
    m_commandDle = false;
    event(QStringLiteral("host opened"));
}

void ModemInterpreter::hostClosed()
{
    event(QStringLiteral("host closed"));
    m_line.clear();
    m_lineOverflow = false;
    m_commandDle = false;
    if (m_mode == Mode::Transmit)
        finishBlock();
    if (m_mode != Mode::Command) {
        m_mode = Mode::Command;
        m_pending.clear();
        m_receiver.reset();
        m_out.transmitEnded(false);
    }
    if (m_state != LineState::OnHook && m_state != LineState::Ringing)
        goOnHook(QStringLiteral("host closed port"));
}

void ModemInterpreter::shutdown()
{
    if (m_mode == Mode::Transmit)
        finishBlock();
    endCall(QStringLiteral("exit"));
}

void ModemInterpreter::executeLine()
{
    const QByteArray raw = m_line;
    const bool overflow = m_lineOverflow;
    m_line.clear();
    m_lineOverflow = false;

    qsizetype at = 0;
    if (!AtCommandParser::findPrefix(raw, &at)) {
        if (!raw.trimmed().isEmpty())
            event(QStringLiteral("ignored line without AT: %1").arg(printable(raw)));
        return;
    }
    const AtCommandLine line = AtCommandParser::parse(raw);
    m_out.logReceived(printable(raw.mid(at)));
    m_out.commandLine(line);
    if (overflow) {
        event(QStringLiteral("command line longer than %1 characters").arg(kMaxLine));
        sendResult(Result::Error);
        return;
    }
    if (!line.valid) {
        event(QStringLiteral("syntax error: %1").arg(line.error));
        sendResult(Result::Error);
        return;
    }
    Result final = Result::Ok;
    for (const AtCommand &cmd : line.commands) {
        const Step step = execute(cmd, &final);
        if (step == Step::Error) {
            sendResult(Result::Error);
            return;
        }
        if (step == Step::Stop)
            break;
    }
    sendResult(final);
    if (final == Result::Connect && m_mode == Mode::Command)
        startTransmit();
}

ModemInterpreter::Step ModemInterpreter::execute(const AtCommand &cmd, Result *final)
{
    if (cmd.name.startsWith(u'+') || cmd.name.startsWith(u'#'))
        return executeExtended(cmd, final);
    return executeBasic(cmd, final);
}

ModemInterpreter::Step ModemInterpreter::executeBasic(const AtCommand &cmd, Result *final)
{
    const QString &n = cmd.name;
    if (n == u"A") {
        answer(final);
        return Step::Stop;
    }
    if (n == u"D") {
        if (m_state == LineState::Ringing || m_state == LineState::Dialing
            || m_state == LineState::Connected)
            return Step::Error;
        if (m_class != u"8") {
            // A data or fax call needs a carrier, and no modem answers on this line.
            event(QStringLiteral("dial outside voice mode: no carrier"));
            *final = Result::NoCarrier;
            return Step::Stop;
        }
        QString number = cmd.value;
        if (number.endsWith(u';'))
            number.chop(1);
        m_state = LineState::Dialing;
        startCall(QStringLiteral("outgoing ") + number);
        return Step::Stop;
    }
    if (n == u"S") {
        if (cmd.reg > 255)
            return Step::Error;
        if (cmd.form == AtCommand::Form::Query) {
            sendInfo(QStringLiteral("%1").arg(m_registers.value(cmd.reg, 0), 3, 10, QChar(u'0')));
            return Step::Next;
        }
        const int value = cmd.value.toInt();
        if (value > 255)
            return Step::Error;
        m_registers.insert(cmd.reg, value);
        return Step::Next;
    }
    if (n == u"O") {
        *final = Result::NoCarrier;
        return Step::Stop;
    }
    const std::optional<int> limit = m_profile.basicCommandLimit(n);
    if (n == u"I") {
        const auto lines = m_profile.identification(cmd.value.toInt());
        if (!lines)
            return Step::Error;
        for (const QString &l : *lines)
            sendInfo(l);
        return Step::Next;
    }
    if (!limit || cmd.value.size() > 3 || cmd.value.toInt() > *limit)
        return Step::Error;
    const int value = cmd.value.toInt();
    if (n == u"E") {
        m_echo = value == 1;
    } else if (n == u"V") {
        m_verbose = value == 1;
    } else if (n == u"Q") {
        m_quiet = value == 1;
    } else if (n == u"H") {
        if (value == 0) {
            if (m_state != LineState::OnHook && m_state != LineState::Ringing)
                goOnHook(QStringLiteral("host hangup"));
        } else if (m_state == LineState::OnHook) {
            m_state = LineState::OffHook;
        }
    } else if (n == u"Z" || n == u"&F") {
        reset();
        // A reset ignores the rest of its line.
        return Step::Stop;
    }
    // L, M, X, &C, &D, &K and the like shape a data call or the speaker; nothing to model.
    return Step::Next;
}

ModemInterpreter::Step ModemInterpreter::executeExtended(const AtCommand &cmd, Result *final)
{
    const QString &n = cmd.name;
    using Form = AtCommand::Form;
    auto identity = [&](const QString &text) {
        if (cmd.form != Form::Action && cmd.form != Form::Query)
            return Step::Error;
        sendInfo(text);
        return Step::Next;
    };
    if (n == u"+FMI" || n == u"+GMI")
        return identity(m_profile.manufacturer());
    if (n == u"+FMM" || n == u"+GMM")
        return identity(m_profile.model());
    if (n == u"+FMR" || n == u"+GMR")
        return identity(m_profile.revision());
    if (n == u"+GCAP") {
        if (cmd.form != Form::Action)
            return Step::Error;
        sendInfo(QStringLiteral("+GCAP: +FCLASS,+MS,+ES,+DS"));
        return Step::Next;
    }
    if (n == u"+FCLASS") {
        switch (cmd.form) {
        case Form::Test:
            sendInfo(m_profile.classList());
            return Step::Next;
        case Form::Query:
            sendInfo(m_class);
            return Step::Next;
        case Form::Set:
            if (!m_profile.supportsClass(cmd.value))
                return Step::Error;
            m_class = cmd.value;
            return Step::Next;
        case Form::Action:
            return Step::Error;
        }
    }
    const bool vcid
        = n == u"+VCID" && m_profile.callerIdCommand() == ModemProfile::CallerIdCommand::Vcid;
    const bool hashCid
        = n == u"#CID" && m_profile.callerIdCommand() == ModemProfile::CallerIdCommand::HashCid;
    if (vcid || hashCid) {
        switch (cmd.form) {
        case Form::Test:
            sendInfo(vcid ? QStringLiteral("(0-1)") : QStringLiteral("(0,1)"));
            return Step::Next;
        case Form::Query:
            sendInfo(m_callerIdOn ? QStringLiteral("1") : QStringLiteral("0"));
            return Step::Next;
        case Form::Set:
            if (cmd.value != u"0" && cmd.value != u"1")
                return Step::Error;
            m_callerIdOn = cmd.value == u"1";
            return Step::Next;
        case Form::Action:
            return Step::Error;
        }
    }
    if (n.startsWith(QStringLiteral("+V")))
        return executeVoice(cmd, final);
    return Step::Error;
}

ModemInterpreter::Step ModemInterpreter::executeVoice(const AtCommand &cmd, Result *final)
{
    using Form = AtCommand::Form;
    const QString &n = cmd.name;
    // Voice commands exist only once the modem is in class 8.
    if (m_class != u"8")
        return Step::Error;

    if (n == u"+VSM") {
        switch (cmd.form) {
        case Form::Test:
            for (const VoiceMethod &m : m_profile.voiceMethods())
                sendInfo(m.listLine());
            return Step::Next;
        case Form::Query:
            sendInfo(QStringLiteral("%1,8000,0,0").arg(voiceMethod().id));
            return Step::Next;
        case Form::Set: {
            const QStringList parts = cmd.value.split(u',');
            bool ok = false;
            const int id = parts.value(0).toInt(&ok);
            if (!ok || !m_profile.voiceMethod(id))
                return Step::Error;
            if (parts.size() > 1 && !parts.at(1).isEmpty() && parts.at(1) != u"8000")
                return Step::Error;
            if (m_mode != Mode::Command)
                return Step::Error;
            m_method = id;
            return Step::Next;
        }
        case Form::Action:
            return Step::Error;
        }
    }
    if (n == u"+VLS") {
        switch (cmd.form) {
        case Form::Test:
            sendInfo(QStringLiteral("0,\"\",00000000,00000000,00000000"));
            sendInfo(QStringLiteral("1,\"T\",00000000,00000000,00000000"));
            return Step::Next;
        case Form::Query:
            sendInfo(m_state == LineState::OnHook || m_state == LineState::Ringing
                         ? QStringLiteral("0")
                         : QStringLiteral("1"));
            return Step::Next;
        case Form::Set:
            if (cmd.value == u"0") {
                if (m_state != LineState::OnHook && m_state != LineState::Ringing)
                    goOnHook(QStringLiteral("host hangup"));
                return Step::Next;
            }
            if (cmd.value == u"1") {
                if (m_state == LineState::Ringing) {
                    answer(final);
                    return Step::Stop;
                }
                if (m_state == LineState::OnHook)
                    m_state = LineState::OffHook;
                return Step::Next;
            }
            return Step::Error;
        case Form::Action:
            return Step::Error;
        }
    }
    if (n == u"+VTX") {
        if (cmd.form != Form::Action)
            return Step::Error;
        if (m_state != LineState::Connected && m_state != LineState::Dialing
            && m_state != LineState::OffHook)
            return Step::Error;
        *final = Result::Connect;
        return Step::Stop;
    }
    if (n == u"+VTS") {
        if (cmd.form == Form::Test) {
            sendInfo(QStringLiteral("(0,200-3300),(0,200-3300),(0-255)"));
            return Step::Next;
        }
        if (cmd.form != Form::Set || m_state == LineState::OnHook || m_state == LineState::Ringing)
            return Step::Error;
        event(QStringLiteral("tones %1").arg(cmd.value));
        return Step::Next;
    }
    for (const VoiceParameter &p : kVoiceParameters) {
        if (n != QLatin1String(p.name))
            continue;
        switch (cmd.form) {
        case Form::Test:
            sendInfo(QLatin1String(p.range));
            return Step::Next;
        case Form::Query:
            sendInfo(m_voiceParameters.value(n));
            return Step::Next;
        case Form::Set:
            m_voiceParameters.insert(n, cmd.value);
            return Step::Next;
        case Form::Action:
            return Step::Error;
        }
    }
    return Step::Error;
}

void ModemInterpreter::answer(Result *final)
{
    if (m_state != LineState::Ringing) {
        // Nobody is calling: picking up finds no one.
        *final = m_state == LineState::OnHook ? Result::NoCarrier : Result::Error;
        return;
    }
    if (m_class != u"8") {
        // Answered as a data modem: the caller hears modem tones and is dropped.
        event(QStringLiteral("answered outside voice mode: no carrier, the caller is dropped"));
        m_state = LineState::OnHook;
        *final = Result::NoCarrier;
        return;
    }
    m_state = LineState::Connected;
    startCall(QStringLiteral("incoming"));
    *final = Result::Vcon;
}

void ModemInterpreter::reset()
{
    if (m_state != LineState::OnHook && m_state != LineState::Ringing)
        goOnHook(QStringLiteral("reset"));
    m_echo = true;
    m_verbose = true;
    m_quiet = false;
    m_class = QStringLiteral("0");
    m_method = m_profile.defaultVoiceMethod();
    m_callerIdOn = false;
    m_registers = initialRegisters();
    m_voiceParameters.clear();
    for (const VoiceParameter &p : kVoiceParameters)
        m_voiceParameters.insert(QLatin1String(p.name), QLatin1String(p.initial));
}

// ---------------------------------------------------------------------------------------------
// Calls

void ModemInterpreter::startCall(const QString &how)
{
    if (m_callActive)
        endCall(QStringLiteral("replaced"));
    ++m_callNumber;
    m_callActive = true;
    event(QStringLiteral("call %1 start %2").arg(m_callNumber).arg(how));
    m_out.callStarted(m_callNumber);
}

void ModemInterpreter::endCall(const QString &reason)
{
    if (!m_callActive)
        return;
    // Audio of a voice block still running belongs to the call that is ending.
    if (m_mode == Mode::Transmit && !m_blockBytes.isEmpty()) {
        const QByteArray pcm = voiceMethod().toPcm16(m_blockBytes);
        m_blockBytes.remove(0, pcm.size() / 2 * voiceMethod().bytesPerSample());
        m_out.callAudio(pcm);
    }
    m_callActive = false;
    event(QStringLiteral("call %1 end %2").arg(m_callNumber).arg(reason));
    m_out.callEnded(m_callNumber, reason);
}

void ModemInterpreter::goOnHook(const QString &reason)
{
    endCall(reason);
    m_state = LineState::OnHook;
}

bool ModemInterpreter::ring()
{
    if (m_state != LineState::OnHook && m_state != LineState::Ringing) {
        event(QStringLiteral("ring ignored: the line is %1").arg(stateName(m_state)));
        return false;
    }
    m_state = LineState::Ringing;
    sendResult(Result::Ring);
    return true;
}

bool ModemInterpreter::callerId(const QString &number, const QString &name)
{
    if (!m_callerIdOn) {
        event(QStringLiteral("caller ID not sent: the host has not switched reporting on (%1)")
                  .arg(m_profile.callerIdCommand() == ModemProfile::CallerIdCommand::Vcid
                           ? QStringLiteral("AT+VCID=1")
                           : QStringLiteral("AT#CID=1")));
        return false;
    }
    const QDateTime now = m_clock.now();
    sendLine(m_profile.callerIdLine(QStringLiteral("DATE"), now.toString(QStringLiteral("MMdd"))));
    sendLine(m_profile.callerIdLine(QStringLiteral("TIME"), now.toString(QStringLiteral("HHmm"))));
    sendLine(m_profile.callerIdLine(QStringLiteral("NMBR"), number));
    if (!name.isEmpty())
        sendLine(m_profile.callerIdLine(QStringLiteral("NAME"), name));
    return true;
}

bool ModemInterpreter::farEndHangup()
{
    switch (m_state) {
    case LineState::Ringing:
        // The caller gives up before the answer: the rings just stop.
        m_state = LineState::OnHook;
        event(QStringLiteral("caller gave up"));
        return true;
    case LineState::Dialing:
    case LineState::Connected:
        sendEvent('b');
        endCall(QStringLiteral("far end hangup"));
        m_state = LineState::OffHook;
        return true;
    case LineState::OnHook:
    case LineState::OffHook:
        break;
    }
    event(QStringLiteral("hangup ignored: the line is %1").arg(stateName(m_state)));
    return false;
}

bool ModemInterpreter::farEndAnswer()
{
    if (m_state != LineState::Dialing) {
        event(QStringLiteral("answer ignored: the line is %1").arg(stateName(m_state)));
        return false;
    }
    m_state = LineState::Connected;
    event(QStringLiteral("far end answered"));
    sendResult(Result::Vcon);
    return true;
}

bool ModemInterpreter::sendEvent(char code)
{
    if (m_state == LineState::OnHook || m_state == LineState::Ringing) {
        event(QStringLiteral("DLE %1 not sent: the line is %2")
                  .arg(QChar(code))
                  .arg(stateName(m_state)));
        return false;
    }
    QByteArray bytes;
    bytes.append(VoiceDataReceiver::kDle).append(code);
    send(bytes, QStringLiteral("DLE %1").arg(QChar(code)));
    return true;
}

// ---------------------------------------------------------------------------------------------
// Voice data

void ModemInterpreter::startTransmit()
{
    m_mode = Mode::Transmit;
    m_receiver.reset();
    m_blockBytes.clear();
    m_blockTotal = 0;
    m_blockFirstByte = true;
    const VoiceMethod &m = voiceMethod();
    event(QStringLiteral("vtx start %1 \"%2\"").arg(m.id).arg(m.name));
    m_out.transmitStarted(8000 * m.bytesPerSample());
}

qsizetype ModemInterpreter::feedTransmit(const char *data, qsizetype size)
{
    const VoiceDataReceiver::Chunk chunk = m_receiver.feed(data, size);
    if (!chunk.audio.isEmpty()) {
        if (m_blockFirstByte && chunk.audio.at(0) == '\n')
            event(QStringLiteral("voice data starts with LF: the host ended AT+VTX with CR LF, "
                                 "the LF is taken as a sample"));
        m_blockFirstByte = false;
        m_blockBytes.append(chunk.audio);
        m_blockTotal += chunk.audio.size();
        m_out.transmitProgress(chunk.audio.size());
    }
    for (char c : chunk.controls) {
        if (c == VoiceDataReceiver::kCan) {
            event(QStringLiteral("vtx clear"));
            m_out.transmitCleared();
        } else {
            event(QStringLiteral("vtx control DLE %1").arg(printable(QByteArray(1, c))));
        }
    }
    switch (chunk.end) {
    case VoiceDataReceiver::End::None:
        break;
    case VoiceDataReceiver::End::Finish:
        finishBlock();
        if (m_options.holdTransmitEnd) {
            m_mode = Mode::Draining;
            m_out.transmitEnded(true);
        } else {
            m_mode = Mode::Command;
            m_out.transmitEnded(false);
            sendResult(Result::Ok);
        }
        break;
    case VoiceDataReceiver::End::Abort:
        finishBlock();
        m_mode = Mode::Command;
        m_out.transmitEnded(false);
        sendResult(Result::Ok);
        break;
    }
    return chunk.consumed;
}

void ModemInterpreter::finishBlock()
{
    const VoiceMethod &m = voiceMethod();
    QString note;
    if (m_blockTotal % m.bytesPerSample() != 0)
        note = QStringLiteral(" (odd byte count: the last byte is not a whole sample)");
    event(QStringLiteral("vtx end bytes=%1 samples=%2%3")
              .arg(m_blockTotal)
              .arg(m_blockTotal / m.bytesPerSample())
              .arg(note));
    if (!m_blockBytes.isEmpty()) {
        const QByteArray pcm = m.toPcm16(m_blockBytes);
        if (m_callActive)
            m_out.callAudio(pcm);
        else if (!pcm.isEmpty())
            event(
                QStringLiteral("%1 samples played to an empty line (no call)").arg(pcm.size() / 2));
    }
    m_blockBytes.clear();
    m_receiver.reset();
}

void ModemInterpreter::finishTransmit()
{
    if (m_mode != Mode::Draining)
        return;
    m_mode = Mode::Command;
    sendResult(Result::Ok);
    const QByteArray rest = m_pending;
    m_pending.clear();
    if (!rest.isEmpty())
        feed(rest);
}

} // namespace quorvel::modemsim
