#include "shared/call/CallOptions.h"
#include "shared/contacts/ApplyContactOptions.h"
#include "shared/contacts/ContactRecord.h"
#include "shared/contacts/ContactsFile.h"
#include "shared/settings/RegistryRoutines.h"
#include "tests/stores/StoresFixtures.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

using F = ContactRecord::Field;

ContactRecord contact(const QString &name, const QString &number)
{
    ContactRecord r;
    r.setField(F::Name, name);
    r.setField(F::CallerNumber, number);
    r.setField(F::AnswerMode, "1");
    r.setField(F::EventsMode, "1");
    return r;
}

QByteArray fileOf(const QList<ContactRecord> &records)
{
    QByteArray out;
    for (const ContactRecord &r : records)
        out += r.bytes();
    return out;
}

} // namespace

TEST(ContactRecord, DesktopWrittenRecordMatchesTheStoredLayoutByteForByte)
{
    ContactRecord r;
    r.setField(F::Name, "Dr. Who");
    r.setField(F::Picture, "who.jpg");
    r.setField(F::CallerName, "TARDIS");
    r.setField(F::CallerNumber, "0800");
    r.setField(F::AnswerMode, "4");
    r.setField(F::PickUp, "1");
    r.setField(F::Greeting, "away");
    r.setField(F::Rings, "3");
    r.setField(F::Emergency, "1");
    r.setField(F::EventsMode, "2");
    r.setField(F::Notes, "blue box");

    const QByteArray image = padded("Dr. Who", 32) // 0 name
        + padded("who.jpg", 64) // 32 picture
        + padded("TARDIS", 40) // 96 caller name
        + padded("0800", 40) // 136 caller number
        + "4" + "1" + zeros(1) // 176 mode, 177 pick up, 178 flag
        + padded("away", 64) // 179 greeting
        + "3 " // 243 rings
        + zeros(1) // 245 beep flag
        + "1" + "2" // 246 emergency, 247 events mode
        + zeros(770 - 248) // 248-769: untouched
        + padded("blue box", 1024); // 770 notes
    ASSERT_EQ(image.size(), ContactRecord::kSize);
    EXPECT_EQ(r.bytes(), image);

    const ContactRecord back = ContactRecord::fromBytes(image);
    EXPECT_EQ(back.name(), "Dr. Who");
    EXPECT_EQ(back.picture(), "who.jpg");
    EXPECT_EQ(back.callerNumber(), "0800");
    EXPECT_EQ(back.greeting(), "away");
    EXPECT_EQ(back.field(F::Rings), "3");
    EXPECT_EQ(back.field(F::Notes), "blue box");
    EXPECT_FALSE(back.isWritten(F::OwnSayText));
}

TEST(ContactsFile, AppendReadWriteAndDeleteFirstMiddleLast)
{
    const QList<ContactRecord> r = { contact("A", "1"), contact("B", "2"), contact("C", "3") };
    const int remove[] = { 1, 2, 3 };
    for (int n : remove) {
        TempHome home;
        ContactsFile file(home.path("Contactes.txt"));
        EXPECT_EQ(file.appendMany(r), 1);
        ASSERT_TRUE(file.remove(n));
        QList<ContactRecord> left = r;
        left.removeAt(n - 1);
        EXPECT_EQ(readFile(file.path()), fileOf(left)) << "deleting record " << n;
        EXPECT_EQ(file.count(), 2);
    }

    TempHome home;
    ContactsFile file(home.path("Contactes.txt"));
    EXPECT_EQ(file.count(), 0) << "a missing file holds no contacts";
    EXPECT_EQ(file.append(r[0]), 1);
    EXPECT_EQ(file.append(r[1]), 2);
    ContactRecord edited = *file.read(2);
    edited.setField(F::Name, "Bea");
    ASSERT_TRUE(file.write(2, edited));
    EXPECT_EQ(file.read(2)->name(), "Bea");
    EXPECT_FALSE(file.write(3, edited));
    EXPECT_FALSE(file.remove(3));
    EXPECT_EQ(readFile(file.path()).size(), 2 * ContactRecord::kSize);
}

TEST(ContactsFile, PartialLastRecordCountsFromHalfARecord)
{
    const QByteArray one = contact("A", "1").bytes();
    const QByteArray two = contact("B", "2").bytes();
    struct Case {
        int tail;
        qint64 count;
    };
    for (const Case c : { Case { 896, 1 }, Case { 897, 2 }, Case { 1793, 2 } }) {
        TempHome home;
        writeFile(home.path("Contactes.txt"), one + two.left(c.tail));
        ContactsFile file(home.path("Contactes.txt"));
        EXPECT_EQ(file.count(), c.count) << c.tail;
        if (c.count == 2) {
            EXPECT_EQ(file.read(2)->name(), "B");
            EXPECT_EQ(file.read(2)->bytes(),
                      two.left(c.tail) + zeros(ContactRecord::kSize - c.tail));
        }
    }
}

TEST(ContactsFile, LookupsCompareTheTrimmedFieldExactly)
{
    TempHome home;
    ContactsFile file(home.path("Contactes.txt"));
    ContactRecord a = contact("Anna", " 555 ");
    a.setField(F::Greeting, "morning");
    a.setField(F::Picture, "anna.png");
    ContactRecord b = contact("Ben", "5551");
    b.setField(F::Picture, "anna.png");
    ContactRecord c = contact("anna", "555");
    file.appendMany({ a, b, c });

    EXPECT_EQ(file.findByCallerNumber("555"), 1) << "blanks around the stored number do not count";
    EXPECT_EQ(file.findByCallerNumber("5551"), 2);
    EXPECT_EQ(file.findByCallerNumber("55"), std::nullopt) << "equality, not containment";
    EXPECT_EQ(file.findByName("anna"), 3) << "case counts";
    EXPECT_EQ(file.findByName("Ann"), std::nullopt);
    EXPECT_EQ(file.findByGreeting("morning"), 1);
    EXPECT_EQ(file.findByGreeting("evening"), std::nullopt);
    EXPECT_EQ(file.findByPicture("anna.png", 1), 2) << "another contact still uses the picture";
    EXPECT_EQ(file.findByPicture("anna.png", 2), 1);
    file.remove(2);
    EXPECT_EQ(file.findByPicture("anna.png", 1), std::nullopt);
}

TEST(ContactRecord, FieldConversionsFollowThePlatformRules)
{
    struct Case {
        const char *text;
        std::optional<bool> asBool;
        std::optional<int> asInt;
    };
    const Case cases[] = {
        { "0", false, 0 },
        { "1", true, 1 },
        { "-1", true, -1 },
        { "7", true, 7 },
        { " 3 ", true, 3 },
        { "", std::nullopt, std::nullopt },
        { "x", std::nullopt, std::nullopt },
        { "True", true, std::nullopt },
    };
    for (const Case &c : cases) {
        EXPECT_EQ(ContactRecord::toBool(c.text), c.asBool) << c.text;
        EXPECT_EQ(ContactRecord::toInt(c.text), c.asInt) << c.text;
    }
}

class ApplyContactOptionsTest : public ::testing::Test {
protected:
    ApplyContactOptionsTest()
        : settings(home.path("settings.ini"))
    {
        defaults.bAnswerMachine = true;
        defaults.nRings = 4;
        defaults.sGreetingFile = "default.wav";
        defaults.bShowCall = true;
        defaults.nCallDisplayStyle = 1;
        defaults.bShowLineControl = true;
        defaults.bPlaySound_IC = true;
        defaults.sSoundFile = "ring";
        defaults.bSayCall = true;
        defaults.sSayText = "<CALLER_NAME>";
        defaults.bGroupSwitch = true;
    }

    CallOptions applied(const ContactRecord &c)
    {
        CallOptions o = defaults;
        applyContactOptions(c, o, settings);
        return o;
    }

    TempHome home;
    RegistryRoutines settings;
    CallOptions defaults;
};

TEST_F(ApplyContactOptionsTest, AnsweringModes)
{
    ContactRecord c = contact("X", "1");
    c.setField(F::AnswerMode, "2");
    CallOptions o = applied(c);
    EXPECT_TRUE(o.bHangUp);
    EXPECT_FALSE(o.bDoNothing);
    EXPECT_TRUE(o.bAnswerMachine) << "the defaults stay";

    c.setField(F::AnswerMode, "3");
    o = applied(c);
    EXPECT_TRUE(o.bDoNothing);
    EXPECT_FALSE(o.bHangUp);

    c.setField(F::AnswerMode, "4");
    c.setField(F::PickUp, "0");
    c.setField(F::OptionFlag, "1");
    c.setField(F::Greeting, "night");
    c.setField(F::Rings, "6");
    c.setField(F::BeepFlag, "1");
    o = applied(c);
    EXPECT_FALSE(o.bAnswerMachine);
    EXPECT_TRUE(o.bOptionFlag);
    EXPECT_EQ(o.sGreetingFile, "night.wav");
    EXPECT_EQ(o.nRings, 6);
    EXPECT_TRUE(o.bBeepAndWait);

    // Fields that do not convert leave their options alone.
    c.setField(F::PickUp, "");
    c.setField(F::Rings, "x");
    c.setField(F::BeepFlag, "");
    o = applied(c);
    EXPECT_TRUE(o.bAnswerMachine);
    EXPECT_EQ(o.nRings, 4);
    EXPECT_FALSE(o.bBeepAndWait);

    for (const char *mode : { "1", "", "9" }) {
        c.setField(F::AnswerMode, mode);
        o = applied(c);
        EXPECT_EQ(o.sGreetingFile, "default.wav") << mode;
        EXPECT_FALSE(o.bHangUp || o.bDoNothing) << mode;
    }
}

TEST_F(ApplyContactOptionsTest, EventsModesAndTheDefaultsReadAgain)
{
    ContactRecord c = contact("X", "1");
    c.setField(F::EventsMode, "2");
    CallOptions o = applied(c);
    EXPECT_FALSE(o.bShowCall || o.bShowLineControl || o.bPlaySound_IC || o.bSayCall);
    EXPECT_EQ(o.nCallDisplayStyle, 1);
    EXPECT_EQ(o.sSoundFile, "ring");

    c.setField(F::EventsMode, "3");
    c.setField(F::OwnShowCall, "1");
    c.setField(F::OwnDisplayStyle, "0");
    c.setField(F::OwnLineControl, "0");
    c.setField(F::OwnPlaySound, "");
    c.setField(F::OwnSoundName, "bell");
    c.setField(F::OwnSay, "0");
    c.setField(F::OwnSayText, "Hello <CALLER_NAME>");
    o = applied(c);
    EXPECT_EQ(o.nEventsMode, 3);
    EXPECT_TRUE(o.bShowCall);
    EXPECT_EQ(o.nCallDisplayStyle, 0);
    EXPECT_FALSE(o.bShowLineControl);
    EXPECT_TRUE(o.bPlaySound_IC) << "a blank flag leaves the option";
    EXPECT_EQ(o.sSoundFile, "bell");
    EXPECT_FALSE(o.bSayCall);
    EXPECT_EQ(o.sSayText, "Hello <CALLER_NAME>");

    // Mode 1: the section is read again, so a change the desktop saved since the call began
    // takes effect.
    RegistryRoutines events(settings.filePath());
    events.setSubkey("Events\\TabInCommingCall");
    events.setRegistryValue("chkViewLineControl_IC", "0");
    events.setRegistryValue("cmbCallDisplayStyleIncomming", "0");
    events.setRegistryValue("chkICViewCD", "0");
    events.setRegistryValue("chkPlayInCall", "1");
    events.setRegistryValue("CmbPlayWhenCall", "chime");
    events.setRegistryValue("chkSayInCommingCall", "0");
    events.setRegistryValue("IC_txtTTS", "Call from <CALLER_NUMBER>");
    c.setField(F::EventsMode, "1");
    o = applied(c);
    EXPECT_FALSE(o.bShowLineControl);
    EXPECT_EQ(o.nCallDisplayStyle, 0);
    EXPECT_FALSE(o.bShowCall);
    EXPECT_TRUE(o.bPlaySound_IC);
    EXPECT_EQ(o.sSoundFile, "chime");
    EXPECT_FALSE(o.bSayCall);
    EXPECT_EQ(o.sSayText, "Call from <CALLER_NUMBER>");
}

TEST_F(ApplyContactOptionsTest, FurtherGroup)
{
    ContactRecord c = contact("X", "1");
    c.setField(F::GroupMode, "2");
    EXPECT_FALSE(applied(c).bGroupSwitch);

    c.setField(F::GroupMode, "3");
    c.setField(F::GroupSwitch, "1");
    c.setField(F::GroupNumber1, "5");
    c.setField(F::GroupName, "g");
    c.setField(F::GroupFlag, "1");
    c.setField(F::GroupNumber2, "7");
    c.setField(F::GroupText, "text");
    const CallOptions o = applied(c);
    EXPECT_TRUE(o.bGroupSwitch);
    EXPECT_EQ(o.nGroupNumber1, 5);
    EXPECT_EQ(o.sGroupName, "g");
    EXPECT_TRUE(o.bGroupFlag);
    EXPECT_EQ(o.nGroupNumber2, 7);
    EXPECT_EQ(o.sGroupText, "text");
}
