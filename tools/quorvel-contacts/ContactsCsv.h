#pragma once

#include "shared/contacts/ContactRecord.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace quorvel {

// The exchange form of block lists: one contact per line, "name,number,rule", fields quoted
// with double quotes when they hold a comma or a quote.
namespace ContactsCsv {

// "default", "hangup", "nothing", "answer" and the answering modes "1"-"4" they stand for.
std::optional<QString> modeForRule(const QString &rule);
QString ruleForMode(const QString &mode);

// The fields of one line; nullopt when a quote is not closed.
std::optional<QStringList> splitLine(const QString &line);
QString joinLine(const QStringList &fields);

struct NewContact {
    QString name;
    QString number;
    QString rule = QStringLiteral("default");
    QString greeting;
    QString rings;
    bool beep = false;
};

// A record as the desktop's editor writes one; nullopt and `error` set when a value does not
// fit its field or the rule is unknown.
std::optional<ContactRecord> makeRecord(const NewContact &c, QString *error);

} // namespace ContactsCsv
} // namespace quorvel
