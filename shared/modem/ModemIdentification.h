#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace quorvel {

// The name a modem goes by: what it says it is, then its port. Built from the answers to
// AT+FMI?/AT+FMM? (or AT+GMI/AT+GMM), ATI3 and ATI0, so the same modem on the same port has
// the same name from run to run.
namespace ModemIdentification {

// The identification text in the lines a query answered (without the final OK): the first line
// that carries a letter or digit, without a "+FMI:"-style prefix and quotes, blanks collapsed,
// at most 64 characters. Empty when there is none.
QString answerText(const QList<QByteArray> &lines);

// "<maker> <model> (<path>)" when the modem names maker or model, else "<ATI3> (<path>)",
// else "<ATI0> (<path>)", else "Voice modem (<path>)". A model that already begins with the
// maker's name is not prefixed again.
QString deviceName(const QString &maker, const QString &model, const QString &ati3,
                   const QString &ati0, const QString &path);

} // namespace ModemIdentification
} // namespace quorvel
