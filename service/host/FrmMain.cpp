#include "service/host/FrmMain.h"

#include "controls/audio/Wave.h"
#include "controls/modem/Telephony.h"
#include "service/host/LineForm.h"
#include "shared/channel/Channel.h"
#include "shared/channel/ChannelMessage.h"

namespace quorvel {

namespace {
const QString kTabGeneral = QStringLiteral("Properties\\TabGeneral");
const QString kTabDevices = QStringLiteral("Properties\\TabDevices");
const QString kTabLineStat = QStringLiteral("Properties\\TabLineStat");
} // namespace

int soundDeviceIndexFromName(const Wave &wave, const QString &name)
{
    int index = 0;
    const int count = wave.outputDeviceCount();
    for (int i = 0; i < count; ++i) {
        if (wave.outputDeviceName(i) == name)
            index = i;
    }
    return index;
}

FrmMain::FrmMain(ServiceControls controls, QObject *parent)
    : QObject(parent)
    , m_controls(std::move(controls))
    , m_reg(m_controls.home.settingsFile())
    , m_journal(m_controls.home, *m_controls.clock)
{
}

FrmMain::~FrmMain()
{
    if (m_loaded)
        unload();
}

bool FrmMain::isFormLoaded(const QString &name) const
{
    if (name == QLatin1String("frmMain"))
        return m_loaded;
    if (name == QLatin1String("frmLine"))
        return m_lineForm != nullptr;
    if (name == QLatin1String("frmTTS"))
        return m_speechForm != nullptr;
    if (name == QLatin1String("frmCommControl"))
        return m_serialFormLoaded;
    return false;
}

void FrmMain::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    // Read before anything writes: the first write replaces a damaged file (keeping a copy),
    // and what it could not read must still reach the journal once the journal is on.
    const QStringList settingsProblems = m_reg.lastReadProblems();

    // 1. Control and speech channels; a channel that cannot be opened just stays silent.
    if (m_controls.channels) {
        m_udiProc = m_controls.channels->create(this);
        m_uDiTTS = m_controls.channels->create(this);
        connect(m_udiProc.get(), &Channel::textArrived, this, &FrmMain::onProcMessage);
        connect(m_uDiTTS.get(), &Channel::textArrived, this, &FrmMain::onTtsMessage);
        m_udiProc->openChannel(ChannelNo::Proc);
        m_uDiTTS->openChannel(ChannelNo::Tts);
    }

    // 2. The speech form fills the voice list.
    if (m_controls.makeSpeechForm)
        m_speechForm = m_controls.makeSpeechForm(*this);

    // 4./5. Language: the service uses entries 1 and 13. A name that leads out of Trans/ is
    // not loaded.
    m_reg.setSubkey(QStringLiteral("Language"));
    const QString language = m_reg.getRegistryValue(QStringLiteral("Select"), QString());
    const QString languagePath = home().transDir() + '/' + language;
    if (!language.isEmpty() && home().contains(languagePath, QStringLiteral("Trans")))
        m_texts.loadServiceTexts(languagePath);
    else
        m_texts.loadServiceTexts(QString());

    // 7./8. Journal switches, then the first line.
    m_journal.loadSwitches(m_reg);
    m_journal.journalWrite(QStringLiteral("Opening ") + kTitle + QStringLiteral(" Process"));
    for (const QString &problem : settingsProblems)
        m_journal.journalWrite(problem, 0, QStringLiteral("ErrSettings"));

    // 9. Web-access parameters.
    m_reg.setSubkey(QStringLiteral("RemoteAccess\\TabInternetAccess"));
    web.allowed = settingToBool(m_reg.getRegistryValue(QStringLiteral("chkAllowWWWRemoteAccess")));
    web.port = m_reg.getRegistryValue(QStringLiteral("txtWWWPort"), QString());
    web.protect = settingToBool(m_reg.getRegistryValue(QStringLiteral("chkWWWProtect")));
    web.userName = m_reg.getRegistryValue(QStringLiteral("txtWWWUserName"), QString());
    web.password = m_reg.getRegistryValue(QStringLiteral("txtWWWPass"), QString());

    // 10. Telephony. Without it the service keeps its channels and nothing else.
    Telephony *tapi = m_controls.telephony;
    if (!tapi) {
        m_journal.journalWrite(QStringLiteral("Can't Init Tapi->no telephony layer"));
        return;
    }
    const int init = tapi->initialize();
    if (init != 0) {
        m_journal.journalWrite(QStringLiteral("Can't Init Tapi->") + tapi->errorText(init));
        return;
    }
    m_journal.journalWrite(QStringLiteral("Init Tapi->") + tapi->errorText(init));

    // 11. Automatic-mode times.
    m_reg.setSubkey(kTabLineStat);
    timeOn = m_reg.getRegistryValue(QStringLiteral("txtTimeOn"), QString());
    timeOff = m_reg.getRegistryValue(QStringLiteral("txtTimeOff"), QString());

    // 12. The line form.
    if (m_controls.makeLineForm)
        m_lineForm = m_controls.makeLineForm(*this);

    // 13. Line state at start.
    const auto lineStat = m_reg.getRegistryValue(QStringLiteral("cmbLineStat"));
    if (lineStat && m_lineForm) {
        if (*lineStat == QLatin1String("0")) {
            lineOff = false;
            m_lineForm->openLine();
        } else if (*lineStat == QLatin1String("1")) {
            lineOff = true;
        } else if (*lineStat == QLatin1String("2")) {
            automaticMode = true;
            m_lineForm->openLine();
        }
    } else if (lineStat && *lineStat == QLatin1String("1")) {
        lineOff = true;
    } else if (lineStat && *lineStat == QLatin1String("2")) {
        automaticMode = true;
    }

    // 14. Sound device.
    readSoundDevice(true);
}

void FrmMain::readSoundDevice(bool replaceZero)
{
    Wave *wave = m_controls.localWave;
    m_reg.setSubkey(kTabDevices);
    QString name = m_reg.getRegistryValue(QStringLiteral("cmbSoundDev"), QString());
    if (!wave) {
        m_soundDevice = 0;
        return;
    }
    if (replaceZero && name == QLatin1String("0") && wave->outputDeviceCount() > 0) {
        name = wave->outputDeviceName(0);
        m_reg.setRegistryValue(QStringLiteral("cmbSoundDev"), name);
    }
    m_soundDevice = soundDeviceIndexFromName(*wave, name);
}

void FrmMain::unload()
{
    if (!m_loaded)
        return;
    // The line form closes the line as it goes.
    m_lineForm.reset();
    m_speechForm.reset();
    m_serialFormLoaded = false;
    m_udiProc.reset();
    m_uDiTTS.reset();
    m_loaded = false;
    emit unloaded();
}

void FrmMain::onProcMessage(const QString &text)
{
    // The channel that carried the message is torn down by the unload: leave its signal first.
    if (text == QLatin1String("UNLOAD"))
        QMetaObject::invokeMethod(this, &FrmMain::unload, Qt::QueuedConnection);
    else if (text == QLatin1String("GETSOUNDINDEX"))
        readSoundDevice(false);
}

void FrmMain::onTtsMessage(const QString &text)
{
    if (m_speechForm)
        m_speechForm->handleRequest(text);
}


} // namespace quorvel
