#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace quorvel {

// Shielded codes of a voice modem: in voice mode the modem marks events in its output with a
// DLE byte (0x10) followed by one character, and a data byte 0x10 is sent as DLE DLE.
namespace Dle {
constexpr char kDle = 0x10;
constexpr char kEtx = 0x03; // DLE ETX: end of a voice transmission
constexpr char kCan = 0x18; // DLE CAN: drop the modem's transmit buffer

// Events that mean the far end is gone: busy tone, dial tone, silence time-out, quiet after
// speech, loop current interruption.
bool isHangupEvent(char event);
// DTMF digits the modem reports: 0-9 * # A-D.
bool isDtmfDigit(char event);

// Audio for AT+VTX: every 0x10 doubled.
QByteArray escape(QByteArrayView audio);
// Ends a transmission.
inline QByteArray endOfData()
{
    return QByteArray("\x10\x03", 2);
}
} // namespace Dle

// Splits what a voice modem sends into plain bytes and shielded events, keeping their order.
// A DLE at the end of one read is held until the next read brings the character after it.
class DleDecoder {
public:
    struct Item {
        // 0 for plain bytes in `data`; else the character after DLE (Dle::kEtx included).
        char event = 0;
        QByteArray data;
    };

    QList<Item> feed(QByteArrayView bytes);
    void reset() { m_pendingDle = false; }
    bool hasPendingDle() const { return m_pendingDle; }

private:
    bool m_pendingDle = false;
};

} // namespace quorvel
