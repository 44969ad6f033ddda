#pragma once

#include "controls/audio/LineAudio.h"

namespace quorvel {

class VoiceModemTelephony;

// The voice output of one modem line: what the wave layer plays into the telephone line goes
// through here to the modem driver, which owns the transmission.
class ModemLineAudioSink final : public LineAudioSink {
    Q_OBJECT
public:
    ModemLineAudioSink(VoiceModemTelephony *modem, int deviceIndex, QObject *parent = nullptr);

    bool lineStartPlayback() override;
    bool lineWriteSamples(const QByteArray &pcm16) override;
    void lineEndPlayback() override;
    void lineStopPlayback() override;
    bool lineIsPlaying() const override;
    int linePlayedMs() const override;

    int deviceIndex() const { return m_deviceIndex; }
    void setDeviceIndex(int index) { m_deviceIndex = index; }
    // Called by the driver when the playback ended (played out, stopped, or the call went).
    void notifyFinished() { emit playbackFinished(); }

private:
    VoiceModemTelephony *m_modem;
    int m_deviceIndex;
};

} // namespace quorvel
