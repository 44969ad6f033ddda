#pragma once

#include <QByteArray>
#include <QList>

namespace quorvel::modemsim {

// Unshields the voice data a host sends after AT+VTX: a doubled DLE is one data byte 0x10, DLE
// ETX ends the data, DLE DC4 ends it at once, DLE CAN clears what is queued for the line, and
// the other DLE codes (volume, pause) are passed up as controls. A DLE at the end of one read
// pairs with the first byte of the next. Pure.
class VoiceDataReceiver {
public:
    static constexpr char kDle = 0x10;
    static constexpr char kEtx = 0x03;
    static constexpr char kCan = 0x18;
    static constexpr char kDc4 = 0x14;

    enum class End {
        None, // more data to come
        Finish, // DLE ETX: play what is queued, then back to command mode
        Abort, // DLE DC4: drop what is queued and return at once
    };

    struct Chunk {
        QByteArray audio; // unshielded sample bytes
        qsizetype consumed = 0; // input bytes used; the rest belongs to command mode
        End end = End::None;
        QList<char> controls; // other DLE codes in the order received (CAN included)
    };

    Chunk feed(const char *data, qsizetype size);
    Chunk feed(const QByteArray &bytes) { return feed(bytes.constData(), bytes.size()); }
    void reset() { m_pendingDle = false; }
    bool pendingDle() const { return m_pendingDle; }

private:
    bool m_pendingDle = false;
};

} // namespace quorvel::modemsim
