#pragma once

#include <QString>
#include <QStringList>

namespace quorvel {

// A channel message is one string of fields joined by CR LF; field 0 is the name.
namespace ChannelMessage {

inline QString join(const QStringList &fields)
{
    return fields.join(QStringLiteral("\r\n"));
}

inline QStringList split(const QString &text)
{
    return text.split(QStringLiteral("\r\n"));
}

// The longest message a channel carries, counted in UTF-8 bytes. Messages are a few fields of
// names and numbers; anything near this size is a fault of the sender, not a message.
constexpr qsizetype MaxBytes = 64 * 1024;

inline bool fits(const QString &text)
{
    // Every UTF-16 unit becomes at most 3 UTF-8 bytes, so short texts need no conversion.
    if (text.size() * 3 <= MaxBytes)
        return true;
    return text.toUtf8().size() <= MaxBytes;
}

inline QString boolText(bool b)
{
    return b ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace ChannelMessage

// The six channel numbers.
namespace ChannelNo {
constexpr int Proc = 405;      // desktop -> service: control
constexpr int Tts = 406;       // desktop -> service: speech requests
constexpr int Events = 407;    // service -> desktop: line and call events
constexpr int Commands = 408;  // desktop -> service: line and call commands
constexpr int CallerId = 409;  // service -> desktop: "Tapi_CID"
constexpr int Idle = 410;      // service -> desktop: "Tapi_Idle"
} // namespace ChannelNo

} // namespace quorvel
