#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace quorvel {

// Dates and times as the user reads them: the locale's short date and long time formats.
// Qt's long time format carries a time zone name; the texts the system stores never do.
class LocaleText
{
public:
    explicit LocaleText(QLocale locale = QLocale::system());

    QString shortDate(const QDate &date) const;
    QString longTime(const QTime &time) const;
    // Parses a time of day written by the user or by longTime(); accepts "H:mm", "H:mm:ss",
    // the locale's short and long formats. Invalid QTime when nothing fits.
    QTime parseTime(const QString &text) const;

    QString shortDateFormat() const { return m_dateFormat; }
    QString longTimeFormat() const { return m_timeFormat; }

private:
    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
};

} // namespace quorvel
