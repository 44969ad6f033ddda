#pragma once

#include "tools/quorvel-modemsim/AtCommandParser.h"
#include "tools/quorvel-modemsim/ModemInterpreter.h"
#include "tools/quorvel-modemsim/ScriptParser.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <optional>

namespace quorvel::modemsim {

// Plays a line script against the modem, one command after the other, in real time: rings a
// ring period apart, waits, DTMF digits 100 ms apart, and waits for the host's commands. Every
// command line the host sends is kept until an `expect` takes it, so a host faster than the
// script is not missed: `expect` takes the first kept line that matches and drops the ones
// before it.
class ScriptRunner : public QObject {
    Q_OBJECT
public:
    static constexpr int kDigitGapMs = 100;

    ScriptRunner(ModemInterpreter &modem, double ringPeriodSeconds, QObject *parent = nullptr);

    void append(const ScriptCommand &command);
    // No more commands will come (the script file is loaded, or stdin ended).
    void setInputFinished();
    // A command line from the host.
    void noteCommand(const AtCommandLine &line);

    bool busy() const { return m_busy; }
    int unconsumedCount() const { return int(m_unconsumed.size()); }
    // True when `forms` (AtCommandLine::matchForms) starts with the expected command.
    static bool matches(const QStringList &forms, const QString &expected);

signals:
    void logEvent(const QString &text);
    // `exit CODE`, or 3 when an `expect` timed out.
    void exitRequested(int code);
    // `mute` / `unmute`.
    void muteRequested(bool muted);
    void done();

private:
    void scheduleNext();
    void runNext();
    void finishCommand();
    void ringTick();
    void digitTick();
    bool takeExpected();
    void expectTimedOut();
    void checkRinging();

    ModemInterpreter &m_modem;
    int m_ringPeriodMs;
    QList<ScriptCommand> m_queue;
    bool m_busy = false;
    bool m_scheduled = false;
    bool m_inputFinished = false;
    bool m_doneReported = false;
    QTimer m_timer;
    std::optional<ScriptCommand> m_current;
    int m_ringsLeft = 0;
    QString m_digitsLeft;
    QList<QStringList> m_unconsumed;
};

} // namespace quorvel::modemsim
