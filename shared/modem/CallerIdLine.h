#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace quorvel {

// One formatted caller-ID line as voice modems print it between the first and the second ring.
// Spellings differ by chipset: "NMBR = 5551234" (blank, equals, blank), "NMBR=5551234", and a
// few firmwares use a colon. The value is what follows the separator, blanks trimmed, still as
// raw bytes (names may be UTF-8 or Latin-1).
struct CallerIdLine {
    enum class Tag {
        Date, // MMDD
        Time, // HHMM
        Number, // NMBR: the calling number, or "P" (withheld) / "O" (out of area)
        DdnNumber, // DDN_NMBR: the dialable directory number, sent by some exchanges instead
        Name, // NAME: the calling name, or "P" / "O"
        Message, // MESG: a parameter block the modem did not understand, as hex
    };

    Tag tag;
    QByteArray value;

    // nullopt when the line is no caller-ID line.
    static std::optional<CallerIdLine> parse(QByteArrayView line);
};

} // namespace quorvel
