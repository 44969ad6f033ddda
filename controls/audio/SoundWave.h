#pragma once

#include "controls/audio/LineAudio.h"
#include "controls/audio/SoundDevice.h"
#include "controls/audio/Wave.h"

#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <memory>

namespace quorvel {

// The wave layer on Linux: local playback and recording through ALSA (plus the "null" and
// "file" devices of SoundDevice), and playback into the telephone line through the
// LineAudioSink that the modem driver registered for a voice output id.
//
// Local playback runs on a worker thread that streams the file (decoded by libsndfile, converted
// by libsamplerate when a rate is asked for) to the device; playDone comes back on the owning
// thread. Line playback converts the whole file to 8 kHz mono 16-bit first and hands it to the
// sink, which paces it into the modem; playDone follows the sink's playbackFinished.
class SoundWave : public Wave {
    Q_OBJECT
public:
    enum Error {
        NoError = 0,
        FileNotFound = 1,
        NotSoundFile = 2,
        NoSuchOutputDevice = 3,
        DeviceFailed = 4,
        UnsupportedFormat = 5,
        LineNotReady = 6,
        FileTooLong = 7,
        CannotWriteFile = 8,
        AlreadyRecording = 9,
        NotRecording = 10,
        NoSuchInputDevice = 11,
    };

    // Uses the machine's devices (SoundDevice::systemOutputs/systemInputs); initialize()
    // looks for them again, so a headset plugged in later shows up at the next window load.
    explicit SoundWave(LineAudioRegistry *lines, QObject *parent = nullptr);
    // Uses exactly these devices.
    SoundWave(LineAudioRegistry *lines, QList<SoundDevice> outputs, QList<SoundDevice> inputs,
              QObject *parent = nullptr);
    ~SoundWave() override;

    void initialize() override;
    void shutdown() override;

    int playFile(const QString &path, int outputDevice, int rateHint = 0) override;
    int startPlayACM(const QString &path, const WaveFormat &format, int device,
                     int bufferSize) override;
    void stopPlay() override;
    bool isPlaying() const override;
    int playPosition() const override;

    int startRecord(int inputDevice, const QString &path, const WaveFormat &format) override;
    int stopRecord() override;
    bool isRecording() const override;

    QString playErrorText(int code) const override;
    QString recordErrorText(int code) const override;

    int outputDeviceCount() const override;
    QString outputDeviceName(int index) const override;
    int inputDeviceCount() const override;
    QString inputDeviceName(int index) const override;

    // The file the "file" device wrote for the latest local playback (empty before any).
    QString lastDeviceFile() const { return m_lastDeviceFile; }

private:
    struct LocalPlayback;
    struct Recording;
    enum class Active { None, Local, Line };

    int fail(Error code, const QString &text);
    int failRecord(Error code, const QString &text);
    int playLocal(const QString &path, int device, int rate, int channels);
    int playLine(const QString &path, int device, int bufferSize);
    // Ends the current playback without a playDone.
    void cutCurrent();
    void localEnded(quint64 generation);
    void lineEnded(quint64 generation);
    void recordingEnded(quint64 generation);
    void finishRecording();

    LineAudioRegistry *m_lines;
    bool m_systemDevices;
    QList<SoundDevice> m_outputs;
    QList<SoundDevice> m_inputs;

    Active m_active = Active::None;
    quint64 m_generation = 0;
    std::unique_ptr<LocalPlayback> m_local;
    QPointer<LineAudioSink> m_lineSink;
    QList<QMetaObject::Connection> m_lineConnections;

    std::unique_ptr<Recording> m_recording;
    quint64 m_recordGeneration = 0;
    bool m_recordEndUnreported = false;

    int m_playErrorCode = NoError;
    QString m_playErrorText;
    int m_recordErrorCode = NoError;
    QString m_recordErrorText;
    QString m_lastDeviceFile;
};

} // namespace quorvel
