#include "tools/quorvel-modemsim/VoiceDataReceiver.h"

namespace quorvel::modemsim {

VoiceDataReceiver::Chunk VoiceDataReceiver::feed(const char *data, qsizetype size)
{
    Chunk chunk;
    chunk.audio.reserve(size);
    qsizetype i = 0;
    while (i < size) {
        const char c = data[i++];
        if (!m_pendingDle) {
            if (c == kDle)
                m_pendingDle = true;
            else
                chunk.audio.append(c);
            continue;
        }
        m_pendingDle = false;
        if (c == kDle) {
            chunk.audio.append(kDle);
        } else if (c == kEtx) {
            chunk.end = End::Finish;
            break;
        } else if (c == kDc4) {
            chunk.end = End::Abort;
            break;
        } else {
            chunk.controls.append(c);
        }
    }
    chunk.consumed = i;
    return chunk;
}

} // namespace quorvel::modemsim
