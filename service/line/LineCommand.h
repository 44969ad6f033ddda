#pragma once

#include <QString>

namespace quorvel {

// One command of channel 408, checked before anything acts on it. The desktop never sends a
// damaged command, but any local process can write to the channel, so a command that lacks
// its arguments or carries something that is not a phone number is refused as a whole.
struct LineCommand {
    enum class Kind {
        On,
        Off,
        Auto,
        AnswerMachine,
        DropTheCall,
        DoNothing,
        CallOut,
        DropCall,
        Hello,
        GetTTSProp,
        Unknown, // not a command of the line: ignored without a word
        Malformed, // a known command with missing or unusable arguments
    };

    Kind kind = Kind::Unknown;
    QString name; // field 0 as received
    QString timeOn; // "AUTO"
    QString timeOff; // "AUTO"
    QString number; // "CallOut", trimmed
    QString problem; // why a Malformed command was refused

    static LineCommand parse(const QString &text);

    // Longest number a modem's dial buffer takes.
    static constexpr int kMaxDialLength = 40;
    // Digits, the keypad keys, "+" and the dial modifiers that pause or wait ("," "W" "P" "T"),
    // with blanks, dashes, dots and parentheses as people write numbers. Anything else could
    // end the dial command early or smuggle another command to the modem.
    static bool isDialable(const QString &number);
};

} // namespace quorvel
