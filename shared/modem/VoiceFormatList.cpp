#include "shared/modem/VoiceFormatList.h"

#include <algorithm>

#include <QRegularExpression>

namespace quorvel {

bool VoiceCompression::supportsRate(int rate) const
{
    // A modem that lists no rates speaks at the telephone rate.
    if (rates.isEmpty())
        return rate == 8000;
    for (const auto &r : rates)
        if (rate >= r.first && rate <= r.second)
            return true;
    return false;
}

namespace VoiceFormatList {

namespace {

// Splits at commas outside quotes and parentheses.
QList<QByteArray> topLevelFields(const QByteArray &line)
{
    QList<QByteArray> fields;
    QByteArray current;
    int depth = 0;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '(')
            ++depth;
        else if (!quoted && c == ')' && depth > 0)
            --depth;
        if (c == ',' && !quoted && depth == 0) {
            fields.append(current.trimmed());
            current.clear();
        } else {
            current.append(c);
        }
    }
    fields.append(current.trimmed());
    return fields;
}

bool toInt(const QByteArray &text, int *value)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (ok)
        *value = v;
    return ok;
}

std::optional<QList<QPair<int, int>>> parseRates(const QByteArray &group)
{
    QByteArray inner = group.trimmed();
    if (!inner.startsWith('(') || !inner.endsWith(')'))
        return std::nullopt;
    inner = inner.mid(1, inner.size() - 2);
    QList<QPair<int, int>> rates;
    for (const QByteArray &item : inner.split(',')) {
        const QList<QByteArray> ends = item.split('-');
        int lo = 0;
        int hi = 0;
        if (ends.size() == 1 && toInt(ends[0], &lo))
            hi = lo;
        else if (ends.size() == 2 && toInt(ends[0], &lo) && toInt(ends[1], &hi))
            ;
        else
            return std::nullopt;
        if (lo > hi)
            std::swap(lo, hi);
        rates.append({ lo, hi });
    }
    return rates;
}

int bitsFromName(const QString &upper)
{
    static const QRegularExpression re(QStringLiteral("(\\d+)[- ]?BIT"));
    const auto m = re.match(upper);
    if (m.hasMatch())
        return m.captured(1).toInt();
    if (upper.contains(QLatin1String("PCM 16")) || upper.contains(QLatin1String("PCM16")))
        return 16;
    return 0;
}

std::optional<VoiceFormat> formatOf(const QString &upper, int bits)
{
    QString compact = upper;
    compact.remove(' ').remove('.').remove('-').remove('_');
    if (compact.contains(QLatin1String("ADPCM")))
        return std::nullopt;
    if (compact.contains(QLatin1String("ULAW")) || compact.contains(QLatin1String("G711U"))
        || compact.contains(QLatin1String("PCMU")))
        return VoiceFormat::MuLaw;
    if (compact.contains(QLatin1String("ALAW")) || compact.contains(QLatin1String("G711A"))
        || compact.contains(QLatin1String("PCMA")))
        return VoiceFormat::ALaw;
    if (compact.contains(QLatin1String("LINEAR")) || compact.contains(QLatin1String("PCM"))) {
        if (bits == 16)
            return VoiceFormat::Linear16;
        if (bits == 8) {
            if (compact.contains(QLatin1String("UNSIGNED")))
                return VoiceFormat::Linear8;
            // Signed 8-bit samples have no encoder here; plain "8-BIT LINEAR" is unsigned.
            if (compact.contains(QLatin1String("SIGNED")))
                return std::nullopt;
            return VoiceFormat::Linear8;
        }
    }
    return std::nullopt;
}

int rank(VoiceFormat f)
{
    switch (f) {
    case VoiceFormat::Linear16:
        return 0;
    case VoiceFormat::MuLaw:
        return 1;
    case VoiceFormat::ALaw:
        return 2;
    case VoiceFormat::Linear8:
        return 3;
    }
    return 99;
}

} // namespace

std::optional<VoiceCompression> parseLine(const QByteArray &raw)
{
    QByteArray line = raw.trimmed();
    // Some firmwares prefix the list with the command name.
    if (line.toUpper().startsWith("+VSM:"))
        line = line.mid(5).trimmed();
    const QList<QByteArray> fields = topLevelFields(line);
    if (fields.size() < 2)
        return std::nullopt;
    VoiceCompression c;
    if (!toInt(fields[0], &c.id) || c.id < 0)
        return std::nullopt;
    QByteArray name = fields[1];
    if (name.startsWith('"') && name.endsWith('"') && name.size() >= 2)
        name = name.mid(1, name.size() - 2);
    if (name.isEmpty() || name.contains('('))
        return std::nullopt;
    c.name = QString::fromLatin1(name).simplified();
    const QString upper = c.name.toUpper();

    bool sawRates = false;
    for (int i = 2; i < fields.size(); ++i) {
        const QByteArray &f = fields[i];
        if (f.startsWith('(')) {
            if (!sawRates) {
                const auto rates = parseRates(f);
                if (!rates)
                    return std::nullopt;
                c.rates = *rates;
                sawRates = true;
            }
        } else if (!sawRates && i == 2) {
            int bits = 0;
            if (toInt(f, &bits) && bits > 0 && bits <= 32)
                c.bits = bits;
        }
    }
    if (c.bits == 0)
        c.bits = bitsFromName(upper);
    c.format = formatOf(upper, c.bits);
    if (c.bits == 0 && (c.format == VoiceFormat::MuLaw || c.format == VoiceFormat::ALaw))
        c.bits = 8;
    return c;
}

QList<VoiceCompression> parse(const QList<QByteArray> &lines)
{
    QList<VoiceCompression> out;
    for (const QByteArray &line : lines)
        if (auto c = parseLine(line))
            out.append(*c);
    return out;
}

QList<VoiceCompression> usable(const QList<VoiceCompression> &methods, int rate)
{
    QList<VoiceCompression> out;
    for (const VoiceCompression &m : methods)
        if (m.format && m.supportsRate(rate))
            out.append(m);
    std::stable_sort(out.begin(), out.end(),
                     [](const VoiceCompression &a, const VoiceCompression &b) {
                         return rank(*a.format) < rank(*b.format);
                     });
    return out;
}

std::optional<VoiceCompression> choose(const QList<VoiceCompression> &methods, int rate)
{
    const QList<VoiceCompression> ordered = usable(methods, rate);
    if (ordered.isEmpty())
        return std::nullopt;
    return ordered.first();
}

} // namespace VoiceFormatList
} // namespace quorvel
