#include "shared/modem/VoiceCodec.h"

#include <cstring>

namespace quorvel::VoiceCodec {

namespace {
constexpr int kMuBias = 0x84;
constexpr int kMuClip = 32635;

int segmentOf(int value, const int *ends, int count)
{
    for (int i = 0; i < count; ++i)
        if (value <= ends[i])
            return i;
    return count;
}
} // namespace

uint8_t linearToMuLaw(int16_t sample)
{
    int pcm = sample;
    const int sign = (pcm >> 8) & 0x80;
    if (sign)
        pcm = -pcm;
    if (pcm > kMuClip)
        pcm = kMuClip;
    pcm += kMuBias;
    int exponent = 7;
    for (int mask = 0x4000; (pcm & mask) == 0 && exponent > 0; mask >>= 1)
        --exponent;
    const int mantissa = (pcm >> (exponent + 3)) & 0x0F;
    return static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
}

int16_t muLawToLinear(uint8_t value)
{
    value = ~value;
    const int sign = value & 0x80;
    const int exponent = (value >> 4) & 0x07;
    const int mantissa = value & 0x0F;
    int sample = ((mantissa << 3) + kMuBias) << exponent;
    sample -= kMuBias;
    return static_cast<int16_t>(sign ? -sample : sample);
}

uint8_t linearToALaw(int16_t sample)
{
    static const int segEnds[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
    int pcm = sample >> 3;
    int mask;
    if (pcm >= 0) {
        mask = 0xD5;
    } else {
        mask = 0x55;
        pcm = -pcm - 1;
    }
    const int seg = segmentOf(pcm, segEnds, 8);
    if (seg >= 8)
        return static_cast<uint8_t>(0x7F ^ mask);
    int aval = seg << 4;
    aval |= seg < 2 ? (pcm >> 1) & 0x0F : (pcm >> seg) & 0x0F;
    return static_cast<uint8_t>(aval ^ mask);
}

int16_t aLawToLinear(uint8_t value)
{
    value ^= 0x55;
    int t = (value & 0x0F) << 4;
    const int seg = (value & 0x70) >> 4;
    switch (seg) {
    case 0:
        t += 8;
        break;
    case 1:
        t += 0x108;
        break;
    default:
        t += 0x108;
        t <<= seg - 1;
    }
    return static_cast<int16_t>((value & 0x80) ? t : -t);
}

int bytesPerSample(VoiceFormat format)
{
    return format == VoiceFormat::Linear16 ? 2 : 1;
}

QByteArray encode(const QByteArray &pcm16, VoiceFormat format)
{
    const qsizetype n = pcm16.size() / 2;
    const auto *in = reinterpret_cast<const int16_t *>(pcm16.constData());
    QByteArray out;
    out.resize(n * bytesPerSample(format));
    auto *o = reinterpret_cast<uint8_t *>(out.data());
    for (qsizetype i = 0; i < n; ++i) {
        int16_t s;
        std::memcpy(&s, in + i, sizeof s);
        switch (format) {
        case VoiceFormat::Linear16:
            o[2 * i] = static_cast<uint8_t>(s & 0xFF);
            o[2 * i + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
            break;
        case VoiceFormat::Linear8:
            o[i] = static_cast<uint8_t>((s >> 8) + 128);
            break;
        case VoiceFormat::MuLaw:
            o[i] = linearToMuLaw(s);
            break;
        case VoiceFormat::ALaw:
            o[i] = linearToALaw(s);
            break;
        }
    }
    return out;
}

QByteArray decode(const QByteArray &bytes, VoiceFormat format)
{
    const auto *in = reinterpret_cast<const uint8_t *>(bytes.constData());
    const qsizetype n = bytes.size() / bytesPerSample(format);
    QByteArray out;
    out.resize(n * 2);
    auto *o = reinterpret_cast<int16_t *>(out.data());
    for (qsizetype i = 0; i < n; ++i) {
        int16_t s = 0;
        switch (format) {
        case VoiceFormat::Linear16:
            s = static_cast<int16_t>(in[2 * i] | (in[2 * i + 1] << 8));
            break;
        case VoiceFormat::Linear8:
            s = static_cast<int16_t>((in[i] - 128) << 8);
            break;
        case VoiceFormat::MuLaw:
            s = muLawToLinear(in[i]);
            break;
        case VoiceFormat::ALaw:
            s = aLawToLinear(in[i]);
            break;
        }
        std::memcpy(o + i, &s, sizeof s);
    }
    return out;
}

QString name(VoiceFormat format)
{
    switch (format) {
    case VoiceFormat::Linear16:
        return QStringLiteral("16-bit linear");
    case VoiceFormat::Linear8:
        return QStringLiteral("8-bit linear");
    case VoiceFormat::MuLaw:
        return QStringLiteral("mu-law");
    case VoiceFormat::ALaw:
        return QStringLiteral("A-law");
    }
    return {};
}

} // namespace quorvel::VoiceCodec
