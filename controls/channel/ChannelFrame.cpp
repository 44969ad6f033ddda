#include "controls/channel/ChannelFrame.h"

#include "shared/channel/ChannelMessage.h"

namespace quorvel::ChannelFrame {

std::optional<QByteArray> encode(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() > ChannelMessage::MaxBytes)
        return std::nullopt;
    const auto n = static_cast<quint32>(utf8.size());
    QByteArray frame;
    frame.reserve(HeaderBytes + utf8.size());
    frame.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    frame.append(utf8);
    return frame;
}

} // namespace quorvel::ChannelFrame
