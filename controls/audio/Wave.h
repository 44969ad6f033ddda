#pragma once

#include <QObject>
#include <QString>

namespace quorvel {

// The format the system plays into the line and records greetings in: PCM mono 8 kHz 16-bit.
struct WaveFormat
{
    int formatTag = 1;
    int channels = 1;
    int samplesPerSec = 8000;
    int avgBytesPerSec = 16000;
    int blockAlign = 2;
    int bitsPerSample = 16;
    int extraSize = 0;

    static WaveFormat line() { return {}; }
};

// Plays wave files on a local output device or into the telephone line, and records from a
// local input device. playDone is emitted on the owning thread when a playback ends by itself
// (later, from the event loop) or by stopPlay (before stopPlay returns). A playback that a new
// playFile/startPlayACM replaces ends silently: the caller that started the new one must not
// take the old one's playDone for its own.
class Wave : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Wave() override = default;

    virtual void initialize() = 0;
    virtual void shutdown() = 0;

    // Local output device by index (see outputDeviceName). `rateHint` is a playback rate in Hz
    // that the caller prefers, 0 for the file's own.
    virtual int playFile(const QString &path, int outputDevice, int rateHint = 0) = 0;
    // Plays `path` converted to `format` on `device`, which is either a local output index or a
    // line voice output id from Telephony::getDeviceID(2). `bufferSize` is a chunk size in bytes.
    virtual int startPlayACM(const QString &path, const WaveFormat &format, int device,
                             int bufferSize) = 0;
    virtual void stopPlay() = 0;
    virtual bool isPlaying() const = 0;
    // Milliseconds played of the current playback.
    virtual int playPosition() const = 0;

    virtual int startRecord(int inputDevice, const QString &path, const WaveFormat &format) = 0;
    virtual int stopRecord() = 0;
    virtual bool isRecording() const = 0;

    virtual QString playErrorText(int code) const = 0;
    virtual QString recordErrorText(int code) const = 0;

    virtual int outputDeviceCount() const = 0;
    virtual QString outputDeviceName(int index) const = 0;

    // Local input devices for startRecord, by index.
    virtual int inputDeviceCount() const { return 0; }
    virtual QString inputDeviceName(int index) const
    {
        Q_UNUSED(index);
        return {};
    }

signals:
    void playDone();
};

} // namespace quorvel
