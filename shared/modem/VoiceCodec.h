#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace quorvel {

// Sample formats voice modems take at 8 kHz, and conversion from/to 16-bit linear PCM.
enum class VoiceFormat {
    Linear16, // signed 16-bit little endian
    Linear8,  // unsigned 8-bit (0x80 = silence)
    MuLaw,    // G.711 mu-law
    ALaw,     // G.711 A-law
};

namespace VoiceCodec {

int bytesPerSample(VoiceFormat format);
// pcm16: native-endian signed 16-bit samples.
QByteArray encode(const QByteArray &pcm16, VoiceFormat format);
QByteArray decode(const QByteArray &bytes, VoiceFormat format);

uint8_t linearToMuLaw(int16_t sample);
int16_t muLawToLinear(uint8_t value);
uint8_t linearToALaw(int16_t sample);
int16_t aLawToLinear(uint8_t value);

QString name(VoiceFormat format);

} // namespace VoiceCodec
} // namespace quorvel
