#include "tools/quorvel-contacts/ContactsCsv.h"

namespace quorvel::ContactsCsv {

namespace {
using F = ContactRecord::Field;

bool fits(const QString &value, F field)
{
    return value.toUtf8().size() <= ContactRecord::layout(field).width;
}
} // namespace

std::optional<QString> modeForRule(const QString &rule)
{
    const QString r = rule.trimmed().toLower();
    if (r.isEmpty() || r == QLatin1String("default"))
        return QStringLiteral("1");
    if (r == QLatin1String("hangup"))
        return QStringLiteral("2");
    if (r == QLatin1String("nothing"))
        return QStringLiteral("3");
    if (r == QLatin1String("answer"))
        return QStringLiteral("4");
    return std::nullopt;
}

QString ruleForMode(const QString &mode)
{
    if (mode == QLatin1String("2"))
        return QStringLiteral("hangup");
    if (mode == QLatin1String("3"))
        return QStringLiteral("nothing");
    if (mode == QLatin1String("4"))
        return QStringLiteral("answer");
    return QStringLiteral("default");
}

std::optional<QStringList> splitLine(const QString &line)
{
    QStringList fields;
    QString current;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
                    current.append(c);
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                current.append(c);
            }
        } else if (c == QLatin1Char('"') && current.trimmed().isEmpty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
            current.clear();
        } else if (c == QLatin1Char(',')) {
            fields.append(wasQuoted ? current : current.trimmed());
            current.clear();
            wasQuoted = false;
        } else if (!wasQuoted) {
            current.append(c);
        } else if (!c.isSpace()) {
            return std::nullopt; // text after a closing quote
        }
    }
    if (quoted)
        return std::nullopt;
    fields.append(wasQuoted ? current : current.trimmed());
    return fields;
}

QString joinLine(const QStringList &fields)
{
    QStringList out;
    for (const QString &f : fields) {
        if (f.contains(QLatin1Char(',')) || f.contains(QLatin1Char('"')) || f != f.trimmed()) {
            QString q = f;
            q.replace(QLatin1String("\""), QLatin1String("\"\""));
            out.append(QLatin1Char('"') + q + QLatin1Char('"'));
        } else {
            out.append(f);
        }
    }
    return out.join(QLatin1Char(','));
}

std::optional<ContactRecord> makeRecord(const NewContact &c, QString *error)
{
    const auto mode = modeForRule(c.rule);
    if (!mode) {
        *error = QStringLiteral("unknown rule \"%1\" (default, hangup, nothing or answer)")
                     .arg(c.rule);
        return std::nullopt;
    }
    if (c.name.trimmed().isEmpty()) {
        *error = QStringLiteral("the name is empty");
        return std::nullopt;
    }
    if (!fits(c.name, F::Name)) {
        *error = QStringLiteral("the name is longer than 32 bytes");
        return std::nullopt;
    }
    // A number cut short would match far more callers than meant.
    if (!fits(c.number, F::CallerNumber)) {
        *error = QStringLiteral("the number is longer than 40 bytes");
        return std::nullopt;
    }
    const bool answer = *mode == QLatin1String("4");
    if (!answer && (!c.greeting.isEmpty() || !c.rings.isEmpty() || c.beep)) {
        *error = QStringLiteral("--greeting, --rings and --beep belong to the rule answer");
        return std::nullopt;
    }
    if (!fits(c.greeting, F::Greeting)) {
        *error = QStringLiteral("the greeting name is longer than 64 bytes");
        return std::nullopt;
    }
    if (!c.rings.isEmpty()) {
        bool ok = false;
        const int rings = c.rings.toInt(&ok);
        if (!ok || rings < 0 || rings > 99) {
            *error = QStringLiteral("rings must be a number from 0 to 99");
            return std::nullopt;
        }
    }

    // The fields the desktop's editor writes; the others stay zero bytes as in a new record.
    ContactRecord r;
    r.setField(F::Name, c.name.trimmed());
    r.setField(F::Picture, QString());
    r.setField(F::CallerName, QString());
    r.setField(F::CallerNumber, c.number.trimmed());
    r.setField(F::AnswerMode, *mode);
    r.setField(F::PickUp, answer ? QStringLiteral("1") : QStringLiteral("0"));
    r.setField(F::Greeting, answer ? c.greeting : QString());
    r.setField(F::Rings, answer ? c.rings : QString());
    if (answer)
        r.setField(F::BeepFlag, c.beep ? QStringLiteral("1") : QStringLiteral("0"));
    r.setField(F::Emergency, QStringLiteral("0"));
    r.setField(F::EventsMode, QStringLiteral("1"));
    r.setField(F::Notes, QString());
    return r;
}

} // namespace quorvel::ContactsCsv
