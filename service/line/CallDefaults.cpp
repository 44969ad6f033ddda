#include "service/line/CallDefaults.h"

#include "shared/settings/RegistryRoutines.h"

namespace quorvel {

namespace {

bool readBool(const RegistryRoutines &reg, const char *name)
{
    bool ok = false;
    const bool v = settingToBool(reg.getRegistryValue(QString::fromLatin1(name)), &ok);
    return ok && v;
}

int readInt(const RegistryRoutines &reg, const char *name)
{
    bool ok = false;
    const int v = settingToInt(reg.getRegistryValue(QString::fromLatin1(name)), &ok);
    return ok ? v : 0;
}

QString readText(const RegistryRoutines &reg, const char *name)
{
    return reg.getRegistryValue(QString::fromLatin1(name), QString());
}

} // namespace

CallOptions CallDefaults::load(const RegistryRoutines &settings)
{
    RegistryRoutines reg(settings.store());
    reg.setKeyRoot(settings.keyRoot());
    CallOptions o;

    reg.setSubkey(QString());
    o.bDesktopRunning = readBool(reg, "bRun");

    reg.setSubkey(QStringLiteral("Properties\\TabGeneral"));
    o.bEventsOnlyWithDesktop = readBool(reg, "chkDoEventsWhenGUI");

    reg.setSubkey(QStringLiteral("Answer\\TabAnsweringMachine"));
    o.bAnswerMachine = readBool(reg, "chkRunAnsIfNotAnswered");
    o.nRings = readInt(reg, "txtNumOfRing");
    o.sGreetingFile = readText(reg, "CmbGreetsMessages") + QStringLiteral(".wav");

    reg.setSubkey(QStringLiteral("Events\\TabInCommingCall"));
    o.bWaitForCallerID = readBool(reg, "chkWhenCallerID");
    o.bShowLineControl = readBool(reg, "chkViewLineControl_IC");
    o.nCallDisplayStyle = readInt(reg, "cmbCallDisplayStyleIncomming");
    o.bShowCall = readBool(reg, "chkICViewCD");
    o.bPlaySound_IC = readBool(reg, "chkPlayInCall");
    o.sSoundFile = readText(reg, "CmbPlayWhenCall");
    o.bSayCall = readBool(reg, "chkSayInCommingCall");
    o.sSayText = readText(reg, "IC_txtTTS");
    return o;
}

} // namespace quorvel
