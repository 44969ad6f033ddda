#include "shared/modem/FaxClassList.h"

#include "shared/modem/AtResult.h"

namespace quorvel::FaxClassList {

namespace {
bool isClassToken(const QByteArray &t)
{
    if (t.isEmpty())
        return false;
    int dots = 0;
    for (const char c : t) {
        if (c == '.')
            ++dots;
        else if (c < '0' || c > '9')
            return false;
    }
    return dots <= 1 && t.front() != '.' && t.back() != '.';
}
} // namespace

QStringList parse(const QList<QByteArray> &lines)
{
    QStringList classes;
    for (QByteArray line : lines) {
        line = line.trimmed();
        if (AtResults::classify(line) != AtResult::Text)
            continue;
        if (line.toUpper().startsWith("+FCLASS:"))
            line = line.mid(8);
        line.replace('(', "").replace(')', "");
        QStringList found;
        bool ok = true;
        for (QByteArray item : line.split(',')) {
            item = item.trimmed();
            const QList<QByteArray> ends = item.split('-');
            if (ends.size() == 2 && isClassToken(ends[0]) && isClassToken(ends[1])
                && !ends[0].contains('.') && !ends[1].contains('.')) {
                const int lo = ends[0].toInt();
                const int hi = ends[1].toInt();
                if (hi < lo || hi - lo > 100) {
                    ok = false;
                    break;
                }
                for (int c = lo; c <= hi; ++c)
                    found.append(QString::number(c));
            } else if (isClassToken(item)) {
                found.append(QString::fromLatin1(item));
            } else {
                ok = false;
                break;
            }
        }
        if (ok)
            for (const QString &c : found)
                if (!classes.contains(c))
                    classes.append(c);
    }
    return classes;
}

bool hasVoice(const QStringList &classes)
{
    return classes.contains(QStringLiteral("8")) || classes.contains(QStringLiteral("8.0"));
}

} // namespace quorvel::FaxClassList
