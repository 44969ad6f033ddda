#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QPointer>

namespace quorvel {

// Where the wave layer sends audio that goes into the telephone line: the modem driver
// registers one sink per line under the id that Telephony::getDeviceID(2) reports.
class LineAudioSink : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~LineAudioSink() override = default;
    // Starts a playback into the line; audio is 8 kHz mono 16-bit signed samples, native order.
    // The sink converts to the modem's own sample format and paces it, and emits
    // playbackFinished when all audio went out or the playback was stopped.
    virtual bool lineStartPlayback() = 0;
    // Appends samples; returns false when the line cannot take audio (no call, voice mode off).
    virtual bool lineWriteSamples(const QByteArray &pcm16) = 0;
    // No more samples follow: the sink sends what it holds and ends the transmission.
    virtual void lineEndPlayback() = 0;
    // Cuts the playback at once.
    virtual void lineStopPlayback() = 0;
    // True while samples are still queued or being transmitted.
    virtual bool lineIsPlaying() const = 0;
    // Milliseconds of audio already sent into the line in this playback.
    virtual int linePlayedMs() const = 0;

signals:
    void playbackFinished();
};

// A table of line sinks by voice output id, shared by the modem driver and the wave layer.
// Ids start at 1000 so they never collide with local device indexes.
class LineAudioRegistry
{
public:
    static constexpr int kFirstId = 1000;

    int add(LineAudioSink *sink)
    {
        const int id = kFirstId + m_next++;
        m_sinks.insert(id, sink);
        return id;
    }
    void remove(int id) { m_sinks.remove(id); }
    LineAudioSink *find(int id) const { return m_sinks.value(id, nullptr); }

private:
    QMap<int, LineAudioSink *> m_sinks;
    int m_next = 0;
};

} // namespace quorvel
