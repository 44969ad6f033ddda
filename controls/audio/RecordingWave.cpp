#include "controls/audio/RecordingWave.h"

namespace quorvel {

RecordingWave::RecordingWave(QObject *parent)
    : Wave(parent)
    , m_outputs { QStringLiteral("file"), QStringLiteral("null") }
    , m_inputs { QStringLiteral("null") }
{
    m_finishTimer.setSingleShot(true);
    connect(&m_finishTimer, &QTimer::timeout, this, &RecordingWave::finishPlayback);
}

QStringList RecordingWave::playedPaths() const
{
    QStringList paths;
    for (const Call &call : m_calls) {
        if (call.operation == QLatin1String("playFile")
            || call.operation == QLatin1String("startPlayACM"))
            paths << call.path;
    }
    return paths;
}

void RecordingWave::failNext(int code, const QString &text)
{
    m_failCode = code;
    m_failText = text;
}

int RecordingWave::takeFailure()
{
    const int code = m_failCode;
    if (code != 0) {
        m_lastErrorCode = code;
        m_lastErrorText = m_failText;
    }
    m_failCode = 0;
    m_failText.clear();
    return code;
}

void RecordingWave::startPlaying()
{
    // Like the real layer, a new playback replaces the old one without a playDone.
    m_finishTimer.stop();
    m_playing = true;
    m_playClock.start();
    if (m_autoFinishMs >= 0)
        m_finishTimer.start(m_autoFinishMs);
}

void RecordingWave::finishPlayback()
{
    m_finishTimer.stop();
    if (!m_playing)
        return;
    m_playing = false;
    emit playDone();
}

void RecordingWave::shutdown()
{
    ++m_shutdownCount;
    stopPlay();
    m_recording = false;
}

int RecordingWave::playFile(const QString &path, int outputDevice, int rateHint)
{
    Call call;
    call.operation = QStringLiteral("playFile");
    call.path = path;
    call.device = outputDevice;
    call.rateHint = rateHint;
    m_calls << call;
    if (const int code = takeFailure())
        return code;
    startPlaying();
    return 0;
}

int RecordingWave::startPlayACM(const QString &path, const WaveFormat &format, int device,
                                int bufferSize)
{
    Call call;
    call.operation = QStringLiteral("startPlayACM");
    call.path = path;
    call.device = device;
    call.bufferSize = bufferSize;
    call.format = format;
    m_calls << call;
    if (const int code = takeFailure())
        return code;
    startPlaying();
    return 0;
}

void RecordingWave::stopPlay()
{
    Call call;
    call.operation = QStringLiteral("stopPlay");
    m_calls << call;
    m_finishTimer.stop();
    if (!m_playing)
        return;
    m_playing = false;
    emit playDone();
}

int RecordingWave::playPosition() const
{
    return m_playing ? int(m_playClock.elapsed()) : 0;
}

int RecordingWave::startRecord(int inputDevice, const QString &path, const WaveFormat &format)
{
    Call call;
    call.operation = QStringLiteral("startRecord");
    call.path = path;
    call.device = inputDevice;
    call.format = format;
    m_calls << call;
    if (const int code = takeFailure())
        return code;
    m_recording = true;
    return 0;
}

int RecordingWave::stopRecord()
{
    Call call;
    call.operation = QStringLiteral("stopRecord");
    m_calls << call;
    const bool was = m_recording;
    m_recording = false;
    return was ? 0 : 10;
}

QString RecordingWave::playErrorText(int code) const
{
    if (code == 0)
        return QStringLiteral("no error");
    if (code == m_lastErrorCode)
        return m_lastErrorText;
    return QStringLiteral("error %1").arg(code);
}

QString RecordingWave::recordErrorText(int code) const
{
    return playErrorText(code);
}

} // namespace quorvel
