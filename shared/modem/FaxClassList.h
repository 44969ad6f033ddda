#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace quorvel {

// The service classes from the answer to AT+FCLASS=? ("0,1,8", "0,1,1.0,2,8", "(0-2,8)").
namespace FaxClassList {

QStringList parse(const QList<QByteArray> &lines);
// Class 8 is voice (V.253).
bool hasVoice(const QStringList &classes);

} // namespace FaxClassList
} // namespace quorvel
