#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace quorvel::modemsim {

// One step of a line script: what the telephone line and the far end do.
struct ScriptCommand {
    enum class Kind {
        Ring, // one RING
        Ringing, // `count` RINGs, one ring period apart, until answered
        Send, // `text` as a raw line
        CallerId, // `text` = number, `name` = name (may be empty)
        Wait, // `seconds`
        Hangup, // the far end gives up or hangs up
        Dtmf, // `text` = the digits
        Dle, // `text` = one event character sent as DLE + character
        Expect, // `text` = command prefix, `seconds` = how long to wait for it
        Answer, // the far end of an outgoing call picks up
        Exit, // `count` = exit code
        Mute, // `count` 1: the modem hangs (reads and drops everything, says nothing); 0: back
    };

    Kind kind = Kind::Ring;
    int line = 0; // 1-based line in the script (or on stdin)
    QString source; // the line as written, for the log
    QString text;
    QString name;
    double seconds = 0;
    int count = 0;

    bool operator==(const ScriptCommand &) const = default;
};

struct ScriptError {
    int line = 0;
    QString message;

    QString toString() const { return QStringLiteral("line %1: %2").arg(line).arg(message); }
};

struct ScriptParseResult {
    QList<ScriptCommand> commands;
    QList<ScriptError> errors;
};

// Reads the line-script language. Pure: text in, commands or errors with line numbers out.
class ScriptParser {
public:
    enum class LineResult { Empty, Command, Error };

    // Parses one line. Blank lines and lines whose first non-blank character is '#' are Empty.
    // A '#' later in a line is part of it: it is a DTMF digit and may appear in sent text.
    static LineResult parseLine(const QString &line, int lineNumber, ScriptCommand *command,
                                ScriptError *error);

    // Parses a whole script (UTF-8, LF or CR LF line ends).
    static ScriptParseResult parse(const QByteArray &text);

    static QString kindName(ScriptCommand::Kind kind);
};

} // namespace quorvel::modemsim
