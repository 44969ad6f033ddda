// Both template expanders. Input fields separated by 0x01: template, caller name, caller number,
// time, date, message file, duration, contact name, call kind, keypad keys; the read flag is
// the input's length. Values are cut to the widths they have in the stores.

#include "shared/call/CallInfo.h"
#include "shared/templates/DesktopTemplateExpander.h"
#include "shared/templates/ServiceTemplateExpander.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdlib>

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<QByteArray> parts = input.split('\x01');
    while (parts.size() < 10)
        parts.append(QByteArray());
    auto part = [&](int i, int width) { return QString::fromUtf8(parts[i]).left(width); };

    CallInfo call;
    call.sCallerName = part(1, 64);
    call.sCallerNumber = part(2, 64);
    call.sTime = part(3, 32);
    call.sDate = part(4, 50);
    call.sMessageFile = part(5, 64);
    call.sDuration = part(6, 16);
    call.sContactName = part(7, 32);
    call.sCallKind = part(8, 4);
    call.nRead = int(size % 3);
    const QString keys = part(9, 7);
    RemoteAccessKeys k { keys.mid(0, 1), keys.mid(1, 1), keys.mid(2, 1), keys.mid(3, 1),
                         keys.mid(4, 1), keys.mid(5, 1), keys.mid(6, 1) };

    const QString text = part(0, 256);
    static const ServiceTemplateExpander service;
    static const DesktopTemplateExpander desktop;
    ServiceTemplateExpander withKeys(k, QLocale::c());
    const QString a = withKeys.expandTemplate(text, call);
    const QString b = service.expandTemplate(text, call);
    const QString c = desktop.expandTemplate(text, call);
    // Without a placeholder the text comes back as it was.
    if (!text.contains(QLatin1Char('<')) && (a != text || b != text || c != text))
        std::abort();
    return 0;
}
