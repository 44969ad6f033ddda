#include "shared/modem/ModemLineSplitter.h"

namespace quorvel {

namespace {
constexpr char kNul = 0x00;
constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;
} // namespace

ModemLineSplitter::ModemLineSplitter(int maxLineLength)
    : m_maxLineLength(maxLineLength > 0 ? maxLineLength : kDefaultMaxLineLength)
{
}

QList<QByteArray> ModemLineSplitter::feed(QByteArrayView bytes)
{
    QList<QByteArray> out;
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            endLine(out);
            continue;
        }
        if (c == kNul || c == kXon || c == kXoff)
            continue;
        const auto u = static_cast<unsigned char>(c);
        if (c == '\t') {
            // A tab is layout, not noise.
        } else if (u < 0x20 || u == 0x7F) {
            m_noise = true;
            continue;
        }
        if (m_overlong)
            continue;
        if (m_line.size() >= m_maxLineLength) {
            m_overlong = true;
            m_line.clear();
            continue;
        }
        m_line.append(c == '\t' ? ' ' : c);
    }
    return out;
}

void ModemLineSplitter::reset()
{
    m_line.clear();
    m_noise = false;
    m_overlong = false;
}

void ModemLineSplitter::endLine(QList<QByteArray> &out)
{
    const bool skip = m_noise || m_overlong;
    const QByteArray line = m_line.trimmed();
    reset();
    if (skip) {
        ++m_skipped;
        return;
    }
    if (!line.isEmpty())
        out.append(line);
}

} // namespace quorvel
