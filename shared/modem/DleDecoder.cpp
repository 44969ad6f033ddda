#include "shared/modem/DleDecoder.h"

namespace quorvel {

namespace Dle {

bool isHangupEvent(char event)
{
    return event == 'b' || event == 'd' || event == 's' || event == 'q' || event == 'l';
}

bool isDtmfDigit(char event)
{
    return (event >= '0' && event <= '9') || event == '*' || event == '#'
        || (event >= 'A' && event <= 'D');
}

QByteArray escape(QByteArrayView audio)
{
    QByteArray out;
    out.reserve(audio.size() + audio.size() / 64 + 8);
    for (const char c : audio) {
        out.append(c);
        if (c == kDle)
            out.append(kDle);
    }
    return out;
}

} // namespace Dle

QList<DleDecoder::Item> DleDecoder::feed(QByteArrayView bytes)
{
    QList<Item> out;
    auto appendData = [&out](char c) {
        if (out.isEmpty() || out.last().event != 0)
            out.append(Item {});
        out.last().data.append(c);
    };
    for (const char c : bytes) {
        if (m_pendingDle) {
            m_pendingDle = false;
            if (c == Dle::kDle)
                appendData(c);
            else
                out.append(Item { c, {} });
            continue;
        }
        if (c == Dle::kDle)
            m_pendingDle = true;
        else
            appendData(c);
    }
    return out;
}

} // namespace quorvel
