#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace quorvel {

// How a message travels on a channel socket: a 4-byte big-endian length, then that many bytes
// of UTF-8. The length lets a receiver refuse an oversized message before reading it and tell a
// whole message from one cut off by a dying peer.
namespace ChannelFrame {

constexpr qsizetype HeaderBytes = 4;

// The frame of `text`; nothing when its UTF-8 is longer than ChannelMessage::MaxBytes.
std::optional<QByteArray> encode(const QString &text);

} // namespace ChannelFrame
} // namespace quorvel
