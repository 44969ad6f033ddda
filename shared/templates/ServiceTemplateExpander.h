#pragma once

#include "shared/call/CallInfo.h"
#include "shared/common/LocaleText.h"

#include <QLocale>
#include <QString>

namespace quorvel {

// Keypad keys of the remote-access commands, as the line loaded them.
struct RemoteAccessKeys {
    QString play; // "<PLAY>"
    QString prev; // "<PREV>"
    QString exit; // "<EXIT>"
    QString next; // "<NEXT>"
    QString first; // "<FIRST>"
    QString del; // "<DELETE>"
    QString mark; // "<MARK>"
};

// The line service's template expander: turns an announcement template into the text the
// speech engine reads for a call. The number is spaced so the engine reads it digit by digit;
// dates and times are spoken in the user's long date and medium time forms.
class ServiceTemplateExpander {
public:
    explicit ServiceTemplateExpander(RemoteAccessKeys keys = {},
                                     QLocale locale = QLocale::system());

    void setKeys(const RemoteAccessKeys &keys) { m_keys = keys; }

    QString expandTemplate(const QString &text, const CallInfo &call) const;

    // "1 2 3 " for "123"; "UNKNOWN" stays as it is.
    static QString spacedNumber(const QString &number);

private:
    RemoteAccessKeys m_keys;
    QLocale m_locale;
    LocaleText m_localeText;
};

} // namespace quorvel
