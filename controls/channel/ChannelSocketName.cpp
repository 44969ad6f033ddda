#include "controls/channel/ChannelSocketName.h"

#include <QRegularExpression>

namespace quorvel {

QString ChannelSocketName::fileName() const
{
    return QStringLiteral("ch%1_%2_%3.sock").arg(number).arg(pid).arg(binding);
}

QString ChannelSocketName::tempName() const
{
    return QStringLiteral(".ch%1_%2_%3.tmp").arg(number).arg(pid).arg(binding);
}

std::optional<ChannelSocketName> ChannelSocketName::parse(const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^ch([1-9][0-9]{0,9})_([1-9][0-9]{0,9})_([0-9]{1,19})\\.sock$"));
    const QRegularExpressionMatch m = pattern.match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    bool okNumber = false, okPid = false, okBinding = false;
    ChannelSocketName name;
    const qint64 number = m.captured(1).toLongLong(&okNumber);
    name.pid = m.captured(2).toLongLong(&okPid);
    name.binding = m.captured(3).toULongLong(&okBinding);
    if (!okNumber || !okPid || !okBinding || number > std::numeric_limits<int>::max())
        return std::nullopt;
    name.number = int(number);
    return name;
}

} // namespace quorvel
