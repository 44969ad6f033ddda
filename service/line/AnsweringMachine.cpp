#include "service/line/AnsweringMachine.h"

#include "controls/audio/Wave.h"
#include "controls/modem/Telephony.h"
#include "shared/journal/Journal.h"

#include <QFileInfo>

namespace quorvel {

namespace {
const QString kPlayTag = QStringLiteral("PlayToLine:Wave1.StartPlayACM");
// Chunk size for line playback: 50 ms of 8 kHz 16-bit audio, small enough that a hang-up
// cuts the greeting at once.
constexpr int kLineBufferBytes = 800;
} // namespace

AnsweringMachine::AnsweringMachine(Telephony *tapi, Wave *lineWave, const Journal &journal,
                                   DataHome home, QObject *parent)
    : QObject(parent)
    , m_tapi(tapi)
    , m_wave(lineWave)
    , m_journal(journal)
    , m_home(std::move(home))
{
    m_holdTimer.setSingleShot(true);
    m_holdTimer.setInterval(m_maxHoldSeconds * 1000);
    connect(&m_holdTimer, &QTimer::timeout, this, &AnsweringMachine::holdExpired);
}

void AnsweringMachine::setMaxHoldSeconds(int seconds)
{
    m_maxHoldSeconds = seconds > 0 ? seconds : kDefaultMaxHoldSeconds;
    m_holdTimer.setInterval(m_maxHoldSeconds * 1000);
}

QString AnsweringMachine::lineTag() const
{
    return QString::number(m_tapi ? m_tapi->lineIndex() : 0);
}

bool AnsweringMachine::start(const QString &greetingFile, bool monitorDigits)
{
    if (monitorDigits && m_tapi) {
        const int r = m_tapi->lineMonitorDigits(true);
        m_journal.journalWrite(m_tapi->errorText(r), r,
                               QStringLiteral("Tapi.LineMonitorDigits(") + lineTag() + ')');
    }

    const QString path = m_home.greetsDir() + '/' + greetingFile;
    int r = 0;
    if (!m_home.contains(path, QStringLiteral("Greets")) || QFileInfo(path).isDir()) {
        // A greeting name from the settings or a contact that leads out of Greets/ is not
        // played: the line would otherwise read any file the service can reach.
        m_journal.journalWrite(QStringLiteral("Greeting is not a file in Greets: ") + greetingFile,
                               0, QStringLiteral("ErrTapi1_Connected"));
        r = -1;
    } else {
        r = playToLine(path);
    }
    if (r != 0) {
        dropCall();
        return false;
    }
    emit greetingStarted();
    m_linePlay = kPlayGreet;
    m_nextStep = kStepMessage;
    return true;
}

int AnsweringMachine::playToLine(const QString &path)
{
    if (!m_wave || !m_tapi)
        return -1;
    const int device = m_tapi->getDeviceID(Telephony::kDeviceClassWaveOut);
    const int r = m_wave->startPlayACM(path, WaveFormat::line(), device, kLineBufferBytes);
    if (r != 0)
        m_journal.journalWrite(m_wave->playErrorText(r), r, kPlayTag);
    m_journal.journalWrite(m_wave->playErrorText(r), r, kPlayTag);
    return r;
}

void AnsweringMachine::playDone(bool remoteCaller, bool machineAnswer, bool beepAndWait)
{
    if (m_stopping)
        return;
    if (!m_tapi || !m_tapi->isCallConnected()) {
        dropCall();
        return;
    }
    if (remoteCaller) {
        // The owner stays on the line; the hold limit still guards a missed hang-up.
        if (m_nextStep == kStepMessage)
            hold();
        return;
    }
    if (!machineAnswer)
        return;
    if (m_nextStep == kStepMessage) {
        if (!beepAndWait) {
            dropCall();
            return;
        }
        if (QFileInfo::exists(m_home.beepFile())) {
            playToLine(m_home.beepFile());
            m_nextStep = kStepBeep;
        }
        hold();
    }
}

void AnsweringMachine::stopRecMessage()
{
    if (!m_wave)
        return;
    const int r = m_wave->stopRecord();
    m_journal.journalWrite(m_wave->recordErrorText(r), r,
                           QStringLiteral("StopRecMessage:Wave1.StopRecord"));
}

void AnsweringMachine::stopLineAudio()
{
    if (!m_wave)
        return;
    m_stopping = true;
    if (m_wave->isRecording())
        m_wave->stopRecord();
    if (m_wave->isPlaying())
        m_wave->stopPlay();
    m_stopping = false;
}

void AnsweringMachine::dropCall()
{
    m_holdTimer.stop();
    stopLineAudio();
    if (!m_tapi)
        return;
    const int r = m_tapi->lineDrop();
    m_journal.journalWrite(m_tapi->errorText(r), r,
                           QStringLiteral("Tapi.LineDrop(") + lineTag() + ')');
}

void AnsweringMachine::reset()
{
    m_holdTimer.stop();
    m_linePlay.clear();
    m_nextStep.clear();
}

void AnsweringMachine::hold()
{
    m_holdTimer.start();
}

void AnsweringMachine::holdExpired()
{
    // The line went idle meanwhile (reset stops the timer), so the call is still up: the
    // modem missed the caller's hang-up, or the caller never hung up.
    m_journal.journalWrite(QStringLiteral("Line held ") + QString::number(m_maxHoldSeconds)
                               + QStringLiteral(" seconds without a hang-up; dropping the call"),
                           0, QStringLiteral("AnsweringMachine:MaxHold"));
    dropCall();
}

} // namespace quorvel
