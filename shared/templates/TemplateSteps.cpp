#include "shared/templates/TemplateSteps.h"

#include "shared/common/LocaleText.h"

namespace quorvel::TemplateSteps {

QString replaceEach(const QString &text, QStringView placeholder, const QString &value)
{
    qsizetype at = text.indexOf(placeholder);
    if (at < 0 || placeholder.isEmpty())
        return text;
    QString out;
    out.reserve(text.size() + value.size());
    qsizetype from = 0;
    while (at >= 0) {
        out.append(QStringView(text).mid(from, at - from));
        out.append(value);
        from = at + placeholder.size();
        at = text.indexOf(placeholder, from);
    }
    out.append(QStringView(text).mid(from));
    return out;
}

QString callKindText(const QString &callKind)
{
    if (callKind == QLatin1String("0"))
        return QStringLiteral("In Coming Call");
    if (callKind == QLatin1String("1"))
        return QStringLiteral("Out Going Call");
    if (callKind == QLatin1String("2"))
        return QStringLiteral("Voice Message");
    if (callKind == QLatin1String("3"))
        return QStringLiteral("In Coming Recorded Call");
    if (callKind == QLatin1String("4"))
        return QStringLiteral("Out Going Recorded Call");
    return QString();
}

QString messageOrCall(const QString &callKind)
{
    if (callKind == QLatin1String("2") || callKind == QLatin1String("3")
        || callKind == QLatin1String("4"))
        return QStringLiteral("voice message");
    return QStringLiteral("call");
}

QString readText(int readFlag)
{
    return readFlag == 1 ? QStringLiteral("read") : QStringLiteral("unread");
}

QDate parseDate(const QString &text, const QLocale &locale, const LocaleText &localeText)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    const QString formats[]
        = { localeText.shortDateFormat(), locale.dateFormat(QLocale::LongFormat),
            QStringLiteral("yyyy-MM-dd"), QStringLiteral("d/M/yyyy"), QStringLiteral("d.M.yyyy") };
    for (const QString &fmt : formats) {
        QDate d = locale.toDate(t, fmt);
        if (!d.isValid())
            continue;
        // A two-digit year reads as 19yy; dates of calls are in this era.
        if (!fmt.contains(QLatin1String("yyyy")) && fmt.contains(QLatin1String("yy"))
            && d.year() < 1930)
            d = d.addYears(100);
        return d;
    }
    return {};
}

QTime parseTime(const QString &text, const LocaleText &localeText)
{
    return localeText.parseTime(text);
}

} // namespace quorvel::TemplateSteps
