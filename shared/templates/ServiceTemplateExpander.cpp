#include "shared/templates/ServiceTemplateExpander.h"

#include "shared/templates/TemplateSteps.h"

namespace quorvel {

using TemplateSteps::replaceEach;

ServiceTemplateExpander::ServiceTemplateExpander(RemoteAccessKeys keys, QLocale locale)
    : m_keys(std::move(keys))
    , m_locale(locale)
    , m_localeText(std::move(locale))
{
}

QString ServiceTemplateExpander::spacedNumber(const QString &number)
{
    if (number == QLatin1String("UNKNOWN"))
        return number;
    QString out;
    out.reserve(number.size() * 2);
    for (qsizetype i = 0; i < number.size(); ++i) {
        out.append(number[i]);
        // Keep a surrogate pair together: one character, one blank.
        if (number[i].isHighSurrogate() && i + 1 < number.size() && number[i + 1].isLowSurrogate())
            out.append(number[++i]);
        out.append(QLatin1Char(' '));
    }
    return out;
}

QString ServiceTemplateExpander::expandTemplate(const QString &text, const CallInfo &call) const
{
    // Only look where a placeholder can be: most announcements have none of the later ones.
    if (!text.contains(QLatin1Char('<')))
        return text;
    QString t = text;
    t = replaceEach(t, u"<CALLER_NUMBER>", spacedNumber(call.sCallerNumber));
    t = replaceEach(t, u"<CALLER_NAME>", call.sCallerName);
    t = replaceEach(t, u"<MESSAGE_PATH>", call.sMessageFile);
    if (t.contains(u"<DATE>")) {
        // A date that cannot be read leaves the placeholder as it was.
        const QDate d = TemplateSteps::parseDate(call.sDate, m_locale, m_localeText);
        if (d.isValid())
            t = replaceEach(t, u"<DATE>", m_locale.toString(d, QLocale::LongFormat));
    }
    if (t.contains(u"<TIME>")) {
        const QTime tm = TemplateSteps::parseTime(call.sTime, m_localeText);
        if (tm.isValid())
            t = replaceEach(t, u"<TIME>", m_locale.toString(tm, QStringLiteral("hh:mm AP")));
    }
    t = replaceEach(t, u"<CONTACT>", call.sContactName);
    t = replaceEach(t, u"<CALL_TYPE>", TemplateSteps::callKindText(call.sCallKind));
    t = replaceEach(t, u"<LENGTH>", call.sDuration);
    t = replaceEach(t, u"<READ>", TemplateSteps::readText(call.nRead));
    t = replaceEach(t, u"<MESSAGEORCALL>", TemplateSteps::messageOrCall(call.sCallKind));
    t = replaceEach(t, u"<PLAY>", m_keys.play);
    t = replaceEach(t, u"<PREV>", m_keys.prev);
    t = replaceEach(t, u"<EXIT>", m_keys.exit);
    t = replaceEach(t, u"<NEXT>", m_keys.next);
    t = replaceEach(t, u"<FIRST>", m_keys.first);
    t = replaceEach(t, u"<DELETE>", m_keys.del);
    t = replaceEach(t, u"<MARK>", m_keys.mark);
    return t;
}

} // namespace quorvel
