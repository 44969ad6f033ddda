#include "shared/modem/CallerIdLine.h"

namespace quorvel {

std::optional<CallerIdLine> CallerIdLine::parse(QByteArrayView view)
{
    struct Known {
        const char *text;
        Tag tag;
    };
    // DDN_NMBR before NMBR only for clarity: the match is anchored at the start of the line.
    static const Known kTags[] = {
        { "DDN_NMBR", Tag::DdnNumber }, { "NMBR", Tag::Number }, { "NAME", Tag::Name },
        { "DATE", Tag::Date },          { "TIME", Tag::Time },   { "MESG", Tag::Message },
    };

    const QByteArray line = view.toByteArray().trimmed();
    for (const Known &k : kTags) {
        const QByteArray tag(k.text);
        if (line.size() < tag.size() || line.left(tag.size()).toUpper() != tag)
            continue;
        int pos = tag.size();
        while (pos < line.size() && line.at(pos) == ' ')
            ++pos;
        if (pos >= line.size() || (line.at(pos) != '=' && line.at(pos) != ':'))
            return std::nullopt;
        return CallerIdLine { k.tag, line.mid(pos + 1).trimmed() };
    }
    return std::nullopt;
}

} // namespace quorvel
