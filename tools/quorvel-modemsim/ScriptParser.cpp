#include "tools/quorvel-modemsim/ScriptParser.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>

namespace quorvel::modemsim {

namespace {

// A day is far beyond any test or demo; it keeps timer arithmetic in range.
constexpr double kMaxSeconds = 86400.0;
constexpr int kMaxRings = 10000;

bool parseSeconds(const QString &token, double *seconds)
{
    static const QRegularExpression number(QStringLiteral("^(\\d+(\\.\\d*)?|\\.\\d+)$"));
    if (!number.match(token).hasMatch())
        return false;
    bool ok = false;
    const double value = token.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value > kMaxSeconds)
        return false;
    *seconds = value;
    return true;
}

bool parseCount(const QString &token, int low, int high, int *count)
{
    static const QRegularExpression digits(QStringLiteral("^\\d{1,9}$"));
    if (!digits.match(token).hasMatch())
        return false;
    const int value = token.toInt();
    if (value < low || value > high)
        return false;
    *count = value;
    return true;
}

bool isDtmfDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u'*' || c == u'#' || (c >= u'A' && c <= u'D');
}

} // namespace

QString ScriptParser::kindName(ScriptCommand::Kind kind)
{
    switch (kind) {
    case ScriptCommand::Kind::Ring:
        return QStringLiteral("ring");
    case ScriptCommand::Kind::Ringing:
        return QStringLiteral("ringing");
    case ScriptCommand::Kind::Send:
        return QStringLiteral("send");
    case ScriptCommand::Kind::CallerId:
        return QStringLiteral("cid");
    case ScriptCommand::Kind::Wait:
        return QStringLiteral("wait");
    case ScriptCommand::Kind::Hangup:
        return QStringLiteral("hangup");
    case ScriptCommand::Kind::Dtmf:
        return QStringLiteral("dtmf");
    case ScriptCommand::Kind::Dle:
        return QStringLiteral("dle");
    case ScriptCommand::Kind::Expect:
        return QStringLiteral("expect");
    case ScriptCommand::Kind::Answer:
        return QStringLiteral("answer");
    case ScriptCommand::Kind::Exit:
        return QStringLiteral("exit");
    case ScriptCommand::Kind::Mute:
        return QStringLiteral("mute");
    }
    return {};
}

ScriptParser::LineResult ScriptParser::parseLine(const QString &rawLine, int lineNumber,
                                                 ScriptCommand *command, ScriptError *error)
{
    QString line = rawLine;
    while (line.endsWith(u'\r') || line.endsWith(u'\n'))
        line.chop(1);
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
        return LineResult::Empty;

    auto fail = [&](const QString &message) {
        *error = ScriptError { lineNumber, message };
        return LineResult::Error;
    };

    // The keyword, then the rest of the line with the single separating blank run removed.
    const qsizetype start = line.indexOf(trimmed.at(0));
    qsizetype end = start;
    while (end < line.size() && !line.at(end).isSpace())
        ++end;
    const QString keyword = line.mid(start, end - start).toLower();
    qsizetype restStart = end;
    while (restStart < line.size() && line.at(restStart).isSpace())
        ++restStart;
    const QString rest = line.mid(restStart);
    const QStringList args
        = rest.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);

    ScriptCommand c;
    c.line = lineNumber;
    c.source = trimmed;

    auto noArguments = [&](ScriptCommand::Kind kind) {
        if (!args.isEmpty())
            return fail(QStringLiteral("%1 takes no arguments").arg(keyword));
        c.kind = kind;
        *command = c;
        return LineResult::Command;
    };

    if (keyword == u"ring")
        return noArguments(ScriptCommand::Kind::Ring);
    if (keyword == u"hangup")
        return noArguments(ScriptCommand::Kind::Hangup);
    if (keyword == u"answer")
        return noArguments(ScriptCommand::Kind::Answer);
    if (keyword == u"mute") {
        c.count = 1;
        return noArguments(ScriptCommand::Kind::Mute);
    }
    if (keyword == u"unmute")
        return noArguments(ScriptCommand::Kind::Mute);

    if (keyword == u"ringing") {
        if (args.size() != 1 || !parseCount(args.at(0), 1, kMaxRings, &c.count))
            return fail(
                QStringLiteral("ringing needs a number of rings from 1 to %1").arg(kMaxRings));
        c.kind = ScriptCommand::Kind::Ringing;
    } else if (keyword == u"send") {
        // The text goes out as written, inner blanks included; trailing blanks are kept too,
        // since a raw line may be meant to carry them.
        c.kind = ScriptCommand::Kind::Send;
        c.text = rest;
    } else if (keyword == u"cid") {
        if (args.isEmpty())
            return fail(QStringLiteral("cid needs a number (and optionally a name)"));
        c.kind = ScriptCommand::Kind::CallerId;
        c.text = args.at(0);
        c.name = rest.mid(args.at(0).size()).trimmed();
    } else if (keyword == u"wait") {
        if (args.size() != 1 || !parseSeconds(args.at(0), &c.seconds))
            return fail(
                QStringLiteral("wait needs a number of seconds (0 to %1)").arg(kMaxSeconds));
        c.kind = ScriptCommand::Kind::Wait;
    } else if (keyword == u"dtmf") {
        if (args.size() != 1)
            return fail(QStringLiteral("dtmf needs one run of digits (0-9 * # A-D)"));
        const QString digits = args.at(0).toUpper();
        for (QChar d : digits)
            if (!isDtmfDigit(d))
                return fail(QStringLiteral("dtmf: '%1' is not a DTMF digit (0-9 * # A-D)").arg(d));
        c.kind = ScriptCommand::Kind::Dtmf;
        c.text = digits;
    } else if (keyword == u"dle") {
        if (args.size() != 1 || args.at(0).size() != 1 || args.at(0).at(0).unicode() > 0x7E
            || args.at(0).at(0).unicode() < 0x21)
            return fail(QStringLiteral("dle needs one printable character (such as b, d, s, q)"));
        c.kind = ScriptCommand::Kind::Dle;
        c.text = args.at(0);
    } else if (keyword == u"expect") {
        if (args.size() != 2)
            return fail(QStringLiteral("expect needs a command and a number of seconds"));
        if (!parseSeconds(args.at(1), &c.seconds) || c.seconds <= 0)
            return fail(
                QStringLiteral("expect: '%1' is not a number of seconds above 0").arg(args.at(1)));
        c.kind = ScriptCommand::Kind::Expect;
        c.text = args.at(0).toUpper();
    } else if (keyword == u"exit") {
        c.kind = ScriptCommand::Kind::Exit;
        if (args.size() > 1 || (args.size() == 1 && !parseCount(args.at(0), 0, 255, &c.count)))
            return fail(QStringLiteral("exit takes an optional code from 0 to 255"));
    } else {
        return fail(QStringLiteral("unknown command '%1'").arg(keyword));
    }
    *command = c;
    return LineResult::Command;
}

ScriptParseResult ScriptParser::parse(const QByteArray &text)
{
    ScriptParseResult result;
    const QStringList lines = QString::fromUtf8(text).split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        ScriptCommand command;
        ScriptError error;
        switch (parseLine(lines.at(i), int(i + 1), &command, &error)) {
        case LineResult::Empty:
            break;
        case LineResult::Command:
            result.commands.append(command);
            break;
        case LineResult::Error:
            result.errors.append(error);
            break;
        }
    }
    return result;
}

} // namespace quorvel::modemsim
