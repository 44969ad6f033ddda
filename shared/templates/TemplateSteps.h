#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace quorvel {
class LocaleText;
}

namespace quorvel {

// The pieces both template expanders are made of.
namespace TemplateSteps {

// Replaces every occurrence of `placeholder` that is in `text` now with `value`. Text that a
// value brings in is not searched again in this step, so a caller named "<CALLER_NAME>" cannot
// keep the expansion going; it is searched by the later steps.
QString replaceEach(const QString &text, QStringView placeholder, const QString &value);

// "In Coming Call" ... "Out Going Recorded Call" for the kinds "0"-"4", "" for any other.
QString callKindText(const QString &callKind);
// "voice message" for the kinds "2", "3", "4", "call" otherwise.
QString messageOrCall(const QString &callKind);
// "read" for 1, "unread" otherwise.
QString readText(int readFlag);

// The date of a text the user's short date format wrote (other common forms accepted too);
// invalid when nothing fits. Two-digit years fall into 1930-2029.
QDate parseDate(const QString &text, const QLocale &locale, const LocaleText &localeText);
// The time of a text in the user's time formats or H:mm[:ss]; invalid when nothing fits.
QTime parseTime(const QString &text, const LocaleText &localeText);

} // namespace TemplateSteps
} // namespace quorvel
