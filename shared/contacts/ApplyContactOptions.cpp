#include "shared/contacts/ApplyContactOptions.h"

#include "shared/settings/RegistryRoutines.h"

namespace quorvel {

namespace {

using F = ContactRecord::Field;

void takeBool(const ContactRecord &c, F field, bool &option)
{
    if (const auto v = ContactRecord::toBool(c.field(field)))
        option = *v;
}

void takeInt(const ContactRecord &c, F field, int &option)
{
    if (const auto v = ContactRecord::toInt(c.field(field)))
        option = *v;
}

void settingBool(const RegistryRoutines &reg, const QString &name, bool &option)
{
    bool ok = false;
    const bool v = settingToBool(reg.getRegistryValue(name), &ok);
    if (ok)
        option = v;
}

void settingInt(const RegistryRoutines &reg, const QString &name, int &option)
{
    bool ok = false;
    const int v = settingToInt(reg.getRegistryValue(name), &ok);
    if (ok)
        option = v;
}

} // namespace

void applyContactOptions(const ContactRecord &contact, CallOptions &options,
                         const RegistryRoutines &settings)
{
    const QString answer = contact.field(F::AnswerMode);
    if (answer == QLatin1String("2")) {
        options.bHangUp = true;
    } else if (answer == QLatin1String("3")) {
        options.bDoNothing = true;
    } else if (answer == QLatin1String("4")) {
        takeBool(contact, F::OptionFlag, options.bOptionFlag);
        takeBool(contact, F::PickUp, options.bAnswerMachine);
        options.sGreetingFile = contact.field(F::Greeting) + QStringLiteral(".wav");
        takeBool(contact, F::BeepFlag, options.bBeepAndWait);
        takeInt(contact, F::Rings, options.nRings);
    }

    const QString events = contact.field(F::EventsMode);
    if (events == QLatin1String("1")) {
        RegistryRoutines reg = settings; // same store, own section
        reg.setSubkey(QStringLiteral("Events\\TabInCommingCall"));
        settingBool(reg, QStringLiteral("chkViewLineControl_IC"), options.bShowLineControl);
        settingInt(reg, QStringLiteral("cmbCallDisplayStyleIncomming"), options.nCallDisplayStyle);
        settingBool(reg, QStringLiteral("chkICViewCD"), options.bShowCall);
        settingBool(reg, QStringLiteral("chkPlayInCall"), options.bPlaySound_IC);
        if (const auto sound = reg.getRegistryValue(QStringLiteral("CmbPlayWhenCall")))
            options.sSoundFile = *sound;
        else
            options.sSoundFile.clear();
        settingBool(reg, QStringLiteral("chkSayInCommingCall"), options.bSayCall);
        if (const auto text = reg.getRegistryValue(QStringLiteral("IC_txtTTS")))
            options.sSayText = *text;
        else
            options.sSayText.clear();
    } else if (events == QLatin1String("2")) {
        options.bShowCall = false;
        options.bShowLineControl = false;
        options.bPlaySound_IC = false;
        options.bSayCall = false;
    } else if (events == QLatin1String("3")) {
        takeInt(contact, F::EventsMode, options.nEventsMode);
        takeBool(contact, F::OwnShowCall, options.bShowCall);
        takeInt(contact, F::OwnDisplayStyle, options.nCallDisplayStyle);
        takeBool(contact, F::OwnLineControl, options.bShowLineControl);
        takeBool(contact, F::OwnPlaySound, options.bPlaySound_IC);
        options.sSoundFile = contact.field(F::OwnSoundName);
        takeBool(contact, F::OwnSay, options.bSayCall);
        options.sSayText = contact.field(F::OwnSayText);
    }

    const QString group = contact.field(F::GroupMode);
    if (group == QLatin1String("2")) {
        options.bGroupSwitch = false;
    } else if (group == QLatin1String("3")) {
        takeInt(contact, F::GroupNumber1, options.nGroupNumber1);
        takeBool(contact, F::GroupSwitch, options.bGroupSwitch);
        options.sGroupName = contact.field(F::GroupName);
        takeInt(contact, F::GroupNumber2, options.nGroupNumber2);
        takeBool(contact, F::GroupFlag, options.bGroupFlag);
        options.sGroupText = contact.field(F::GroupText);
    }
}

} // namespace quorvel
