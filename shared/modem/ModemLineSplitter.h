#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace quorvel {

// Cuts the byte stream a modem sends in command mode into lines. CR and LF each end a line
// (modems send CR LF, some only CR, some precede every result with CR LF), so empty lines are
// dropped. A line that carries control bytes is line noise (a modem that was mid-reset, a
// baud-rate mismatch, the tail of a voice transmission) and is skipped whole rather than passed on
// half-readable; NUL, XON and XOFF are dropped on their own, since several modems emit them around
// a reset. A line longer than the bound is skipped as well: nothing a modem says in command mode
// is that long, and a runaway buffer must not grow without limit. Blanks around a line are
// trimmed. Bytes above 0x7F stay: caller names carry accents in UTF-8 or Latin-1.
class ModemLineSplitter {
public:
    static constexpr int kDefaultMaxLineLength = 256;

    explicit ModemLineSplitter(int maxLineLength = kDefaultMaxLineLength);

    // Complete lines found in `bytes` together with what earlier calls left unfinished.
    QList<QByteArray> feed(QByteArrayView bytes);
    // Forgets an unfinished line (the port was reopened, a transmission started).
    void reset();

    bool hasPartialLine() const { return !m_line.isEmpty() || m_noise || m_overlong; }
    // Lines dropped as noise or as too long since construction.
    int skippedLines() const { return m_skipped; }

private:
    void endLine(QList<QByteArray> &out);

    QByteArray m_line;
    int m_maxLineLength;
    bool m_noise = false;
    bool m_overlong = false;
    int m_skipped = 0;
};

} // namespace quorvel
