#pragma once

#include "tools/quorvel-modemsim/AtCommandParser.h"

#include <QByteArray>
#include <QString>

namespace quorvel::modemsim {

// Where the simulated modem's words and deeds go: the host's port, the log, the capture, and the
// pacing of the voice line. The simulator wires it to the pty; tests record it.
class ModemOutput {
public:
    virtual ~ModemOutput() = default;

    // Bytes for the host. False when the host does not hold the port open: like a modem whose
    // DTR is down, the bytes are lost.
    virtual bool toHost(const QByteArray &bytes) = 0;

    virtual void logReceived(const QString &commandLine) = 0;
    virtual void logSent(const QString &text, bool delivered) = 0;
    virtual void logEvent(const QString &text) = 0;

    // Every AT line the host sent, for scripts waiting on the host.
    virtual void commandLine(const AtCommandLine &line) = 0;

    // A call: from going off-hook (answer or dial) until either side hangs up.
    virtual void callStarted(int number) = 0;
    // Audio the host played during the current call, as signed 16-bit 8 kHz samples.
    virtual void callAudio(const QByteArray &pcm16) = 0;
    virtual void callEnded(int number, const QString &reason) = 0;

    // The voice line's clock: AT+VTX began at `bytesPerSecond`, more sample bytes came in,
    // the host asked to drop what is queued (DLE CAN), and the data ended. With
    // waitForDrain the modem holds its OK until finishTransmit() is called.
    virtual void transmitStarted(int bytesPerSecond) = 0;
    virtual void transmitProgress(qint64 sampleBytes) = 0;
    virtual void transmitCleared() = 0;
    virtual void transmitEnded(bool waitForDrain) = 0;
};

} // namespace quorvel::modemsim
