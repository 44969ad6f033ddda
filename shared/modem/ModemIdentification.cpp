#include "shared/modem/ModemIdentification.h"

#include "shared/common/TextCodec.h"
#include "shared/modem/AtResult.h"

#include <QRegularExpression>

namespace quorvel::ModemIdentification {

namespace {
constexpr int kMaxText = 64;
}

QString answerText(const QList<QByteArray> &lines)
{
    static const QRegularExpression prefix(QStringLiteral("^\\+[A-Z]{2,6}:\\s*"),
                                           QRegularExpression::CaseInsensitiveOption);
    for (const QByteArray &raw : lines) {
        if (AtResults::classify(raw) != AtResult::Text)
            continue;
        QString text = TextCodec::decode(raw.trimmed());
        text.remove(prefix);
        text.remove('"');
        text = text.simplified();
        bool informative = false;
        for (const QChar c : text)
            if (c.isLetterOrNumber()) {
                informative = true;
                break;
            }
        if (!informative)
            continue;
        if (text.size() > kMaxText)
            text = text.left(kMaxText).trimmed();
        return text;
    }
    return {};
}

QString deviceName(const QString &maker, const QString &model, const QString &ati3,
                   const QString &ati0, const QString &path)
{
    QString name;
    if (!maker.isEmpty() || !model.isEmpty()) {
        if (!maker.isEmpty() && model.startsWith(maker, Qt::CaseInsensitive))
            name = model;
        else
            name = (maker + ' ' + model).simplified();
    } else if (!ati3.isEmpty()) {
        name = ati3;
    } else if (!ati0.isEmpty()) {
        name = ati0;
    } else {
        name = QStringLiteral("Voice modem");
    }
    return name + QStringLiteral(" (") + path + ')';
}

} // namespace quorvel::ModemIdentification
