#include "service/line/LineCommand.h"

#include "shared/channel/ChannelMessage.h"

namespace quorvel {

bool LineCommand::isDialable(const QString &number)
{
    if (number.isEmpty() || number.size() > kMaxDialLength)
        return false;
    bool anyDigit = false;
    for (const QChar c : number) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9') {
            anyDigit = true;
            continue;
        }
        switch (u) {
        case '*':
        case '#':
        case '+':
        case ',':
        case 'W':
        case 'w':
        case 'P':
        case 'p':
        case 'T':
        case 't':
        case ' ':
        case '-':
        case '.':
        case '(':
        case ')':
            continue;
        default:
            return false;
        }
    }
    return anyDigit;
}

LineCommand LineCommand::parse(const QString &text)
{
    const QStringList fields = ChannelMessage::split(text);
    LineCommand cmd;
    cmd.name = fields.value(0);
    const QString &n = cmd.name;

    auto malformed = [&cmd](const QString &why) {
        cmd.kind = Kind::Malformed;
        cmd.problem = why;
        return cmd;
    };

    if (n == QLatin1String("ON")) {
        cmd.kind = Kind::On;
    } else if (n == QLatin1String("OFF")) {
        cmd.kind = Kind::Off;
    } else if (n == QLatin1String("AUTO")) {
        if (fields.size() < 3)
            return malformed(QStringLiteral("AUTO needs a time on and a time off"));
        cmd.kind = Kind::Auto;
        cmd.timeOn = fields[1];
        cmd.timeOff = fields[2];
    } else if (n == QLatin1String("AnswerMachine")) {
        cmd.kind = Kind::AnswerMachine;
    } else if (n == QLatin1String("DropTheCall")) {
        cmd.kind = Kind::DropTheCall;
    } else if (n == QLatin1String("DoNothing")) {
        cmd.kind = Kind::DoNothing;
    } else if (n == QLatin1String("CallOut")) {
        if (fields.size() < 2)
            return malformed(QStringLiteral("CallOut needs a number"));
        const QString number = fields[1].trimmed();
        if (!isDialable(number))
            return malformed(QStringLiteral("CallOut: not a number to dial"));
        cmd.kind = Kind::CallOut;
        cmd.number = number;
    } else if (n == QLatin1String("DropCall")) {
        cmd.kind = Kind::DropCall;
    } else if (n == QLatin1String("HELLO")) {
        cmd.kind = Kind::Hello;
    } else if (n == QLatin1String("GetTTSProp")) {
        cmd.kind = Kind::GetTTSProp;
    }
    return cmd;
}

} // namespace quorvel
