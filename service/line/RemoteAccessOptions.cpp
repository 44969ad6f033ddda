#include "service/line/RemoteAccessOptions.h"

#include "shared/settings/RegistryRoutines.h"

namespace quorvel {

RemoteAccessOptions RemoteAccessOptions::load(const RegistryRoutines &settings)
{
    RegistryRoutines reg(settings.store());
    reg.setKeyRoot(settings.keyRoot());
    auto text = [&reg](const char *name) {
        return reg.getRegistryValue(QString::fromLatin1(name), QString());
    };
    auto flag = [&reg](const char *name) {
        bool ok = false;
        const bool v = settingToBool(reg.getRegistryValue(QString::fromLatin1(name)), &ok);
        return ok && v;
    };

    RemoteAccessOptions o;
    reg.setSubkey(QStringLiteral("RemoteAccess\\TabPhoneAccess"));
    o.digitsToEnter = text("txtDigitsToEnter");
    o.confirmDigit = text("cmbConfirmDigit");
    o.allowRemoteAccess = flag("chkAllowRemoteAccess");
    o.allowCallerIDAccess = flag("chkAllowCallerNameNumAccess");
    o.accessName = text("txtAccessCallerName");
    o.accessNumber = text("txtAccessCallerNumber");

    reg.setSubkey(QStringLiteral("Access\\Phone\\Messages"));
    o.welcomeText = text("txtRCTTSWllcome");
    o.beforeText = text("txtRCTTSBefore");
    o.afterText = text("txtRCTTSAfter");

    reg.setSubkey(QStringLiteral("Access\\Phone\\Digits"));
    o.keys.first = text("cmbFirstMessageDigit");
    o.keys.next = text("cmbNextMessageDigit");
    o.keys.prev = text("cmbPrevMessageDigit");
    o.keys.exit = text("cmbCloseRCDigit");
    o.keys.play = text("cmbPlayMessageDigit");
    o.keys.del = text("cmbDelRCDigit");
    return o;
}

} // namespace quorvel
