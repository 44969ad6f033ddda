#pragma once

#include "controls/audio/Wave.h"

#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <QTimer>

namespace quorvel {

// A Wave for tests of the code above the wave layer: it plays nothing, remembers every call,
// and ends a playback when the test says so (finishPlayback) or after a set time.
class RecordingWave : public Wave {
    Q_OBJECT
public:
    struct Call {
        QString operation; // "playFile", "startPlayACM", "stopPlay", "startRecord", "stopRecord"
        QString path;
        int device = -1;
        int rateHint = 0;
        int bufferSize = 0;
        WaveFormat format;
    };

    explicit RecordingWave(QObject *parent = nullptr);

    QList<Call> calls() const { return m_calls; }
    // Paths of every playFile/startPlayACM, in order.
    QStringList playedPaths() const;
    void clearCalls() { m_calls.clear(); }

    void setOutputDevices(const QStringList &names) { m_outputs = names; }
    void setInputDevices(const QStringList &names) { m_inputs = names; }
    // -1 (the default): a playback lasts until finishPlayback(); otherwise it ends by itself
    // this many milliseconds after it started.
    void setAutoFinishMs(int ms) { m_autoFinishMs = ms; }
    // The next play or record call fails with this code and text.
    void failNext(int code, const QString &text);
    // Ends the current playback as if it had played to its end: playDone follows.
    void finishPlayback();

    int initializeCount() const { return m_initializeCount; }
    int shutdownCount() const { return m_shutdownCount; }

    void initialize() override { ++m_initializeCount; }
    void shutdown() override;
    int playFile(const QString &path, int outputDevice, int rateHint = 0) override;
    int startPlayACM(const QString &path, const WaveFormat &format, int device,
                     int bufferSize) override;
    void stopPlay() override;
    bool isPlaying() const override { return m_playing; }
    int playPosition() const override;
    int startRecord(int inputDevice, const QString &path, const WaveFormat &format) override;
    int stopRecord() override;
    bool isRecording() const override { return m_recording; }
    QString playErrorText(int code) const override;
    QString recordErrorText(int code) const override;
    int outputDeviceCount() const override { return int(m_outputs.size()); }
    QString outputDeviceName(int index) const override { return m_outputs.value(index); }
    int inputDeviceCount() const override { return int(m_inputs.size()); }
    QString inputDeviceName(int index) const override { return m_inputs.value(index); }

private:
    int takeFailure();
    void startPlaying();

    QList<Call> m_calls;
    QStringList m_outputs;
    QStringList m_inputs;
    int m_autoFinishMs = -1;
    int m_failCode = 0;
    QString m_failText;
    int m_lastErrorCode = 0;
    QString m_lastErrorText;
    bool m_playing = false;
    bool m_recording = false;
    QElapsedTimer m_playClock;
    QTimer m_finishTimer;
    int m_initializeCount = 0;
    int m_shutdownCount = 0;
};

} // namespace quorvel
