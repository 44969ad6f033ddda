#pragma once

#include "shared/modem/VoiceCodec.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace quorvel {

// One compression method from the answer to AT+VSM=?.
struct VoiceCompression {
    int id = -1; // the number AT+VSM=<id>,<rate> selects
    QString name; // as the modem spells it ("16-BIT LINEAR", "G.711U")
    int bits = 0; // bits per sample, 0 when neither given nor implied by the name
    QList<QPair<int, int>> rates; // inclusive ranges; empty when the modem lists none
    std::optional<VoiceFormat> format; // what we can encode; nullopt for ADPCM and the like

    bool supportsRate(int rate) const;
};

// The compression methods a modem offers and the one we pick.
namespace VoiceFormatList {

// One line per method; lines that do not parse are skipped (echo, OK, noise).
QList<VoiceCompression> parse(const QList<QByteArray> &lines);
std::optional<VoiceCompression> parseLine(const QByteArray &line);

// The best method at `rate`: 16-bit linear, then mu-law, then A-law, then 8-bit linear. The two
// G.711 laws come before 8-bit linear because their 8 companded bits carry about 13 bits of
// dynamic range, where 8-bit linear leaves quiet greetings in audible hiss. Within one kind the
// method listed first wins. nullopt when nothing usable is offered.
std::optional<VoiceCompression> choose(const QList<VoiceCompression> &methods, int rate = 8000);
// Every usable method at `rate`, best first in the order above, so a caller can fall back when
// the modem refuses the best one.
QList<VoiceCompression> usable(const QList<VoiceCompression> &methods, int rate = 8000);

} // namespace VoiceFormatList
} // namespace quorvel
