#include "controls/modem/VoiceModemTelephony.h"

#include "controls/audio/LineAudio.h"
#include "controls/modem/ModemLineAudioSink.h"
#include "shared/modem/CallerIdLine.h"
#include "shared/modem/DleDecoder.h"
#include "shared/modem/FaxClassList.h"
#include "shared/modem/ModemIdentification.h"
#include "shared/modem/VoiceCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace quorvel {

namespace {

constexpr int kSampleRate = 8000;
constexpr int kFeedIntervalMs = 20;

// What a dial string may hold: digits, * #, + for international, and the dial modifiers for
// pauses and waits. Separators people type are dropped.
std::optional<QByteArray> dialString(const QString &number)
{
    QByteArray out;
    for (const QChar c : number) {
        if (c.isDigit() || c == '*' || c == '#' || c == ',' || c == '+' || c == 'W' || c == 'w'
            || c == 'P' || c == 'p' || c == 'T' || c == 't')
            out.append(c.toLatin1());
        else if (c == ' ' || c == '-' || c == '.' || c == '(' || c == ')' || c == '/')
            continue;
        else
            return std::nullopt;
    }
    bool hasDigit = false;
    for (const char c : out)
        hasDigit = hasDigit || (c >= '0' && c <= '9');
    if (!hasDigit || out.size() > 40)
        return std::nullopt;
    return out;
}

} // namespace

VoiceModemTelephony::VoiceModemTelephony(VoiceModemConfig config, QObject *parent)
    : Telephony(parent)
    , m_config(std::move(config))
    , m_ownClock(m_config.clock ? nullptr : std::make_unique<SystemClock>())
    , m_clock(m_config.clock ? m_config.clock : m_ownClock.get())
    , m_identityCache(m_config.identityCacheFile)
    , m_channel(new ModemChannel(this))
{
    connect(m_channel, &ModemChannel::unsolicitedLine, this, &VoiceModemTelephony::onLine);
    connect(m_channel, &ModemChannel::dleEvent, this, &VoiceModemTelephony::onDleEvent);
    connect(m_channel, &ModemChannel::lost, this, &VoiceModemTelephony::onLost);

    m_ringTimer.setSingleShot(true);
    connect(&m_ringTimer, &QTimer::timeout, this, &VoiceModemTelephony::onRingTimeout);
    m_settleTimer.setSingleShot(true);
    connect(&m_settleTimer, &QTimer::timeout, this, &VoiceModemTelephony::reportCallerId);
    m_dialTimer.setSingleShot(true);
    connect(&m_dialTimer, &QTimer::timeout, this, &VoiceModemTelephony::onDialTimeout);
    m_feedTimer.setInterval(kFeedIntervalMs);
    connect(&m_feedTimer, &QTimer::timeout, this, &VoiceModemTelephony::feedAudio);
    m_pollTimer.setInterval(qMax(50, m_config.devicePollMs));
    connect(&m_pollTimer, &QTimer::timeout, this, &VoiceModemTelephony::onPoll);
}

VoiceModemTelephony::~VoiceModemTelephony()
{
    closeLine(true);
    for (Device &d : m_devices) {
        if (m_config.audioRegistry && d.sinkId >= 0)
            m_config.audioRegistry->remove(d.sinkId);
    }
}

SerialPort::Settings VoiceModemTelephony::portSettings() const
{
    SerialPort::Settings s;
    s.baudRate = m_config.baudRate;
    s.hardwareFlowControl = m_config.hardwareFlowControl;
    s.lockDirectory = m_config.lockDirectory;
    return s;
}

int VoiceModemTelephony::failWith(int code, const QString &text)
{
    m_errorTexts.insert(code, text);
    return code;
}

void VoiceModemTelephony::emitLater(std::function<void()> emitter)
{
    QMetaObject::invokeMethod(this, std::move(emitter), Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------------
// Devices

int VoiceModemTelephony::initialize()
{
    QStringList paths = m_config.ports;
    const bool configured = !paths.isEmpty();
    if (!configured) {
        for (const QString &pattern : m_config.probePatterns) {
            const QFileInfo fi(pattern);
            const QDir dir(fi.absolutePath());
            QStringList found = dir.entryList({ fi.fileName() }, QDir::System | QDir::Files);
            // ttyACM10 after ttyACM9.
            std::sort(found.begin(), found.end(), [](const QString &a, const QString &b) {
                return a.size() != b.size() ? a.size() < b.size() : a < b;
            });
            for (const QString &name : found)
                paths.append(dir.filePath(name));
        }
    }

    const QString openPath = m_lineState != LineState::Closed ? devicePath(m_openIndex) : QString();
    if (!openPath.isEmpty() && !paths.contains(openPath))
        closeLine(true);
    const QString keptPath = m_lineState != LineState::Closed ? devicePath(m_openIndex) : QString();

    QList<Device> devices;
    for (const QString &path : std::as_const(paths)) {
        // The open line's modem is busy with its calls; keep what is known about it.
        if (!keptPath.isEmpty() && path == keptPath) {
            devices.append(m_devices[m_openIndex]);
            continue;
        }
        Device d;
        d.path = path;
        if (probe(d, configured))
            devices.append(d);
    }

    // A device that stays keeps its voice output id; the others' sinks go.
    QList<Device> old = std::exchange(m_devices, devices);
    for (Device &d : m_devices) {
        d.sink = nullptr;
        d.sinkId = -1;
        for (Device &o : old) {
            if (o.path == d.path && o.sink) {
                d.sink = std::exchange(o.sink, nullptr);
                d.sinkId = o.sinkId;
                break;
            }
        }
    }
    for (Device &o : old) {
        if (!o.sink)
            continue;
        if (m_config.audioRegistry)
            m_config.audioRegistry->remove(o.sinkId);
        o.sink->deleteLater();
    }
    m_openIndex = -1;
    for (int i = 0; i < m_devices.size(); ++i) {
        registerSink(m_devices[i], i);
        if (!keptPath.isEmpty() && m_devices[i].path == keptPath)
            m_openIndex = i;
    }
    if (m_play != PlayState::None)
        m_playDevice = m_openIndex;
    return 0;
}

void VoiceModemTelephony::registerSink(Device &device, int index)
{
    if (device.sink) {
        device.sink->setDeviceIndex(index); // indexes may have shifted with the new list
        return;
    }
    device.sink = new ModemLineAudioSink(this, index, this);
    if (m_config.audioRegistry)
        device.sinkId = m_config.audioRegistry->add(device.sink);
}

bool VoiceModemTelephony::probe(Device &device, bool configured)
{
    ModemChannel channel;
    const auto fallback = [&]() {
        if (m_identityCache.contains(device.path)) {
            device.caps = m_identityCache.lookup(device.path);
            return true;
        }
        if (!configured)
            return false;
        // A port the user named stays in the list; the line reports why it cannot open.
        device.caps.name = ModemIdentification::deviceName({}, {}, {}, {}, device.path);
        device.caps.telephony = true;
        return true;
    };
    if (!channel.open(device.path, portSettings()))
        return fallback();
    if (!wakeUp(channel, m_config.probeTimeoutMs)) {
        channel.close();
        return fallback();
    }
    const bool ok = identify(device, channel);
    channel.close();
    if (!ok)
        return fallback();
    return true;
}

bool VoiceModemTelephony::wakeUp(ModemChannel &channel, int boundMs)
{
    if (channel.exec("AT", qMin(boundMs, 1000)).ok())
        return true;
    if (!channel.isOpen())
        return false;
    // A modem left in voice transmission by a program that died takes every byte as audio;
    // DLE ETX brings it back to commands. A modem in command mode ignores it.
    channel.writeRaw(Dle::endOfData() + "\r");
    return channel.exec("AT", boundMs).ok();
}

bool VoiceModemTelephony::identify(Device &device, ModemChannel &channel)
{
    const int bound = m_config.commandTimeoutMs;
    auto ask = [&](const QByteArray &cmd, bool *answered = nullptr) -> QString {
        const ModemReply r = channel.exec(cmd, bound);
        if (answered)
            *answered = !r.timedOut;
        return r.ok() ? ModemIdentification::answerText(r.lines) : QString();
    };
    bool answered = true;
    channel.exec("ATE0", bound);
    QString maker = ask("AT+FMI?", &answered);
    if (!answered)
        return false;
    QString model = ask("AT+FMM?");
    if (maker.isEmpty() && model.isEmpty()) {
        maker = ask("AT+GMI");
        model = ask("AT+GMM");
    }
    QString ati3;
    QString ati0;
    if (maker.isEmpty() && model.isEmpty()) {
        ati3 = ask("ATI3");
        if (ati3.isEmpty())
            ati0 = ask("ATI0");
    }
    const ModemReply classes = channel.exec("AT+FCLASS=?", bound);
    if (classes.timedOut)
        return false;
    const bool voiceClass
        = classes.ok() && FaxClassList::hasVoice(FaxClassList::parse(classes.lines));
    device.methods.clear();
    if (voiceClass && channel.exec("AT+FCLASS=8", bound).ok()) {
        const ModemReply vsm = channel.exec("AT+VSM=?", bound);
        if (vsm.ok())
            device.methods = VoiceFormatList::parse(vsm.lines);
        channel.exec("AT+FCLASS=0", bound);
    }
    if (!channel.isOpen())
        return false;
    device.caps.name = ModemIdentification::deviceName(maker, model, ati3, ati0, device.path);
    device.caps.telephony = true;
    device.caps.voice = voiceClass && VoiceFormatList::choose(device.methods).has_value();
    device.caps.digits = device.caps.voice;
    device.identified = true;
    m_identityCache.remember(device.path, device.caps);
    return true;
}

int VoiceModemTelephony::deviceCount() const
{
    return m_devices.size();
}

QString VoiceModemTelephony::devicePath(int index) const
{
    return index >= 0 && index < m_devices.size() ? m_devices[index].path : QString();
}

LineDeviceCaps VoiceModemTelephony::getDeviceCaps() const
{
    if (m_lineIndex < 0 || m_lineIndex >= m_devices.size())
        return {};
    return m_devices[m_lineIndex].caps;
}

int VoiceModemTelephony::getDeviceID(int deviceClass) const
{
    if (m_lineIndex < 0 || m_lineIndex >= m_devices.size())
        return -1;
    if (deviceClass == kDeviceClassComm)
        return m_lineIndex + 1; // port numbers count from 1, as serial ports always have
    if (deviceClass == kDeviceClassWaveOut)
        return m_devices[m_lineIndex].sinkId;
    return -1;
}

QString VoiceModemTelephony::commPortPath(int portNumber) const
{
    return devicePath(portNumber - 1);
}

std::optional<VoiceCompression> VoiceModemTelephony::voiceCompression() const
{
    return m_lineState == LineState::Open ? m_compression : std::nullopt;
}

QString VoiceModemTelephony::errorText(int code) const
{
    if (code == 0)
        return QStringLiteral("Success");
    const auto it = m_errorTexts.constFind(code);
    if (it != m_errorTexts.constEnd())
        return *it;
    switch (code) {
    case kErrBadDevice:
        return QStringLiteral("no line device at this index");
    case kErrLineNotOpen:
        return QStringLiteral("the line is not open");
    case kErrNotResponding:
        return QStringLiteral("modem not responding");
    case kErrPortBusy:
        return QStringLiteral("the modem's port is in use by another program");
    case kErrPortAlreadyOpen:
        return QStringLiteral("the modem's port is already open in this program");
    case kErrPortPermission:
        return QStringLiteral("no permission to open the modem's port");
    case kErrPortNotFound:
        return QStringLiteral("the modem's port does not exist");
    case kErrPortFailed:
        return QStringLiteral("the modem's port cannot be opened");
    case kErrInvalidCallState:
        return QStringLiteral("no call in a state for this operation");
    case kErrNoVoice:
        return QStringLiteral("the modem has no usable voice mode");
    case kErrModemRefused:
        return QStringLiteral("the modem refused the command");
    case kErrDeviceLost:
        return QStringLiteral("the modem went away");
    case kErrInvalidNumber:
        return QStringLiteral("not a number that can be dialled");
    }
    return QStringLiteral("unknown error %1").arg(code);
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

bool VoiceModemTelephony::isLineOpen() const
{
    return m_lineState == LineState::Open && m_openIndex == m_lineIndex;
}

int VoiceModemTelephony::lineOpen(int privilege, int mediaMode)
{
    // Every privilege gets the same line: a modem has one call at a time, and taking a ringing
    // call over from the serial caller-ID reader is simply opening the port while it rings.
    Q_UNUSED(privilege);
    Q_UNUSED(mediaMode);
    if (m_lineIndex < 0 || m_lineIndex >= m_devices.size())
        return kErrBadDevice;
    if (isLineOpen())
        return 0;
    if (m_lineState != LineState::Closed)
        closeLine(true); // another device's line, or this one while it is away
    const int r = openLine(m_lineIndex);
    if (r == 0)
        m_pollTimer.start();
    return r;
}

int VoiceModemTelephony::openLine(int index)
{
    Device &device = m_devices[index];
    if (!m_channel->open(device.path, portSettings())) {
        const SerialPort &port = m_channel->port();
        const QString text = port.errorString();
        switch (port.error()) {
        case SerialPort::Busy:
            return failWith(kErrPortBusy, text);
        case SerialPort::AlreadyOpen:
            return failWith(kErrPortAlreadyOpen, text);
        case SerialPort::PermissionDenied:
            return failWith(kErrPortPermission, text);
        case SerialPort::NotFound:
            return failWith(kErrPortNotFound, text);
        default:
            return failWith(kErrPortFailed, text);
        }
    }
    m_channel->holdUnsolicited(true);
    const int r = setUpModem(device);
    if (r != 0) {
        m_channel->close();
        return r;
    }
    m_openIndex = index;
    m_lineState = LineState::Open;
    ++m_generation;
    resetCall();
    m_call = CallState::Idle;
    m_monitorDigits = false;
    m_channel->holdUnsolicited(false);
    return 0;
}

int VoiceModemTelephony::setUpModem(Device &device)
{
    const int bound = m_config.commandTimeoutMs;
    const auto notResponding = [&]() {
        if (!m_channel->isOpen())
            return failWith(kErrDeviceLost,
                            SerialPort::errorText(SerialPort::DeviceLost, device.path));
        return failWith(kErrNotResponding,
                        QStringLiteral("modem not responding on ") + device.path);
    };
    if (!wakeUp(*m_channel, bound))
        return notResponding();
    if (m_channel->exec("ATZ", bound).timedOut)
        return notResponding();
    m_channel->exec("ATE0", bound);
    m_channel->exec("ATV1", bound);
    if (!device.identified) {
        if (!identify(device, *m_channel))
            return notResponding();
    }
    // Caller-ID reporting is lost with every reset; V.253 spelling first, then the Rockwell one.
    m_callerIdOn = false;
    for (const char *cmd : { "AT+VCID=1", "AT#CID=1" }) {
        const ModemReply r = m_channel->exec(cmd, bound);
        if (r.timedOut)
            return notResponding();
        if (r.ok()) {
            m_callerIdOn = true;
            break;
        }
    }
    m_compression.reset();
    if (device.caps.voice) {
        const ModemReply fclass = m_channel->exec("AT+FCLASS=8", bound);
        if (fclass.timedOut)
            return notResponding();
        if (fclass.ok()) {
            const QList<VoiceCompression> candidates
                = VoiceFormatList::usable(device.methods, kSampleRate);
            for (const VoiceCompression &m : std::as_const(candidates)) {
                const ModemReply r = m_channel->exec("AT+VSM=" + QByteArray::number(m.id) + ','
                                                         + QByteArray::number(kSampleRate),
                                                     bound);
                if (r.timedOut)
                    return notResponding();
                if (r.ok()) {
                    m_compression = m;
                    break;
                }
            }
            if (m_channel->exec("AT+VLS=0", bound).timedOut)
                return notResponding();
        }
    }
    return m_channel->isOpen() ? 0 : notResponding();
}

void VoiceModemTelephony::closeLine(bool hangUp)
{
    m_ringTimer.stop();
    m_settleTimer.stop();
    m_dialTimer.stop();
    m_feedTimer.stop();
    m_pollTimer.stop();
    const bool wasPlaying = m_play != PlayState::None;
    ModemLineAudioSink *sink = playbackSink();
    if (m_channel->isOpen() && hangUp) {
        // Best effort on the way out: end a transmission and put the line on hook, so the
        // modem is not left off hook when the port closes (most also hang up on DTR drop).
        QByteArray bye;
        if (m_channel->isTransmitting() || m_play != PlayState::None)
            bye += Dle::endOfData();
        if (callActive() && m_call != CallState::Offering && m_call != CallState::Ignoring)
            bye += "ATH\r";
        if (!bye.isEmpty()) {
            m_channel->writeRaw(bye);
        }
    }
    m_channel->close();
    m_play = PlayState::None;
    m_playQueue.clear();
    m_lineState = LineState::Closed;
    m_openIndex = -1;
    ++m_generation;
    resetCall();
    m_call = CallState::Idle;
    if (wasPlaying && sink)
        sink->notifyFinished();
}

int VoiceModemTelephony::lineClose()
{
    if (m_lineState == LineState::Lost) {
        closeLine(false);
        return 0;
    }
    if (!isLineOpen() && m_lineState != LineState::Open)
        return kErrLineNotOpen;
    closeLine(true);
    return 0;
}

int VoiceModemTelephony::lineShutdown()
{
    if (m_lineState != LineState::Closed)
        closeLine(true);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Modem input

void VoiceModemTelephony::onLine(const QByteArray &line, AtResult result)
{
    switch (result) {
    case AtResult::Ring:
        onRing();
        return;
    case AtResult::Vcon:
        if (m_call == CallState::Dialing) {
            m_dialTimer.stop();
            m_call = CallState::Connected;
            emit connected();
        }
        return;
    case AtResult::NoCarrier:
    case AtResult::Busy:
    case AtResult::NoDialtone:
    case AtResult::NoAnswer:
        if (m_call == CallState::Connected || m_call == CallState::Dialing)
            farEndGone();
        return;
    case AtResult::Text:
        if (const auto cid = CallerIdLine::parse(line))
            onCallerIdLine(*cid);
        return; // anything else is noise or an answer that came too late
    default:
        return;
    }
}

void VoiceModemTelephony::onDleEvent(char event)
{
    if (event == 'R') {
        onRing();
        return;
    }
    if (Dle::isDtmfDigit(event)) {
        if (m_monitorDigits && m_call == CallState::Connected)
            emit digitReceived(QChar::fromLatin1(event));
        return;
    }
    if (Dle::isHangupEvent(event)
        && (m_call == CallState::Connected || m_call == CallState::Dialing))
        farEndGone();
}

void VoiceModemTelephony::onRing()
{
    const quint64 gen = m_generation;
    switch (m_call) {
    case CallState::Idle:
        startCall();
        emit inComeCall();
        if (gen != m_generation || m_call != CallState::Offering)
            return;
        break;
    case CallState::Offering:
    case CallState::Answering:
        break;
    case CallState::Ignoring:
        m_ringTimer.start(m_config.ringTimeoutMs);
        return;
    default:
        return; // a connected or dialling line does not ring
    }
    ++m_ringCount;
    m_ringTimer.start(m_config.ringTimeoutMs);
    // Caller ID comes between the first and second ring; by the second it is whatever came,
    // and a line without the service reports the caller unknown, once.
    if (!m_callerIdReported && (!m_callerId.isEmpty() || m_ringCount >= 2)) {
        reportCallerId();
        if (gen != m_generation || !callActive())
            return;
    }
    emit ring(m_ringCount);
}

void VoiceModemTelephony::onCallerIdLine(const CallerIdLine &line)
{
    if (m_callerIdReported || m_call == CallState::Ignoring || m_call == CallState::Dialing
        || m_call == CallState::Dropping)
        return;
    m_callerId.apply(line);
    if (m_call == CallState::Idle) {
        // Some exchanges send caller ID before the first ring; it waits for that ring, and is
        // forgotten if none comes.
        m_ringTimer.start(m_config.ringTimeoutMs);
        return;
    }
    if (m_callerId.isComplete())
        reportCallerId();
    else
        m_settleTimer.start(m_config.callerIdSettleMs);
}

void VoiceModemTelephony::reportCallerId()
{
    m_settleTimer.stop();
    if (m_callerIdReported || !m_incoming || m_call == CallState::Idle
        || m_call == CallState::Ignoring || m_call == CallState::Dropping)
        return;
    m_callerIdReported = true;
    emit callerID(m_callerId.callerName(), m_callerId.callerNumber());
}

void VoiceModemTelephony::onRingTimeout()
{
    switch (m_call) {
    case CallState::Idle:
        m_callerId.clear(); // caller ID without a ring
        return;
    case CallState::Ignoring:
        m_call = CallState::Idle;
        resetCall();
        return;
    case CallState::Offering:
        // The caller gave up: a modem says nothing, the rings just stop.
        m_call = CallState::Idle;
        resetCall();
        emit idle();
        return;
    default:
        return;
    }
}

void VoiceModemTelephony::onDialTimeout()
{
    if (m_call == CallState::Dialing)
        farEndGone();
}

void VoiceModemTelephony::onLost(const QString &detail)
{
    const QString path = m_openIndex >= 0 ? devicePath(m_openIndex) : QString();
    fault(kErrDeviceLost, SerialPort::errorText(SerialPort::DeviceLost, path, detail));
}

void VoiceModemTelephony::onPoll()
{
    if (m_openIndex < 0 || m_openIndex >= m_devices.size()) {
        m_pollTimer.stop();
        return;
    }
    const QString path = m_devices[m_openIndex].path;
    if (m_lineState == LineState::Open) {
        // A vanished path with the descriptor still quiet: the device is gone all the same.
        if (!m_channel->isOpen() || !QFileInfo::exists(path)
            || SerialPort::canonicalDevicePath(path) != m_channel->port().device())
            fault(kErrDeviceLost, SerialPort::errorText(SerialPort::DeviceLost, path));
        return;
    }
    if (m_lineState != LineState::Lost || !QFileInfo::exists(path))
        return;
    const int index = m_openIndex;
    if (openLine(index) != 0) {
        m_lineState = LineState::Lost;
        m_openIndex = index;
        return;
    }
    emit deviceReturned();
}

// ---------------------------------------------------------------------------------------------
// Calls

bool VoiceModemTelephony::callActive() const
{
    return m_call != CallState::Idle && m_call != CallState::Ignoring;
}

void VoiceModemTelephony::startCall()
{
    const CallerIdRecord early = m_callerId; // caller ID that came before the first ring
    resetCall();
    m_callerId = early;
    m_incoming = true;
    m_call = CallState::Offering;
}

void VoiceModemTelephony::resetCall()
{
    m_ringTimer.stop();
    m_settleTimer.stop();
    m_dialTimer.stop();
    m_ringCount = 0;
    m_incoming = false;
    m_disconnectedReported = false;
    m_callerIdReported = false;
    m_hangUpSent = false;
    m_callerId.clear();
}

bool VoiceModemTelephony::isCallConnected() const
{
    return isLineOpen() && m_call == CallState::Connected;
}

int VoiceModemTelephony::lineAnswer()
{
    if (!isLineOpen())
        return kErrLineNotOpen;
    if (m_call != CallState::Offering)
        return failWith(kErrInvalidCallState, QStringLiteral("no ringing call to answer"));
    // Whatever caller ID is in goes out before the call connects.
    if (!m_callerIdReported && !m_callerId.isEmpty())
        emitLater([this, gen = m_generation] {
            if (gen == m_generation)
                reportCallerId();
        });
    m_call = CallState::Answering;
    m_ringTimer.stop();
    const quint64 gen = m_generation;
    m_channel->send("ATA", m_config.answerTimeoutMs,
                    [this, gen](const ModemReply &r) {
                        if (gen != m_generation || m_call != CallState::Answering)
                            return; // dropped or closed meanwhile
                        if (!replyUsable(r))
                            return;
                        if (r.result == AtResult::Vcon || r.result == AtResult::Ok
                            || r.result == AtResult::Connect) {
                            m_call = CallState::Connected;
                            emit connected();
                            return;
                        }
                        // The call was gone before the modem could take it.
                        m_disconnectedReported = true;
                        m_call = CallState::Dropping;
                        emit disconnected();
                        if (gen == m_generation && m_call == CallState::Dropping)
                            hangUp();
                    },
                    { AtResult::Vcon, AtResult::Connect, AtResult::NoCarrier, AtResult::NoAnswer,
                      AtResult::Busy, AtResult::NoDialtone });
    return 0;
}

int VoiceModemTelephony::lineDrop()
{
    if (!isLineOpen())
        return kErrLineNotOpen;
    switch (m_call) {
    case CallState::Idle:
    case CallState::Ignoring:
        return failWith(kErrInvalidCallState, QStringLiteral("no call to drop"));
    case CallState::Dropping:
        return 0;
    case CallState::Offering: {
        // A modem cannot refuse a ringing call; the call is over for us and its remaining
        // rings are let pass.
        m_call = CallState::Ignoring;
        m_settleTimer.stop();
        m_ringTimer.start(m_config.ringTimeoutMs);
        const quint64 gen = m_generation;
        emitLater([this, gen] {
            if (gen != m_generation)
                return;
            emit disconnected();
            if (gen == m_generation)
                emit idle();
        });
        return 0;
    }
    case CallState::Answering:
    case CallState::Connected:
    case CallState::Dialing:
        m_call = CallState::Dropping;
        m_dialTimer.stop();
        hangUp();
        return 0;
    }
    return 0;
}

void VoiceModemTelephony::farEndGone()
{
    const quint64 gen = m_generation;
    m_dialTimer.stop();
    m_call = CallState::Dropping;
    if (!m_disconnectedReported) {
        m_disconnectedReported = true;
        emit disconnected();
    }
    // The handler may have dropped the call itself already (then its ATH is on the way), or
    // closed the line.
    if (gen == m_generation && m_call == CallState::Dropping)
        hangUp();
}

void VoiceModemTelephony::hangUp()
{
    if (m_play != PlayState::None)
        finishPlayback(true);
    if (!m_channel->isOpen() || m_call != CallState::Dropping || m_hangUpSent)
        return;
    m_hangUpSent = true;
    const quint64 gen = m_generation;
    m_channel->send("ATH", m_config.commandTimeoutMs, [this, gen](const ModemReply &r) {
        if (gen != m_generation)
            return;
        if (!replyUsable(r))
            return;
        finishCall();
    });
}

void VoiceModemTelephony::finishCall()
{
    if (m_call != CallState::Dropping)
        return;
    const quint64 gen = m_generation;
    const bool reportDisconnect = !m_disconnectedReported;
    m_call = CallState::Idle;
    resetCall();
    if (reportDisconnect) {
        emit disconnected();
        if (gen != m_generation || m_call != CallState::Idle)
            return;
    }
    emit idle();
}

void VoiceModemTelephony::lineMakeCall(const QString &number)
{
    int error = 0;
    const auto dial = dialString(number);
    if (!isLineOpen())
        error = kErrLineNotOpen;
    else if (!dial)
        error = failWith(kErrInvalidNumber,
                         QStringLiteral("not a number that can be dialled: \"%1\"").arg(number));
    else if (m_call != CallState::Idle && m_call != CallState::Ignoring)
        error = failWith(kErrInvalidCallState, QStringLiteral("a call is already on the line"));
    else if (m_call == CallState::Ignoring)
        error = failWith(kErrInvalidCallState, QStringLiteral("the line is still ringing"));
    if (error) {
        emitLater([this, error] { emit lineError(error); });
        return;
    }
    resetCall();
    m_call = CallState::Dialing;
    const quint64 gen = m_generation;
    emitLater([this, gen] {
        if (gen == m_generation)
            emit dialing();
    });
    // Dialling takes time per digit (DTMF or pulse) and per pause.
    const int bound = m_config.commandTimeoutMs + dial->size() * 250 + dial->count(',') * 2000;
    m_channel->send("ATD" + *dial + ';', bound,
                    [this, gen](const ModemReply &r) {
                        if (gen != m_generation || m_call != CallState::Dialing)
                            return;
                        if (!replyUsable(r))
                            return;
                        if (r.result == AtResult::Vcon) {
                            m_call = CallState::Connected;
                            emit connected();
                            return;
                        }
                        if (r.result == AtResult::Ok) {
                            m_dialTimer.start(m_config.dialAnswerTimeoutMs);
                            return;
                        }
                        if (r.result == AtResult::Error)
                            m_errorTexts.insert(kErrModemRefused,
                                                QStringLiteral("the modem refused to dial"));
                        farEndGone();
                    },
                    { AtResult::Vcon, AtResult::Busy, AtResult::NoDialtone, AtResult::NoCarrier,
                      AtResult::NoAnswer });
}

int VoiceModemTelephony::lineMonitorDigits(bool on)
{
    if (!isLineOpen())
        return kErrLineNotOpen;
    m_monitorDigits = on;
    return 0;
}

bool VoiceModemTelephony::replyUsable(const ModemReply &reply)
{
    if (!reply.timedOut)
        return true;
    const QString path = m_openIndex >= 0 ? devicePath(m_openIndex) : QString();
    if (!m_channel->isOpen())
        return false; // lost: onLost has handled it
    fault(kErrNotResponding, QStringLiteral("modem not responding on ") + path);
    return false;
}

void VoiceModemTelephony::fault(int code, const QString &detail)
{
    if (m_lineState != LineState::Open)
        return;
    m_errorTexts.insert(code, detail);
    const CallState call = m_call;
    const bool reportDisconnect = !m_disconnectedReported;
    const bool wasPlaying = m_play != PlayState::None;
    ModemLineAudioSink *sink = playbackSink();
    const int index = m_openIndex;

    m_feedTimer.stop();
    m_play = PlayState::None;
    m_playQueue.clear();
    m_channel->close();
    resetCall();
    m_call = CallState::Idle;
    m_lineState = LineState::Lost;
    m_openIndex = index;
    ++m_generation;
    m_pollTimer.start();

    QPointer<VoiceModemTelephony> self(this);
    if (wasPlaying && sink)
        sink->notifyFinished();
    if (!self)
        return;
    if (code != kErrDeviceLost)
        emit lineError(code);
    if (self && call != CallState::Idle && call != CallState::Ignoring) {
        if (reportDisconnect)
            emit disconnected();
        if (self)
            emit idle();
    }
    if (self)
        emit deviceLost();
}

// ---------------------------------------------------------------------------------------------
// Playback into the line

ModemLineAudioSink *VoiceModemTelephony::playbackSink() const
{
    if (m_playDevice < 0 || m_playDevice >= m_devices.size())
        return nullptr;
    return m_devices[m_playDevice].sink;
}

bool VoiceModemTelephony::playbackStart(int deviceIndex)
{
    if (m_lineState != LineState::Open || deviceIndex != m_openIndex
        || m_call != CallState::Connected || !m_compression)
        return false;
    m_playQueue.clear();
    m_playEndRequested = false;
    m_playStopRequested = false;
    m_playDevice = deviceIndex;
    if (m_play == PlayState::Starting || m_play == PlayState::Streaming) {
        // A new playback replaces the old one inside the same transmission.
        m_samplesSent = 0;
        m_playStartMs = nowMs();
        return true;
    }
    m_play = PlayState::Starting;
    const quint64 gen = m_generation;
    m_channel->send("AT+VTX", m_config.commandTimeoutMs,
                    [this, gen](const ModemReply &r) {
                        if (gen != m_generation)
                            return;
                        if (!replyUsable(r))
                            return;
                        if (r.result != AtResult::Connect) {
                            const bool wanted = m_play == PlayState::Starting;
                            m_play = PlayState::None;
                            if (wanted) {
                                if (ModemLineAudioSink *sink = playbackSink())
                                    sink->notifyFinished();
                                emit lineError(
                                    failWith(kErrModemRefused,
                                             QStringLiteral("the modem refused to play audio")));
                            }
                            return;
                        }
                        m_channel->beginTransmission();
                        if (m_play != PlayState::Starting || m_playStopRequested) {
                            // Stopped while the modem was getting ready.
                            m_channel->endTransmission(m_config.commandTimeoutMs,
                                                       [this, gen](const ModemReply &e) {
                                                           if (gen == m_generation)
                                                               replyUsable(e);
                                                       });
                            return;
                        }
                        m_play = PlayState::Streaming;
                        m_playStartMs = nowMs();
                        m_samplesSent = 0;
                        m_feedTimer.start();
                        feedAudio();
                    },
                    { AtResult::Connect });
    return true;
}

bool VoiceModemTelephony::playbackWrite(int deviceIndex, const QByteArray &pcm16)
{
    if (deviceIndex != m_playDevice
        || (m_play != PlayState::Starting && m_play != PlayState::Streaming) || m_playEndRequested)
        return false;
    m_playQueue.append(pcm16);
    if (m_play == PlayState::Streaming)
        feedAudio();
    return true;
}

void VoiceModemTelephony::playbackEnd(int deviceIndex)
{
    if (deviceIndex != m_playDevice
        || (m_play != PlayState::Starting && m_play != PlayState::Streaming))
        return;
    m_playEndRequested = true;
    if (m_play == PlayState::Streaming)
        feedAudio();
}

void VoiceModemTelephony::playbackStop(int deviceIndex)
{
    if (deviceIndex != m_playDevice || m_play == PlayState::None)
        return;
    finishPlayback(true);
}

bool VoiceModemTelephony::playbackActive(int deviceIndex) const
{
    return deviceIndex == m_playDevice && m_play != PlayState::None;
}

int VoiceModemTelephony::playbackPlayedMs(int deviceIndex) const
{
    if (deviceIndex != m_playDevice)
        return 0;
    const qint64 sentMs = m_samplesSent * 1000 / kSampleRate;
    if (m_play == PlayState::Streaming)
        return static_cast<int>(qMin(sentMs, qMax<qint64>(0, nowMs() - m_playStartMs)));
    return static_cast<int>(sentMs);
}

void VoiceModemTelephony::finishPlayback(bool notify)
{
    // Cuts the playback: queued audio is dropped, the transmission ends with DLE ETX (ahead of
    // any command waiting), and the modem's OK is waited for in the background.
    ModemLineAudioSink *sink = playbackSink();
    const PlayState was = m_play;
    m_feedTimer.stop();
    m_playQueue.clear();
    m_play = PlayState::None;
    if (was == PlayState::Starting) {
        m_playStopRequested = true;
    } else if (was == PlayState::Streaming) {
        const quint64 gen = m_generation;
        m_channel->endTransmission(m_config.commandTimeoutMs + m_config.audioLeadMs,
                                   [this, gen](const ModemReply &r) {
                                       if (gen == m_generation)
                                           replyUsable(r);
                                   });
    }
    if (notify && sink && was != PlayState::None)
        sink->notifyFinished();
}

void VoiceModemTelephony::feedAudio()
{
    if (m_play != PlayState::Streaming || !m_compression || !m_channel->isOpen())
        return;
    const VoiceFormat format = *m_compression->format;
    const qint64 now = nowMs();
    qint64 sentMs = m_samplesSent * 1000 / kSampleRate;
    if (m_playQueue.size() < 2 && sentMs < now - m_playStartMs) {
        // Starved: the modem has played everything it had. Count from now, so the next audio
        // is not pushed in as one burst that would overflow the modem's buffer.
        m_playStartMs = now - sentMs;
    }
    const qint64 aheadLimit = (now - m_playStartMs + m_config.audioLeadMs) * kSampleRate / 1000;
    const qint64 portBacklog = m_channel->bytesToWrite() / VoiceCodec::bytesPerSample(format);
    qint64 room = aheadLimit - m_samplesSent;
    if (portBacklog > 0)
        room = qMin(room, qMax<qint64>(0, kSampleRate / 10 - portBacklog));
    const qint64 available = m_playQueue.size() / 2;
    const qint64 n = qMin(room, available);
    if (n > 0) {
        const QByteArray chunk = m_playQueue.left(n * 2);
        m_playQueue.remove(0, n * 2);
        m_channel->writeAudio(Dle::escape(VoiceCodec::encode(chunk, format)));
        m_samplesSent += n;
        if (m_play != PlayState::Streaming)
            return; // the write found the device gone
    }
    if (m_playEndRequested && m_playQueue.size() < 2) {
        m_playQueue.clear();
        m_feedTimer.stop();
        m_play = PlayState::Ending;
        // The modem answers OK once it has played what it holds: the lead plus its own buffer.
        const int bound = m_config.commandTimeoutMs + m_config.audioLeadMs
            + static_cast<int>(qMax<qint64>(
                0, m_samplesSent * 1000 / kSampleRate - (now - m_playStartMs)));
        const quint64 gen = m_generation;
        m_channel->endTransmission(bound, [this, gen](const ModemReply &r) {
            if (gen != m_generation || m_play != PlayState::Ending)
                return;
            if (!replyUsable(r))
                return;
            m_play = PlayState::None;
            if (ModemLineAudioSink *sink = playbackSink())
                sink->notifyFinished();
        });
    }
}

} // namespace quorvel
