#include "service/serial/CommCidReader.h"

#include "shared/common/TextCodec.h"

namespace quorvel {

namespace {
const QString kUnknown = QStringLiteral("UNKNOWN");
} // namespace

QString CommCidReader::lineValue(const QByteArray &line, int tagLength)
{
    // Modems write "NMBR=5551234" and "NMBR = 5551234"; a fixed cut would keep "= " in the
    // number, which is then stored, shown and spoken. Without an "=", the tag is followed by one
    // separator of any kind.
    const qsizetype eq = line.indexOf('=');
    const qsizetype start = eq >= 0 ? eq + 1 : tagLength + 1;
    if (start >= line.size())
        return {};
    QString value = TextCodec::decode(line.mid(start));
    // The value goes into fixed-width records and CR LF separated channel messages: no control
    // characters survive (line noise on the port produces them).
    value.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; });
    return value.trimmed();
}

void CommCidReader::initVals()
{
    m_name = kUnknown;
    m_number = kUnknown;
    m_ringCount = 0;
    m_cidReported = false;
    m_offerReported = false;
    m_nameSeen = false;
    m_numberSeen = false;
}

bool CommCidReader::callerIdWithoutRing() const
{
    return m_ringCount == 0 && (m_name != kUnknown || m_number != kUnknown);
}

std::vector<CommCidReader::Step> CommCidReader::feed(const QByteArray &bytes)
{
    std::vector<Step> steps;
    for (const char c : bytes) {
        if (m_skipNext) {
            m_skipNext = false;
            continue;
        }
        if (c == kEscape) {
            m_skipNext = true;
            continue;
        }
        if (c == '\r') {
            if (!m_overlong)
                parseLine(m_buffer, steps);
            m_overlong = false;
            m_buffer.clear();
            continue;
        }
        if (m_overlong)
            continue;
        if (m_buffer.size() >= kMaxLine) {
            // No carriage return for this long: not a modem line. Drop it whole, up to the
            // next carriage return.
            m_overlong = true;
            m_buffer.clear();
            ++m_droppedLines;
            continue;
        }
        m_buffer.append(c);
    }
    return steps;
}

void CommCidReader::parseLine(const QByteArray &raw, std::vector<Step> &steps)
{
    // The line feed after the previous carriage return starts this line; blanks around it are
    // not part of the tag either.
    const QByteArray line = raw.trimmed();
    if (line.isEmpty())
        return;
    const QByteArray upper = line.toUpper();
    const QByteArray tag = upper.left(4);
    if (tag == "RING") {
        m_nameSeen = false;
        m_numberSeen = false;
        ++m_ringCount;
        steps.push_back({ Step::Ring, m_ringCount, {}, {} });
        if (m_ringCount == 1 && !m_offerReported) {
            m_offerReported = true;
            steps.push_back({ Step::Offer, m_ringCount, {}, {} });
        }
        if (m_ringCount == 2 && !m_cidReported) {
            m_cidReported = true;
            steps.push_back({ Step::CallerId, m_ringCount, m_name, m_number });
        }
        if (m_ringCount > 3)
            steps.push_back({ Step::Takeover, m_ringCount, {}, {} });
    } else if (tag == "NAME") {
        const QString value = lineValue(line, 4);
        if (!value.isEmpty()) {
            m_name = value;
            m_nameSeen = true;
        }
    } else if (tag == "NMBR" || upper.startsWith("DDN_NMBR")) {
        const QString value = lineValue(line, tag == "NMBR" ? 4 : 8);
        if (!value.isEmpty()) {
            m_number = value;
            m_numberSeen = true;
        }
    } else if (tag == "MESG") {
        // Message data of a caller-ID frame the modem did not decode. Counted as the modem
        // sends it, with the line feed that starts every line: a long one stands for a frame
        // without the name; a 12-character one ("MESG=040150" style, a reason-for-absence
        // parameter) marks a missing number, then a missing name.
        const qsizetype length = line.size() + 1;
        if (length > 20) {
            m_numberSeen = true;
            if (!m_nameSeen) {
                m_name = kUnknown;
                m_nameSeen = true;
            }
        } else if (length == 12) {
            if (!m_numberSeen) {
                m_number = kUnknown;
                m_numberSeen = true;
            } else if (!m_nameSeen) {
                m_name = kUnknown;
                m_nameSeen = true;
            }
        }
    }
    // DATE and TIME are recognised and not used: the call's time comes from the computer's
    // clock. Anything else (OK, ERROR, echoes of the command) is ignored.
}

} // namespace quorvel
