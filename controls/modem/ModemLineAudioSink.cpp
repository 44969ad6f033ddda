#include "controls/modem/ModemLineAudioSink.h"

#include "controls/modem/VoiceModemTelephony.h"

namespace quorvel {

ModemLineAudioSink::ModemLineAudioSink(VoiceModemTelephony *modem, int deviceIndex, QObject *parent)
    : LineAudioSink(parent)
    , m_modem(modem)
    , m_deviceIndex(deviceIndex)
{
}

bool ModemLineAudioSink::lineStartPlayback()
{
    return m_modem->playbackStart(m_deviceIndex);
}

bool ModemLineAudioSink::lineWriteSamples(const QByteArray &pcm16)
{
    return m_modem->playbackWrite(m_deviceIndex, pcm16);
}

void ModemLineAudioSink::lineEndPlayback()
{
    m_modem->playbackEnd(m_deviceIndex);
}

void ModemLineAudioSink::lineStopPlayback()
{
    m_modem->playbackStop(m_deviceIndex);
}

bool ModemLineAudioSink::lineIsPlaying() const
{
    return m_modem->playbackActive(m_deviceIndex);
}

int ModemLineAudioSink::linePlayedMs() const
{
    return m_modem->playbackPlayedMs(m_deviceIndex);
}

} // namespace quorvel
