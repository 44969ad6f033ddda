#pragma once

#include "shared/call/CallInfo.h"
#include "shared/common/LocaleText.h"

#include <QLocale>
#include <QString>

namespace quorvel {

// The desktop's template expander, used to try a template out with sample data. It knows no
// message path and no keypad keys (those placeholders stay in the text), gives the number and
// the date as they are and the time as HH:MM.
class DesktopTemplateExpander {
public:
    explicit DesktopTemplateExpander(QLocale locale = QLocale::system());

    QString expandTemplate(const QString &text, const CallInfo &call) const;

private:
    LocaleText m_localeText;
};

} // namespace quorvel
