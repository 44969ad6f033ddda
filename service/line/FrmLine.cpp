#include "service/line/FrmLine.h"

#include "service/remote/RemoteAccessMenu.h"

#include "controls/audio/Wave.h"
#include "controls/modem/Telephony.h"
#include "service/host/FrmMain.h"
#include "service/host/Waits.h"
#include "service/line/AutoSchedule.h"
#include "service/line/CallDefaults.h"
#include "service/line/LineCommand.h"
#include "service/line/LineDeviceSearch.h"
#include "shared/channel/Channel.h"
#include "shared/channel/ChannelMessage.h"
#include "shared/contacts/ContactMatcher.h"
#include "shared/journal/Journal.h"
#include "shared/records/CallRecord.h"
#include "shared/records/CallRecordFile.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace quorvel {

namespace {
const QString kTabDevices = QStringLiteral("Properties\\TabDevices");
const QString kCallerIdSection = QStringLiteral("Properties\\TabDevices\\CallerID");
const QString kTabGeneral = QStringLiteral("Properties\\TabGeneral");
const QString kTabAnswering = QStringLiteral("Answer\\TabAnsweringMachine");
const QString kPlayIC = QStringLiteral("PLAY_IC");
const QString kFalse = QStringLiteral("False");

// A failed open in automatic mode is tried again after this long, not at every tick: a modem
// that is missing would otherwise fill the journal with a few lines a second.
constexpr qint64 kAutoRetryMs = 60 * 1000;
// The longest piece of a refused command that goes into the journal.
constexpr int kJournalQuoteMax = 40;
} // namespace

FrmLine::FrmLine(FrmMain &main)
    : m_main(main)
    , m_tapi(main.controls().telephony)
    , m_lineWave(main.controls().lineWave)
    , m_localWave(main.controls().localWave)
    , m_journal(main.journal())
    , m_reg(main.reg().store())
    , m_contacts(std::make_unique<ContactMatcher>(main.home().contactsFile()))
    , m_machine(main.controls().telephony, main.controls().lineWave, main.journal(), main.home())
{
    // 1. Controls. Telephony was initialised by the main form on this same object.
    if (m_lineWave)
        m_lineWave->initialize();
    if (m_localWave)
        m_localWave->initialize();

    // 3./4. Call options, remote access and speech settings.
    setDefaultCallOption();
    getOptions();

    // 5. Channels; a channel nobody listens on just drops what is sent.
    if (ChannelFactory *channels = main.controls().channels) {
        m_udiOut = channels->create(this);
        m_udiIn = channels->create(this);
        m_udiCallerID = channels->create(this);
        m_udiIdle = channels->create(this);
        m_udiOut->openChannel(ChannelNo::Events);
        m_udiIn->openChannel(ChannelNo::Commands);
        m_udiCallerID->openChannel(ChannelNo::CallerId);
        m_udiIdle->openChannel(ChannelNo::Idle);
        connect(m_udiIn.get(), &Channel::textArrived, this, &FrmLine::handleCommand);
    }

    if (m_tapi) {
        connect(m_tapi, &Telephony::inComeCall, this, &FrmLine::onInComeCall);
        connect(m_tapi, &Telephony::callerID, this, &FrmLine::onCallerID);
        connect(m_tapi, &Telephony::ring, this, &FrmLine::onRing);
        connect(m_tapi, &Telephony::connected, this, &FrmLine::onConnected);
        connect(m_tapi, &Telephony::disconnected, this, &FrmLine::onDisconnected);
        connect(m_tapi, &Telephony::idle, this, &FrmLine::onIdle);
        connect(m_tapi, &Telephony::dialing, this, &FrmLine::onDialing);
        connect(m_tapi, &Telephony::deviceLost, this, &FrmLine::onDeviceLost);
        connect(m_tapi, &Telephony::deviceReturned, this, &FrmLine::onDeviceReturned);
        connect(m_tapi, &Telephony::lineError, this, &FrmLine::onLineError);
    }
    if (m_lineWave)
        connect(m_lineWave, &Wave::playDone, this, &FrmLine::onLinePlayDone);

    // The owner's keypad menu speaks through the machine's line playback; cutting a text goes
    // through stopLineAudio so the machine never takes that end for the greeting's.
    RemoteAccessMenu::Hooks menuHooks;
    menuHooks.playToLine = [this](const QString &path) { return m_machine.playToLine(path); };
    menuHooks.stopLine = [this]() { m_machine.stopLineAudio(); };
    menuHooks.drop = [this]() { dropCall(); };
    menuHooks.sendEvent
        = [this](const QStringList &fields) { send(m_udiOut.get(), ChannelNo::Events, fields); };
    menuHooks.lineIndex = [this]() { return m_tapi ? m_tapi->lineIndex() : 0; };
    menuHooks.journal = [this](const QString &text, const QString &tag) { journal(text, 0, tag); };
    m_remoteMenu = std::make_unique<RemoteAccessMenu>(m_remote, main.controls().speech, main.home(),
                                                      *main.controls().clock, std::move(menuHooks));
    if (m_tapi)
        connect(m_tapi, &Telephony::digitReceived, m_remoteMenu.get(), &RemoteAccessMenu::onDigit);
    if (m_localWave)
        connect(m_localWave, &Wave::playDone, this, &FrmLine::onLocalPlayDone);
    connect(&m_machine, &AnsweringMachine::greetingStarted, this, [this]() {
        send(m_udiOut.get(), ChannelNo::Events, { QStringLiteral("PlayGreet"), lineIndexText() });
    });

    m_tmrAutoMode.setInterval(1000);
    connect(&m_tmrAutoMode, &QTimer::timeout, this, &FrmLine::autoModeTick);

    indexContacts();
    m_tmrContacts.setInterval(kContactsCheckMs);
    connect(&m_tmrContacts, &QTimer::timeout, this, [this]() {
        if (!m_inCall && !m_callActive)
            indexContacts();
    });
    m_tmrContacts.start();
}

FrmLine::~FrmLine()
{
    m_tmrAutoMode.stop();
    m_tmrContacts.stop();
    closeLine(false);
    if (m_lineWave)
        m_lineWave->shutdown();
    if (m_localWave)
        m_localWave->shutdown();
    // The controls outlive the form: nothing of theirs may reach it from here on.
    if (m_tapi)
        disconnect(m_tapi, nullptr, this, nullptr);
    if (m_lineWave)
        disconnect(m_lineWave, nullptr, this, nullptr);
    if (m_localWave)
        disconnect(m_localWave, nullptr, this, nullptr);
    m_comm.reset();
}

// ---------------------------------------------------------------------------------------------
// Helpers

QString FrmLine::lineIndexText() const
{
    return QString::number(m_tapi ? m_tapi->lineIndex() : 0);
}

void FrmLine::journal(const QString &text, long long code, const QString &tag) const
{
    m_journal.journalWrite(text, code, tag);
}

void FrmLine::send(Channel *channel, int number, const QStringList &fields)
{
    if (!channel || !channel->openChannel(number))
        return;
    channel->sendText(ChannelMessage::join(fields));
}

void FrmLine::sendLineStatus()
{
    send(m_udiOut.get(), ChannelNo::Events,
         { QStringLiteral("LineStatus"), lineIndexText(), QString::number(m_lineStatus),
           ChannelMessage::boolText(m_main.automaticMode) });
}

void FrmLine::waitClosed(const std::function<bool()> &stillOpen, const QString &what,
                         const QString &tag)
{
    // A pause that lets no event in, as the open and close steps must not be entered twice;
    // bounded, since a modem that hangs would otherwise hang the whole service with it.
    for (int i = 0; i < kCloseWaitTenths && stillOpen(); ++i)
        pauseTenths(1);
    if (stillOpen())
        journal(what + QStringLiteral(" still reports open after ")
                    + QString::number(kCloseWaitTenths / 10) + QStringLiteral(" seconds; going on"),
                0, tag);
}

bool FrmLine::serialListening() const
{
    return m_comm && m_comm->isPortOpen();
}

bool FrmLine::ensureCommControl()
{
    if (m_comm)
        return true;
    if (m_main.controls().makeCommControl)
        m_comm = m_main.controls().makeCommControl(m_main, *this);
    if (!m_comm)
        journal(QStringLiteral("Serial caller ID is not available; the line stays closed"), 0,
                QStringLiteral("LineOpen:CommConnect"));
    return m_comm != nullptr;
}

// ---------------------------------------------------------------------------------------------
// Opening and closing the line

int FrmLine::openLine()
{
    m_wantOpen = true;
    if (!m_tapi) {
        m_lineStatus = 1;
        sendLineStatus();
        return m_lineStatus;
    }

    // 1.-3. The device by its stored name; the name of the device taken is stored back.
    RegistryRoutines reg(m_reg.store());
    reg.setSubkey(kTabDevices);
    const QString stored = reg.getRegistryValue(QStringLiteral("cmbModemDev"), QString());
    const LineDeviceSearch::Choice choice = LineDeviceSearch::find(*m_tapi, stored);
    for (const QString &details : choice.details)
        journal(details);
    m_tapi->setLineIndex(choice.index);
    const LineDeviceCaps caps = m_tapi->getDeviceCaps();
    // With no modem plugged in there is no name to store; keep the user's choice.
    if (m_tapi->deviceCount() > 0 && !caps.name.isEmpty() && caps.name != stored)
        reg.setRegistryValue(QStringLiteral("cmbModemDev"), caps.name);

    // 4. Caller-ID source. A configuration without the section uses the modem driver's own
    // caller ID; the serial form is only for modems whose driver cannot report it.
    reg.setSubkey(kCallerIdSection);
    if (!reg.keyExists())
        m_tapiCallerID = true;
    else
        m_tapiCallerID
            = reg.getRegistryValue(QStringLiteral("Tapi"), QString()) == QLatin1String("1");
    m_modemCommand = reg.getRegistryValue(QStringLiteral("cmbATCommands"), QString());

    // 5. The open step, unless the line already listens.
    const bool listening = m_tapiCallerID ? m_tapi->isLineOpen() : serialListening();
    if (!listening) {
        openStep(choice.index);
    } else if (m_tapiCallerID) {
        m_lineStatus = 0;
        m_lineOpen = true;
    }

    // 6./7.
    if (m_main.automaticMode)
        m_tmrAutoMode.start();
    sendLineStatus();
    return m_lineStatus;
}

void FrmLine::openStep(int index)
{
    m_tapi->setLineIndex(index);
    m_tapi->getDeviceCaps();
    m_lineDevice = index;

    const int r = m_tapi->lineOpen(Telephony::kPrivilegeOwner, Telephony::kMediaService);
    journal(m_tapi->errorText(r), r,
            QStringLiteral("OpenLine:Tapi1.LineOpen(") + QString::number(index) + ')');

    bool listening = r == 0;
    if (!m_tapiCallerID) {
        listening = false;
        if (r == 0) {
            if (m_commPort == 0)
                m_commPort = m_tapi->getDeviceID(Telephony::kDeviceClassComm);
            // The serial form needs the port the telephony line holds: hand it over.
            m_tapi->lineClose();
            m_tapi->lineShutdown();
            waitClosed([this]() { return m_tapi->isLineOpen(); }, QStringLiteral("The modem line"),
                       QStringLiteral("LineOpen:errOpenTheLine"));
            pauseTenths(15);
            if (ensureCommControl()) {
                m_comm->commConnect(m_commPort, m_modemCommand);
                listening = serialListening();
            }
        } else {
            journal(QStringLiteral("Can't open comm without TAPI"), 0,
                    QStringLiteral("LineOpen:CommConnect"));
        }
    }

    if (!listening) {
        m_lineStatus = 1;
        m_lineOpen = false;
        return;
    }
    m_lineStatus = 0;
    m_lineOpen = true;

    RegistryRoutines reg(m_reg.store());
    reg.setSubkey(kTabGeneral);
    if (reg.getRegistryValue(QStringLiteral("chkModemSoundControl"), QString())
            == QLatin1String("1")
        && m_localWave) {
        // Only a beep that really plays will report its end.
        if (m_localWave->playFile(m_main.home().beepFile(), m_main.soundDeviceIndex()) == 0)
            m_skipPlayDone = true;
    }
}

void FrmLine::closeTheLine()
{
    if (!m_tapiCallerID && m_comm)
        m_comm->commDisconnect();
    if (!m_tapi || !m_tapi->isLineOpen()) {
        m_lineStatus = 1;
        m_lineOpen = false;
        return;
    }
    int r = m_tapi->lineClose();
    if (r != 0)
        journal(m_tapi->errorText(r), r, QStringLiteral("CloseLine:Tapi1.LineClose"));
    r = m_tapi->lineShutdown();
    if (r != 0)
        journal(m_tapi->errorText(r), r, QStringLiteral("CloseLine:Tapi1.LineShutdown"));
    m_lineStatus = 1;
    m_lineOpen = false;
    journal(m_tapi->errorText(r), r, QStringLiteral("CloseLine"));
}

void FrmLine::closeLine(bool unloading)
{
    m_wantOpen = false;
    closeTheLine();
    if (!unloading)
        sendLineStatus();
}

void FrmLine::getTapiFromComm()
{
    if (!m_tapi)
        return;
    // From the fourth ring on the serial form asks at every ring; once the telephony line
    // holds the call there is nothing left to take over.
    if (m_tapi->isLineOpen())
        return;

    int r = 0;
    for (int attempt = 1; attempt <= kTakeoverAttempts; ++attempt) {
        if (m_comm) {
            m_comm->commDisconnect();
            waitClosed([this]() { return m_comm->isPortOpen(); }, QStringLiteral("The serial port"),
                       QStringLiteral("ErretTapiFromComm"));
        }
        pauseTenths(5);
        r = m_tapi->lineOpen(Telephony::kPrivilegeTakeOver, Telephony::kMediaTakeOver);
        if (r == 0)
            break;
        journal(m_tapi->errorText(r), r, QStringLiteral("GetTapiFromComm:Tapi1.LineOpen"));
    }
    journal(m_tapi->errorText(r), r, QStringLiteral("GetTapiFromComm:Tapi1.LineOpen"));

    // A takeover that failed for good must not leave the line deaf: the serial port listens
    // again for the next call.
    if (r != 0 && m_comm)
        m_comm->commConnect(m_commPort, m_modemCommand);
}

// ---------------------------------------------------------------------------------------------
// Per-call options and information

void FrmLine::clearCallFlags()
{
    m_machineAnswer = false;
    m_dropOnConnect = false;
    m_noAutoAnswer = false;
    m_remoteCaller = false;
    m_answerRequested = false;
    m_answerPending = false;
    m_options.bHangUp = false;
    m_options.bDoNothing = false;
    m_options.bBeepAndWait = false;
}

void FrmLine::setDefaultCallOption()
{
    clearCallFlags();
    m_info.sDisplayName = m_main.texts().entry(1);
    m_options = CallDefaults::load(m_reg);

    RegistryRoutines reg(m_reg.store());
    reg.setSubkey(kTabAnswering);
    bool ok = false;
    const int hold = settingToInt(reg.getRegistryValue(kMaxHoldSetting), &ok);
    m_machine.setMaxHoldSeconds(ok && hold > 0 ? hold : AnsweringMachine::kDefaultMaxHoldSeconds);
}

void FrmLine::setCallInfo()
{
    const QDateTime now = m_main.controls().clock->now();
    if (!CallRecordFile::ensureDayFolder(m_main.home(), now.date()))
        journal(QStringLiteral("Cannot create the day folder ")
                    + CallRecordFile::dayFolder(now.date()),
                0, QStringLiteral("ErrSetCallInfo"));
    m_info = CallInfo();
    m_info.sTime = m_locale.longTime(now.time());
    m_info.sDate = m_locale.shortDate(now.date());
    m_info.sDisplayName = m_main.texts().entry(1);
    m_callDate = now.date();
}

void FrmLine::startCall()
{
    setDefaultCallOption();
    setCallInfo();
    m_callActive = true;
}

void FrmLine::announceCall()
{
    if (m_options.bEventsOnlyWithDesktop && !m_options.bDesktopRunning)
        return;
    if (m_options.bPlaySound_IC) {
        m_localPlay = kPlayIC;
        const QString path = m_main.home().soundDir() + '/' + m_options.sSoundFile;
        int r = -1;
        if (m_localWave && m_main.home().contains(path, QStringLiteral("Sound"))
            && !QFileInfo(path).isDir())
            r = m_localWave->playFile(path, m_main.soundDeviceIndex(), 8000);
        // A sound that did not start never reports its end; the spoken text follows at once.
        if (r != 0) {
            m_localPlay.clear();
            if (m_options.bSayCall)
                speakAnnouncement();
        }
    } else if (m_options.bSayCall) {
        speakAnnouncement();
    }
}

void FrmLine::speakAnnouncement()
{
    SpeechForm *speech = m_main.speechForm();
    if (!speech)
        return;
    speech->speakIt(m_expander.expandTemplate(m_options.sSayText, m_info),
                    m_main.soundDeviceIndex());
}

int FrmLine::requestAnswer()
{
    const int r = m_tapi ? m_tapi->lineAnswer() : -1;
    m_answerRequested = r == 0;
    // In serial caller-ID mode the modem driver only knows the call once its first ring after
    // the takeover came: an answer refused now is given at that ring.
    m_answerPending = r != 0;
    return r;
}

void FrmLine::answerWithMachine()
{
    m_machineAnswer = true;
    if (!m_tapi)
        return;
    const int r = requestAnswer();
    journal(QStringLiteral("Tapi.LineAnswer(") + QString::number(m_lineDevice)
            + QStringLiteral(")->") + m_tapi->errorText(r));
}

void FrmLine::stopRecMessage()
{
    m_machine.stopRecMessage();
}

void FrmLine::dropCall()
{
    m_machine.dropCall();
}

void FrmLine::writeCallRecord(const QString &errTag)
{
    if (!m_callActive)
        return;
    m_callActive = false;

    CallRecord record;
    record.setTime(m_info.sTime);
    record.setCallerName(m_info.sCallerName);
    record.setCallerNumber(m_info.sCallerNumber);
    record.setDate(m_info.sDate);
    record.setDuration(m_info.sDuration);
    record.setLine(lineIndexText());
    record.setReserved(QStringLiteral("0"));
    record.setResult(m_info.sDisplayName);
    record.setCallKind(QStringLiteral("0"));

    // The day folder is the call's start day, kept as a date: a call that ends after
    // midnight still belongs to the day it began.
    const QDate day = m_callDate.isValid() ? m_callDate : m_main.controls().clock->now().date();
    CallRecordFile file = CallRecordFile::forDay(m_main.home(), day);
    if (file.append(record) == 0)
        journal(file.errorString(), 0, errTag);
}

// ---------------------------------------------------------------------------------------------
// Telephony events

void FrmLine::onInComeCall()
{
    // A sound or speech of the last call is cut; its end is not this call's business.
    m_localPlay.clear();
    m_machine.stopLineAudio();
    if (m_localWave && m_localWave->isPlaying())
        m_localWave->stopPlay();

    if (!m_tapiCallerID) {
        if (m_comm)
            m_comm->stopIdleWatch();
        return;
    }

    m_inCall = true;
    journal(m_tapi->errorText(0), 0, QStringLiteral("Tapi_InComeCall(") + lineIndexText() + ')');
    startCall();
    if (!m_options.bWaitForCallerID)
        announceCall();
    send(m_udiOut.get(), ChannelNo::Events,
         { QStringLiteral("Tapi_Incomming"), lineIndexText(), kFalse });
}

void FrmLine::onCallerID(const QString &name, const QString &number)
{
    if (!m_tapiCallerID)
        return;
    ContactRecord contact;
    QString contactName;
    QString picture;
    if (findCaller(name, number, contact, contactName, picture)) {
        m_info.sContactName = contactName;
        m_machineAnswer = m_options.bAnswerMachine;
        if (m_machineAnswer)
            // The greeting's name, not its padded field: the result field holds 64 bytes.
            m_info.sDisplayName += QStringLiteral(" (") + contact.greeting() + ')';
        else
            m_noAutoAnswer = true;
        if (m_options.bHangUp) {
            m_info.sDisplayName += QStringLiteral(" (Hang Up)");
            m_machineAnswer = false;
            m_dropOnConnect = true;
            requestAnswer();
            return;
        }
        if (m_options.bDoNothing) {
            m_info.sDisplayName += QStringLiteral(" (Nothing)");
            m_machineAnswer = false;
            m_noAutoAnswer = true;
        }
    }

    send(m_udiCallerID.get(), ChannelNo::CallerId,
         callerIdFields(QStringLiteral("Tapi_CID"), name, number, contactName, picture));
    if (m_options.bWaitForCallerID)
        announceCall();
    journal(QStringLiteral("Tapi_CallerID:(Index:") + lineIndexText() + QStringLiteral("):") + name
            + ':' + number + QStringLiteral(",Contact(") + contactName + ')');
}

bool FrmLine::findCaller(const QString &name, const QString &number, ContactRecord &contact,
                         QString &contactName, QString &picture)
{
    m_inCall = true;
    m_info.sCallerName = name;
    m_info.sCallerNumber = number;
    const QString found = m_contacts->findContactByNumber(name, number, m_options, contact, m_reg);
    if (found == QLatin1String("-1"))
        return false;
    contactName = contact.name();
    picture = contact.picture();
    m_info.sDisplayName = contactName;
    m_info.nContactType = ContactRecord::toInt(contact.emergency()).value_or(0);
    return true;
}

QStringList FrmLine::callerIdFields(const QString &message, const QString &name,
                                    const QString &number, const QString &contactName,
                                    const QString &picture) const
{
    return { message, lineIndexText(), name, number, contactName, picture,
             ChannelMessage::boolText(m_options.bShowCall),
             QString::number(m_options.nCallDisplayStyle),
             ChannelMessage::boolText(m_options.bShowLineControl) };
}

void FrmLine::onRing(int count)
{
    send(m_udiOut.get(), ChannelNo::Events,
         { QStringLiteral("Tapi_Ring"), lineIndexText(), QString::number(count), kFalse });
    journal(QStringLiteral("Tapi_Ring(") + QString::number(m_lineDevice) + QStringLiteral("):")
            + QString::number(count));
    if (m_answerPending) {
        const int r = requestAnswer();
        journal(QStringLiteral("Tapi.LineAnswer(") + QString::number(m_lineDevice)
                + QStringLiteral(")->") + m_tapi->errorText(r));
        return;
    }
    if (m_noAutoAnswer || m_answerRequested)
        return;
    const int rings = m_tapiCallerID ? count : count + 2;
    if (m_options.bAnswerMachine && rings >= m_options.nRings)
        answerWithMachine();
}

void FrmLine::onConnected()
{
    journal(m_tapi->errorText(0), 0, QStringLiteral("Tapi_Conected(") + lineIndexText() + ')');
    send(m_udiOut.get(), ChannelNo::Events, { QStringLiteral("Tapi_Connected"), lineIndexText() });
    if (SpeechForm *speech = m_main.speechForm())
        speech->stopSpeak();
    // The line settles after the modem goes off-hook before audio is sent into it.
    pauseTenths(5);
    if (m_dropOnConnect) {
        m_tapi->lineDrop();
        return;
    }
    if (m_machineAnswer) {
        m_remoteMenu->callStarted(m_remoteCaller);
        // The owner known by caller ID needs the keypad too, even with code access off.
        m_machine.start(m_options.sGreetingFile, m_remote.allowRemoteAccess || m_remoteCaller);
    }
}

void FrmLine::onDisconnected()
{
    journal(m_tapi->errorText(0), 0, QStringLiteral("Tapi_Disconnected(") + lineIndexText() + ')');
    if (m_udiOut)
        m_udiOut->openChannel(ChannelNo::Events);
    stopRecMessage();
    dropCall();
}

void FrmLine::endCall(const QString &errTag)
{
    m_dialPending = false;
    m_machine.stopLineAudio();
    m_machine.reset();
    m_remoteMenu->reset();
    writeCallRecord(errTag);
}

void FrmLine::indexContacts()
{
    // Reading a block list of 100,000 numbers takes a good part of a second; do it while the
    // line is idle (at load, then every few seconds between calls, which costs one stat of
    // the file while it is unchanged), not between caller ID and the next ring. Any number
    // does: the look-up first brings the index up to date with the file.
    m_contacts->match(QStringLiteral("0"));
}

void FrmLine::onIdle()
{
    m_inCall = false;
    journal(m_tapi->errorText(0), 0, QStringLiteral("Tapi_Idle(") + lineIndexText() + ')');
    endCall(QStringLiteral("ErrTapi1_Idle"));
    const QStringList fields = { QStringLiteral("Tapi_Idle"), lineIndexText(), m_info.sCallKind };
    send(m_udiIdle.get(), ChannelNo::Idle, fields);
    send(m_udiOut.get(), ChannelNo::Events, fields);
    if (!m_tapiCallerID && m_comm) {
        QCoreApplication::processEvents();
        if (m_comm)
            m_comm->commCloseTapi();
    }
}

void FrmLine::onDialing()
{
    m_dialPending = false;
    send(m_udiOut.get(), ChannelNo::Events, { QStringLiteral("Tapi_Dialing"), lineIndexText() });
}

void FrmLine::onDeviceLost()
{
    journal(QStringLiteral("The modem is gone; the line is closed until it returns"), 0,
            QStringLiteral("LineOpen:DeviceLost"));
    m_deviceLost = true;
    // A call cut by the unplugging still gets its record and its end on the channels.
    if (m_callActive)
        onIdle();
    m_inCall = false;
    if (!m_tapiCallerID && m_comm)
        m_comm->commDisconnect();
    m_lineStatus = 1;
    m_lineOpen = false;
    sendLineStatus();
}

void FrmLine::onDeviceReturned()
{
    journal(QStringLiteral("The modem is back"), 0, QStringLiteral("LineOpen:DeviceReturned"));
    m_deviceLost = false;
    if (m_main.automaticMode)
        autoModeTick();
    else if (m_wantOpen)
        openLine();
    else
        closeLine(false); // switched off while it was away
}

void FrmLine::onLineError(int code)
{
    journal(m_tapi->errorText(code), code, QStringLiteral("Tapi1_LineError"));
    if (!m_dialPending)
        return;
    // The dial never started, so no call event will end it: end it here, or the schedule
    // would wait for it for ever and every later "CallOut" would be refused.
    m_dialPending = false;
    m_inCall = false;
    m_callActive = false;
    const QStringList fields = { QStringLiteral("Tapi_Idle"), lineIndexText(), m_info.sCallKind };
    send(m_udiIdle.get(), ChannelNo::Idle, fields);
    send(m_udiOut.get(), ChannelNo::Events, fields);
    if (!m_tapiCallerID && m_comm)
        m_comm->commCloseTapi();
}

// ---------------------------------------------------------------------------------------------
// Serial caller ID

void FrmLine::comm_InComeCall()
{
    m_inCall = true;
    journal(m_tapi ? m_tapi->errorText(0) : QString(), 0,
            QStringLiteral("Comm_InComeCall(") + lineIndexText() + ')');
    startCall();
    if (!m_options.bWaitForCallerID)
        announceCall();
    send(m_udiOut.get(), ChannelNo::Events,
         { QStringLiteral("Comm_Incomming"), lineIndexText(), kFalse });
}

void FrmLine::comm_CallerID(const QString &name, const QString &number)
{
    ContactRecord contact;
    QString contactName;
    QString picture;
    if (findCaller(name, number, contact, contactName, picture)) {
        m_machineAnswer = m_options.bAnswerMachine;
        if (!m_machineAnswer)
            m_noAutoAnswer = true;
        if (m_options.bHangUp) {
            m_machineAnswer = false;
            m_dropOnConnect = true;
            // The serial port holds the modem: the telephony line must take the call before
            // it can answer it, or the blocked caller just rings on.
            getTapiFromComm();
            requestAnswer();
            return;
        }
        if (m_options.bDoNothing) {
            m_machineAnswer = false;
            m_noAutoAnswer = true;
        }
    }

    if (m_remote.allowCallerIDAccess) {
        if (name == m_remote.accessName && number == m_remote.accessNumber)
            m_remoteCaller = true;
        return;
    }

    send(m_udiOut.get(), ChannelNo::Events,
         callerIdFields(QStringLiteral("Comm_CID"), name, number, contactName, picture));
    if (m_options.bWaitForCallerID)
        announceCall();
    journal(QStringLiteral("Comm_CallerID:(Port:") + QString::number(m_commPort)
            + QStringLiteral("):") + name + ':' + number + QStringLiteral(",Contact(") + contactName
            + ')');
    getTapiFromComm();
}

void FrmLine::comm_Idle()
{
    journal(QStringLiteral("Comm_Idle(") + QString::number(m_lineDevice) + ')');
    m_inCall = false;
    send(m_udiOut.get(), ChannelNo::Events, { QStringLiteral("Comm_Idle"), lineIndexText() });
    endCall(QStringLiteral("ErrComm_Idle"));
}

// ---------------------------------------------------------------------------------------------
// Wave events

void FrmLine::onLinePlayDone()
{
    // While the call is up, the owner's menu may own the line's playback (its own texts, or
    // the greeting's end when the owner is keying in); after a hang-up the machine drops.
    if (m_tapi && m_tapi->isCallConnected()) {
        if (m_remoteMenu->onPlayDone())
            return;
        if (m_machineAnswer && m_machine.linePlay() == AnsweringMachine::kPlayGreet
            && m_machine.nextStep() == AnsweringMachine::kStepMessage
            && m_remoteMenu->onGreetingDone())
            return;
    }
    m_machine.playDone(m_remoteCaller, m_machineAnswer, m_options.bBeepAndWait);
}

void FrmLine::onLocalPlayDone()
{
    if (m_skipPlayDone) {
        m_skipPlayDone = false;
        return;
    }
    if (m_localPlay == kPlayIC && m_options.bSayCall) {
        m_localPlay.clear();
        speakAnnouncement();
    }
}

// ---------------------------------------------------------------------------------------------
// Commands and schedule

void FrmLine::handleCommand(const QString &text)
{
    const LineCommand cmd = LineCommand::parse(text);
    using K = LineCommand::Kind;
    switch (cmd.kind) {
    case K::Unknown:
        return;
    case K::Malformed:
        journal(cmd.problem + QStringLiteral(": \"")
                    + ChannelMessage::split(text).join(' ').left(kJournalQuoteMax)
                    + QStringLiteral("\" ignored"),
                0, QStringLiteral("udiIn_TextArrived"));
        return;
    case K::On:
        m_tmrAutoMode.stop();
        m_main.automaticMode = false;
        openLine();
        return;
    case K::Off:
        m_tmrAutoMode.stop();
        m_main.automaticMode = false;
        closeLine(false);
        return;
    case K::Auto:
        m_main.timeOn = cmd.timeOn;
        m_main.timeOff = cmd.timeOff;
        m_main.automaticMode = true;
        m_badWindowJournalled.clear();
        m_autoOpenFailedAt = -1;
        m_tmrAutoMode.start();
        sendLineStatus();
        return;
    case K::AnswerMachine:
        answerWithMachine();
        m_info.sDisplayName = QStringLiteral("Manual  (") + m_options.sGreetingFile + ')';
        return;
    case K::DropTheCall:
        m_dropOnConnect = true;
        requestAnswer();
        m_info.sDisplayName = QStringLiteral("Manual (Hang Up)");
        return;
    case K::DoNothing:
        m_noAutoAnswer = true;
        m_info.sDisplayName = QStringLiteral("Manual (Nothing)");
        return;
    case K::CallOut:
        if (m_callActive) {
            // Dialling now would overwrite the call in progress and lose its record.
            journal(QStringLiteral("CallOut refused: a call is in progress"), 0,
                    QStringLiteral("udiIn_TextArrived"));
            return;
        }
        if (!m_tapiCallerID)
            getTapiFromComm();
        // Nothing of the last incoming call may answer, greet or drop the outgoing one.
        clearCallFlags();
        setCallInfo();
        m_info.sCallKind = QStringLiteral("1");
        m_info.sDisplayName = m_main.texts().entry(13);
        m_info.sCallerNumber = cmd.number;
        m_callActive = true;
        // An outgoing call holds the schedule like an incoming one.
        m_inCall = true;
        m_dialPending = true;
        if (m_tapi)
            m_tapi->lineMakeCall(cmd.number);
        return;
    case K::DropCall:
        dropCall();
        m_info.sDisplayName = QStringLiteral("Manual (Hang Up)");
        return;
    case K::Hello:
        sendLineStatus();
        return;
    case K::GetTTSProp:
        getTTSProp();
        return;
    }
}

void FrmLine::getTTSProp()
{
    if (SpeechForm *speech = m_main.speechForm())
        speech->loadSpeechSettings();
}

void FrmLine::getOptions()
{
    m_remote = RemoteAccessOptions::load(m_reg);
    m_expander.setKeys(m_remote.keys);
    getTTSProp();
}

void FrmLine::autoModeTick()
{
    if (m_inCall || m_deviceLost || !m_tapi)
        return;
    const AutoSchedule::Verdict verdict = AutoSchedule::windowTest(
        m_main.timeOn, m_main.timeOff, m_main.controls().clock->now().time(), m_locale);
    if (verdict == AutoSchedule::Verdict::Invalid) {
        const QString pair = m_main.timeOn + '\n' + m_main.timeOff;
        if (pair != m_badWindowJournalled) {
            m_badWindowJournalled = pair;
            journal(QStringLiteral("Automatic mode: \"") + m_main.timeOn
                        + QStringLiteral("\" to \"") + m_main.timeOff
                        + QStringLiteral("\" is not a time window; the line stays as it is"),
                    0, QStringLiteral("tmrAutoMode"));
        }
        return;
    }
    const bool open = m_tapiCallerID ? m_tapi->isLineOpen() : serialListening();
    if (verdict == AutoSchedule::Verdict::Inside && !open) {
        const qint64 now = m_main.controls().clock->monotonicMs();
        if (m_autoOpenFailedAt >= 0 && now - m_autoOpenFailedAt < kAutoRetryMs)
            return;
        openLine();
        m_autoOpenFailedAt = m_lineStatus == 0 ? -1 : now;
    } else if (verdict == AutoSchedule::Verdict::Outside && open) {
        m_autoOpenFailedAt = -1;
        closeLine(false);
    } else if (verdict == AutoSchedule::Verdict::Outside) {
        m_autoOpenFailedAt = -1;
    }
}

} // namespace quorvel
