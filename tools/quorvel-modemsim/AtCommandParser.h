#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace quorvel::modemsim {

// One command of an AT command line: a basic command ("E0", "&D2", "S0=2", "D5551234;") or an
// extended one ("+VSM=129,8000", "+FCLASS=?", "#CID=1").
struct AtCommand {
    enum class Form {
        Action, // "E0", "+VTX", "A"
        Set, // "+VSM=129", "S0=2"
        Query, // "+VCID?", "S0?"
        Test, // "+VSM=?"
    };

    QString name; // "A", "D", "E", "&D", "S", "+VSM", "#CID" (upper case)
    Form form = Form::Action;
    QString value; // digits of a basic command, arguments of a set, the dial string of D
    int reg = -1; // register number of an S command

    // The command as a modem would print it, in upper case: "E0", "+VSM=129,8000", "S0?".
    QString text() const;
    bool operator==(const AtCommand &) const = default;
};

struct AtCommandLine {
    QString text; // the line from "AT" on, as the host sent it
    QList<AtCommand> commands;
    bool valid = true; // false: the modem answers ERROR
    QString error; // why it is not valid

    // The line and each command written as a line of its own ("ATE0", "AT+VCID=1"), upper case:
    // what a script's `expect` compares against.
    QStringList matchForms() const;
};

// Splits one command line (without its CR) into commands. Pure. Blanks outside quoted strings
// are ignored, as modems do; letters outside quoted strings count in either case.
class AtCommandParser {
public:
    // `line` is what the host sent up to the CR. Returns nullopt-like (valid=false with an
    // empty text) when it holds no "AT" at all: modems ignore such lines.
    static bool findPrefix(const QByteArray &line, qsizetype *at);
    static AtCommandLine parse(const QByteArray &line);
};

} // namespace quorvel::modemsim
