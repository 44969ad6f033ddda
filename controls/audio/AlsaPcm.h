#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

typedef struct _snd_pcm snd_pcm_t;

namespace quorvel {

// One ALSA PCM opened for 16-bit interleaved playback or capture, with ALSA's own rate and
// channel conversion allowed so that any card takes any file. Device lists come from ALSA's
// name hints, so the names are those `aplay -L` shows.
class AlsaPcm {
public:
    enum class Direction { Playback, Capture };

    AlsaPcm() = default;
    ~AlsaPcm();
    AlsaPcm(const AlsaPcm &) = delete;
    AlsaPcm &operator=(const AlsaPcm &) = delete;

    // Names of PCMs that can play (or capture), in ALSA's order, without ALSA's "null" sink
    // (the wave layer has a real-time one of its own under that name).
    static QStringList deviceNames(Direction direction);

    bool open(const QString &name, Direction direction, int rate, int channels, QString *error);
    void close();
    bool isOpen() const { return m_pcm != nullptr; }

    // Blocking write of `frames` interleaved frames; recovers from an underrun once.
    bool write(const int16_t *data, int frames, QString *error);
    // Blocking read of up to `frames`; returns frames read, -1 on failure.
    int read(int16_t *data, int frames, QString *error);
    // Frames written but not yet heard.
    long delayFrames() const;
    // Discards what is still queued.
    void drop();

    int rate() const { return m_rate; }
    int channels() const { return m_channels; }

private:
    snd_pcm_t *m_pcm = nullptr;
    int m_rate = 0;
    int m_channels = 0;
};

} // namespace quorvel
