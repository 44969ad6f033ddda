#include "shared/common/LocaleText.h"

#include <QRegularExpression>

namespace quorvel {

LocaleText::LocaleText(QLocale locale)
    : m_locale(std::move(locale))
    , m_dateFormat(m_locale.dateFormat(QLocale::ShortFormat))
    , m_timeFormat(m_locale.timeFormat(QLocale::LongFormat))
{
    // Drop the zone ("t") and the blank before it.
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
    m_timeFormat.remove(zone);
    m_timeFormat = m_timeFormat.trimmed();
}

QString LocaleText::shortDate(const QDate &date) const
{
    return m_locale.toString(date, m_dateFormat);
}

QString LocaleText::longTime(const QTime &time) const
{
    return m_locale.toString(time, m_timeFormat);
}

QTime LocaleText::parseTime(const QString &text) const
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    for (const QString &fmt : {m_timeFormat, m_locale.timeFormat(QLocale::ShortFormat),
                               QStringLiteral("H:mm:ss"), QStringLiteral("H:mm"),
                               QStringLiteral("h:mm:ss AP"), QStringLiteral("h:mm AP")}) {
        const QTime parsed = m_locale.toTime(t, fmt);
        if (parsed.isValid())
            return parsed;
        const QTime c = QTime::fromString(t, fmt);
        if (c.isValid())
            return c;
    }
    return {};
}

} // namespace quorvel
