#pragma once

#include "shared/common/Clock.h"
#include "tools/quorvel-modemsim/AtCommandParser.h"
#include "tools/quorvel-modemsim/ModemOutput.h"
#include "tools/quorvel-modemsim/ModemProfile.h"
#include "tools/quorvel-modemsim/VoiceDataReceiver.h"

#include <QByteArray>
#include <QMap>
#include <QString>

namespace quorvel::modemsim {

// The modem's brain: reads the host's bytes (AT command lines, voice data after AT+VTX) and
// answers as the profile's modem does; the line script drives the far end through ring(),
// callerId(), farEndHangup() and the rest. No I/O of its own: everything goes to ModemOutput,
// so it can be fed bytes and checked byte for byte.
class ModemInterpreter {
public:
    enum class LineState {
        OnHook, // idle
        Ringing, // a caller rings; ATA or AT+VLS=1 answers
        Dialing, // off-hook after ATD, the far end has not picked up
        Connected, // a call is up
        OffHook, // off-hook with nobody on the line (AT+VLS=1 alone, or the far end hung up)
    };
    enum class Mode {
        Command, // AT command lines
        Transmit, // voice data after AT+VTX
        Draining, // DLE ETX seen; OK follows once the line has played what is queued
    };
    enum class Result { Ok, Connect, Ring, NoCarrier, Error, NoDialtone, Busy, NoAnswer, Vcon };

    struct Options {
        // Hold OK after DLE ETX until finishTransmit(), as a modem does while its buffer plays.
        bool holdTransmitEnd = true;
    };

    ModemInterpreter(ModemProfile profile, ModemOutput &out, const Clock &clock, Options options);

    // Bytes from the host.
    void feed(const QByteArray &bytes);
    void hostOpened();
    // The host closed the port (DTR dropped): a modem hangs up and leaves voice data mode.
    void hostClosed();
    // The line has played the queued audio: send the held OK and go on with what came after.
    void finishTransmit();
    // The simulator is going away: end the call so its audio is kept.
    void shutdown();

    // The far end and the line, driven by the script.
    bool ring();
    void sendLine(const QString &text);
    bool callerId(const QString &number, const QString &name);
    bool farEndHangup();
    bool farEndAnswer();
    // DLE + code: a DTMF digit or a line event ('b', 'd', 's', 'q').
    bool sendEvent(char code);

    LineState lineState() const { return m_state; }
    Mode mode() const { return m_mode; }
    bool echo() const { return m_echo; }
    QString voiceClass() const { return m_class; }
    const VoiceMethod &voiceMethod() const;
    bool callerIdEnabled() const { return m_callerIdOn; }
    bool callActive() const { return m_callActive; }
    int callNumber() const { return m_callNumber; }
    const ModemProfile &profile() const { return m_profile; }

    static QString stateName(LineState state);
    static QString resultText(Result result);
    static int resultNumber(Result result);

private:
    enum class Step { Next, Stop, Error };

    void executeLine();
    Step execute(const AtCommand &cmd, Result *final);
    Step executeBasic(const AtCommand &cmd, Result *final);
    Step executeExtended(const AtCommand &cmd, Result *final);
    Step executeVoice(const AtCommand &cmd, Result *final);
    qsizetype feedTransmit(const char *data, qsizetype size);
    void finishBlock();
    void startTransmit();
    void answer(Result *final);
    void goOnHook(const QString &reason);
    void startCall(const QString &how);
    void endCall(const QString &reason);
    void reset();

    void sendResult(Result result);
    void sendInfo(const QString &text);
    void send(const QByteArray &bytes, const QString &logText);
    void event(const QString &text);

    ModemProfile m_profile;
    ModemOutput &m_out;
    const Clock &m_clock;
    Options m_options;

    // Command mode.
    QByteArray m_line;
    bool m_lineOverflow = false;
    bool m_commandDle = false;

    // Settings.
    bool m_echo = true;
    bool m_verbose = true;
    bool m_quiet = false;
    QString m_class = QStringLiteral("0");
    int m_method = 0;
    bool m_callerIdOn = false;
    QMap<int, int> m_registers;
    QMap<QString, QString> m_voiceParameters;

    // Line and call.
    LineState m_state = LineState::OnHook;
    bool m_callActive = false;
    int m_callNumber = 0;

    // Voice data.
    Mode m_mode = Mode::Command;
    VoiceDataReceiver m_receiver;
    QByteArray m_blockBytes; // sample bytes of this AT+VTX not yet handed to the call
    qint64 m_blockTotal = 0; // sample bytes of this AT+VTX in all
    bool m_blockFirstByte = true;
    QByteArray m_pending; // bytes that came after DLE ETX while the line drains
};

} // namespace quorvel::modemsim
