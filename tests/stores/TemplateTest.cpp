#include "shared/call/CallInfo.h"
#include "shared/templates/DesktopTemplateExpander.h"
#include "shared/templates/ServiceTemplateExpander.h"

#include <gtest/gtest.h>

using namespace quorvel;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);

CallInfo sampleCall()
{
    CallInfo c;
    c.sCallerName = "Alice";
    c.sCallerNumber = "5551234";
    c.sTime = "5:07:09 PM";
    c.sDate = "1/5/26";
    c.sMessageFile = "msg.wav";
    c.sDuration = "0:01:02";
    c.sContactName = "Ali";
    c.nRead = 0;
    c.sCallKind = "0";
    return c;
}

RemoteAccessKeys keys()
{
    return { "1", "2", "3", "4", "5", "6", "7" };
}

} // namespace

TEST(TemplateExpander, ServiceExpandsEveryPlaceholder)
{
    const ServiceTemplateExpander service(keys(), kUs);
    const CallInfo call = sampleCall();
    struct Case {
        const char *text;
        const char *expected;
    };
    const Case cases[] = {
        { "<CALLER_NUMBER>", "5 5 5 1 2 3 4 " },
        { "<CALLER_NAME>", "Alice" },
        { "<MESSAGE_PATH>", "msg.wav" },
        { "<DATE>", "Monday, January 5, 2026" },
        { "<TIME>", "05:07 PM" },
        { "<CONTACT>", "Ali" },
        { "<CALL_TYPE>", "In Coming Call" },
        { "<LENGTH>", "0:01:02" },
        { "<READ>", "unread" },
        { "<MESSAGEORCALL>", "call" },
        { "<PLAY>", "1" },
        { "<PREV>", "2" },
        { "<EXIT>", "3" },
        { "<NEXT>", "4" },
        { "<FIRST>", "5" },
        { "<DELETE>", "6" },
        { "<MARK>x", "7x" }, // exactly the six characters of the placeholder go
        { "No placeholders <here>.", "No placeholders <here>." },
        { "<TIME> and <TIME>", "05:07 PM and 05:07 PM" },
        { "<caller_name>", "<caller_name>" }, // case counts
        { "<CALLER_NAME", "<CALLER_NAME" },
    };
    for (const Case &c : cases)
        EXPECT_EQ(service.expandTemplate(c.text, call), c.expected) << c.text;

    CallInfo unknown = call;
    unknown.sCallerName = "UNKNOWN";
    unknown.sCallerNumber = "UNKNOWN";
    EXPECT_EQ(service.expandTemplate("<CALLER_NAME>", unknown), "UNKNOWN");
    EXPECT_EQ(service.expandTemplate("<CALLER_NUMBER>!", unknown), "UNKNOWN!");
    unknown.sCallerNumber = "";
    EXPECT_EQ(service.expandTemplate("[<CALLER_NUMBER>]", unknown), "[]");
}

TEST(TemplateExpander, CallKindsAndReadFlag)
{
    const ServiceTemplateExpander service(keys(), kUs);
    const DesktopTemplateExpander desktop(kUs);
    struct Case {
        const char *kind;
        const char *type;
        const char *messageOrCall;
    };
    const Case cases[] = {
        { "0", "In Coming Call", "call" },
        { "1", "Out Going Call", "call" },
        { "2", "Voice Message", "voice message" },
        { "3", "In Coming Recorded Call", "voice message" },
        { "4", "Out Going Recorded Call", "voice message" },
        { "5", "", "call" },
        { "", "", "call" },
        { "<CALL_TYPE>", "", "call" },
    };
    for (const Case &c : cases) {
        CallInfo call = sampleCall();
        call.sCallKind = c.kind;
        const QString expected = QString("[%1|%2]").arg(c.type, c.messageOrCall);
        EXPECT_EQ(service.expandTemplate("[<CALL_TYPE>|<MESSAGEORCALL>]", call), expected)
            << c.kind;
        EXPECT_EQ(desktop.expandTemplate("[<CALL_TYPE>|<MESSAGEORCALL>]", call), expected)
            << c.kind;
    }
    CallInfo read = sampleCall();
    read.nRead = 1;
    EXPECT_EQ(service.expandTemplate("<READ>", read), "read");
    read.nRead = 2;
    EXPECT_EQ(desktop.expandTemplate("<READ>", read), "unread");
}

TEST(TemplateExpander, DesktopDiffersAsDesigned)
{
    const DesktopTemplateExpander desktop(kUs);
    const CallInfo call = sampleCall();
    EXPECT_EQ(desktop.expandTemplate("<CALLER_NUMBER>", call), "5551234");
    EXPECT_EQ(desktop.expandTemplate("<DATE>", call), "1/5/26");
    EXPECT_EQ(desktop.expandTemplate("<TIME>", call), "17:07");
    EXPECT_EQ(desktop.expandTemplate("<CALLER_NAME> <CONTACT> <LENGTH>", call),
              "Alice Ali 0:01:02");
    const QString untouched = "<MESSAGE_PATH><PLAY><PREV><EXIT><NEXT><FIRST><DELETE><MARK>";
    EXPECT_EQ(desktop.expandTemplate(untouched, call), untouched);
}

TEST(TemplateExpander, ValuesHoldingPlaceholdersCannotKeepTheExpansionGoing)
{
    const ServiceTemplateExpander service(keys(), kUs);
    const DesktopTemplateExpander desktop(kUs);
    CallInfo call = sampleCall();
    call.sCallerName = "<CALLER_NAME><CALLER_NAME>";
    EXPECT_EQ(service.expandTemplate("Hi <CALLER_NAME>.", call), "Hi <CALLER_NAME><CALLER_NAME>.");
    EXPECT_EQ(desktop.expandTemplate("<CALLER_NAME>", call), "<CALLER_NAME><CALLER_NAME>");

    // A value's text for a later step is expanded in its turn, as it always was.
    call.sCallerName = "<CONTACT>";
    EXPECT_EQ(service.expandTemplate("<CALLER_NAME>", call), "Ali");

    // A value and the text after it joining into the same placeholder are left alone.
    call.sCallerName = "<CALLER";
    EXPECT_EQ(service.expandTemplate("<CALLER_NAME>_NAME>", call), "<CALLER_NAME>");

    call.sCallerName = "<CONTACT>";
    call.sContactName = "<CONTACT>";
    EXPECT_EQ(service.expandTemplate("<CALLER_NAME>", call), "<CONTACT>");
    call.sCallerNumber = "<CALLER_NUMBER>";
    EXPECT_EQ(desktop.expandTemplate("<CALLER_NUMBER>", call), "<CALLER_NUMBER>");
}

TEST(TemplateExpander, DatesAndTimesThatCannotBeReadLeaveTheirPlaceholders)
{
    const ServiceTemplateExpander service(keys(), kUs);
    const DesktopTemplateExpander desktop(kUs);
    CallInfo call = sampleCall();
    call.sDate = "not a date";
    call.sTime = "";
    EXPECT_EQ(service.expandTemplate("<DATE> <TIME> <CALLER_NAME>", call), "<DATE> <TIME> Alice");
    EXPECT_EQ(desktop.expandTemplate("<DATE> <TIME>", call), "not a date <TIME>");

    // Other written forms of the date and time are read too.
    call.sDate = "2026-01-05";
    call.sTime = "17:07";
    EXPECT_EQ(service.expandTemplate("<DATE> <TIME>", call), "Monday, January 5, 2026 05:07 PM");
}
