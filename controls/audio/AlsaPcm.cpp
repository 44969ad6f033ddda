#include "controls/audio/AlsaPcm.h"

#include <alsa/asoundlib.h>
#include <cstdarg>
#include <mutex>

namespace quorvel {

namespace {

// ALSA prints its configuration complaints (no card 0 on a headless box, and so on) straight to
// stderr; the wave layer reports failures itself, so those lines are only noise in the logs.
void quietAlsa(const char *, int, const char *, int, const char *, ...) { }

void silenceAlsaOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(quietAlsa); });
}

QString alsaText(int code)
{
    return QString::fromLocal8Bit(snd_strerror(code));
}

} // namespace

AlsaPcm::~AlsaPcm()
{
    close();
}

QStringList AlsaPcm::deviceNames(Direction direction)
{
    silenceAlsaOnce();
    QStringList names;
    void **hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints)
        return names;
    const char *wanted = direction == Direction::Playback ? "Output" : "Input";
    for (void **hint = hints; *hint; ++hint) {
        char *name = snd_device_name_get_hint(*hint, "NAME");
        char *ioid = snd_device_name_get_hint(*hint, "IOID");
        // No IOID means the PCM works both ways.
        const bool usable = !ioid || qstrcmp(ioid, wanted) == 0;
        if (name && usable) {
            const QString text = QString::fromLocal8Bit(name);
            if (text != QLatin1String("null") && !names.contains(text))
                names << text;
        }
        free(name);
        free(ioid);
    }
    snd_device_name_free_hint(hints);
    return names;
}

bool AlsaPcm::open(const QString &name, Direction direction, int rate, int channels, QString *error)
{
    silenceAlsaOnce();
    close();
    const snd_pcm_stream_t stream
        = direction == Direction::Playback ? SND_PCM_STREAM_PLAYBACK : SND_PCM_STREAM_CAPTURE;
    int rc = snd_pcm_open(&m_pcm, name.toLocal8Bit().constData(), stream, 0);
    if (rc < 0) {
        m_pcm = nullptr;
        *error = QString("cannot open sound device %1: %2").arg(name, alsaText(rc));
        return false;
    }
    // 100 ms of buffering: short enough that a stop is heard at once, long enough that a busy
    // machine does not starve the card.
    rc = snd_pcm_set_params(m_pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                            unsigned(channels), unsigned(rate), 1, 100000);
    if (rc < 0) {
        *error = QString("sound device %1 refuses %2 Hz %3 channel(s): %4")
                     .arg(name)
                     .arg(rate)
                     .arg(channels)
                     .arg(alsaText(rc));
        close();
        return false;
    }
    m_rate = rate;
    m_channels = channels;
    return true;
}

void AlsaPcm::close()
{
    if (m_pcm)
        snd_pcm_close(m_pcm);
    m_pcm = nullptr;
}

bool AlsaPcm::write(const int16_t *data, int frames, QString *error)
{
    while (frames > 0) {
        snd_pcm_sframes_t n = snd_pcm_writei(m_pcm, data, snd_pcm_uframes_t(frames));
        if (n == -EAGAIN)
            continue;
        if (n < 0) {
            n = snd_pcm_recover(m_pcm, int(n), 1);
            if (n < 0) {
                *error = "sound device write failed: " + alsaText(int(n));
                return false;
            }
            continue;
        }
        data += n * m_channels;
        frames -= int(n);
    }
    return true;
}

int AlsaPcm::read(int16_t *data, int frames, QString *error)
{
    for (;;) {
        snd_pcm_sframes_t n = snd_pcm_readi(m_pcm, data, snd_pcm_uframes_t(frames));
        if (n >= 0)
            return int(n);
        if (n == -EAGAIN)
            continue;
        n = snd_pcm_recover(m_pcm, int(n), 1);
        if (n < 0) {
            *error = "sound device read failed: " + alsaText(int(n));
            return -1;
        }
    }
}

long AlsaPcm::delayFrames() const
{
    snd_pcm_sframes_t delay = 0;
    if (!m_pcm || snd_pcm_delay(m_pcm, &delay) < 0 || delay < 0)
        return 0;
    return long(delay);
}

void AlsaPcm::drop()
{
    if (m_pcm)
        snd_pcm_drop(m_pcm);
}

} // namespace quorvel
