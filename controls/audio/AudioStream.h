#pragma once

#include "controls/audio/AudioFile.h"

#include <QString>
#include <cstdint>
#include <vector>

typedef struct sf_private_tag SNDFILE;
typedef struct SRC_STATE_tag SRC_STATE;

namespace quorvel {

// Reads a sound file piece by piece and hands out 16-bit frames at a chosen rate and channel
// count. A playback thread pulls from it, so a long file never sits decoded in memory.
// Not thread-safe: one thread at a time (the opener, then the player).
class AudioStream {
public:
    AudioStream() = default;
    ~AudioStream();
    AudioStream(const AudioStream &) = delete;
    AudioStream &operator=(const AudioStream &) = delete;

    // `rate` 0 keeps the file's own rate; `channels` 0 keeps the file's own count (at most 2,
    // more are folded into two), 1 mixes all channels into one.
    AudioStatus open(const QString &path, int rate = 0, int channels = 0);
    void close();

    int sampleRate() const { return m_outRate; }
    int channels() const { return m_outChannels; }
    int sourceRate() const { return m_inRate; }
    int sourceChannels() const { return m_inChannels; }
    // Frames this stream will produce (from the file's header, scaled to the output rate).
    qint64 totalFrames() const;

    // Fills up to `maxFrames` interleaved frames; 0 at the end of the file.
    int read(int16_t *out, int maxFrames);
    bool atEnd() const { return m_finished && m_pendingPos >= m_pending.size(); }

private:
    bool refill();

    SNDFILE *m_file = nullptr;
    SRC_STATE *m_src = nullptr;
    int m_inRate = 0;
    int m_inChannels = 0;
    qint64 m_inFrames = 0;
    int m_outRate = 0;
    int m_outChannels = 0;
    bool m_fileDone = false;
    bool m_finished = false;
    std::vector<float> m_raw; // one read from the file, source channels
    std::vector<float> m_in; // mixed to output channels, not yet resampled
    std::vector<float> m_pending; // output samples not yet handed out
    size_t m_pendingPos = 0;
};

} // namespace quorvel
