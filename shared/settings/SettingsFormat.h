#pragma once

#include "shared/settings/SettingsTree.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quorvel {

// The settings file: UTF-8 text, one line per section header or value.
//
//   ; comment
//   bRun=1                      <- root values come before the first header (or under "[]")
//   [Properties\TabGeneral]
//   ChkRunAsProc=0
//
// A header is the text between the first "[" and the last "]" of its line, taken as written.
// A value line is Name=Value, split at the first "=" that is not escaped; blanks around the name
// and the value are not part of them. Names and values escape what a line cannot hold as is:
//   \\ backslash   \n LF   \r CR   \t tab   \0 NUL   \s blank   \= equals sign
//   \xHH a character U+0000..U+00FF   \uHHHH a UTF-16 unit   \ + other punctuation: itself
// The writer escapes only what needs it (backslash, control characters, a blank at either end,
// "=" and a leading "[", ";" or "#" in names), so the file stays readable and every text reads
// back exactly as it was stored.
namespace SettingsFormat {

struct ParseResult {
    SettingsTree tree;
    // One line per problem, for the journal: "line 7: ...".
    QStringList problems;
    // True when something may have been lost or cut (skipped lines, a line without its end):
    // the file is kept aside before it is replaced. Text merely read as Windows-1252 is not
    // damage: all of it was understood.
    bool damaged = false;
};

// Reads what can be read; never fails. Lines that are not valid UTF-8 are read as
// Windows-1252, the encoding of files from older installations.
ParseResult parse(const QByteArray &bytes);

// The whole file for `tree`, CR LF line ends.
QByteArray serialize(const SettingsTree &tree);

// Escaping of one value or name as it appears in a line.
QString escapeValue(const QString &value);
QString escapeName(const QString &name);
// Undoes the escapes; `problem` (if given) receives a text when an escape was not understood,
// in which case the backslash is kept as written.
QString unescape(const QString &text, QString *problem = nullptr);

} // namespace SettingsFormat
} // namespace quorvel
