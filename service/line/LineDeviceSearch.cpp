#include "service/line/LineDeviceSearch.h"

namespace quorvel {

namespace {
QString yesNo(bool b)
{
    return b ? QStringLiteral("Yes") : QStringLiteral("No");
}
} // namespace

QString LineDeviceSearch::detailText(int index, const LineDeviceCaps &caps)
{
    const QString pad(26, ' ');
    const QStringList lines = {
        QStringLiteral("Device Details -"),
        pad + QStringLiteral("Line Index: ") + QString::number(index),
        pad + QStringLiteral("Device Name: ") + caps.name,
        pad + QStringLiteral("Tapi Capability: ") + yesNo(caps.telephony),
        pad + QStringLiteral("Voice Capability: ") + yesNo(caps.voice),
        pad + QStringLiteral("Monitor Digits: ") + yesNo(caps.digits),
    };
    return lines.join(QStringLiteral("\r\n"));
}

LineDeviceSearch::Choice LineDeviceSearch::find(Telephony &tapi, const QString &storedName)
{
    Choice choice;
    if (storedName.isEmpty())
        return choice;
    const int count = tapi.deviceCount();
    for (int i = 0; i < count; ++i) {
        tapi.setLineIndex(i);
        const LineDeviceCaps caps = tapi.getDeviceCaps();
        if (caps.name == storedName) {
            choice.index = i;
            choice.details.append(detailText(i, caps));
        }
    }
    return choice;
}

} // namespace quorvel
