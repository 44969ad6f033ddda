#include "shared/templates/DesktopTemplateExpander.h"

#include "shared/templates/TemplateSteps.h"

namespace quorvel {

using TemplateSteps::replaceEach;

DesktopTemplateExpander::DesktopTemplateExpander(QLocale locale)
    : m_localeText(std::move(locale))
{
}

QString DesktopTemplateExpander::expandTemplate(const QString &text, const CallInfo &call) const
{
    if (!text.contains(QLatin1Char('<')))
        return text;
    QString t = text;
    t = replaceEach(t, u"<CALLER_NUMBER>", call.sCallerNumber);
    t = replaceEach(t, u"<CALLER_NAME>", call.sCallerName);
    t = replaceEach(t, u"<DATE>", call.sDate);
    if (t.contains(u"<TIME>")) {
        // A time that cannot be read leaves the placeholder as it was.
        const QTime tm = TemplateSteps::parseTime(call.sTime, m_localeText);
        if (tm.isValid())
            t = replaceEach(t, u"<TIME>", tm.toString(QStringLiteral("HH:mm")));
    }
    t = replaceEach(t, u"<CONTACT>", call.sContactName);
    t = replaceEach(t, u"<CALL_TYPE>", TemplateSteps::callKindText(call.sCallKind));
    t = replaceEach(t, u"<LENGTH>", call.sDuration);
    t = replaceEach(t, u"<READ>", TemplateSteps::readText(call.nRead));
    t = replaceEach(t, u"<MESSAGEORCALL>", TemplateSteps::messageOrCall(call.sCallKind));
    return t;
}

} // namespace quorvel
