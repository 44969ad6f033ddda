#pragma once

#include "shared/common/Clock.h"
#include "tools/quorvel-modemsim/AudioPacer.h"
#include "tools/quorvel-modemsim/CaptureWriter.h"
#include "tools/quorvel-modemsim/JsonLog.h"
#include "tools/quorvel-modemsim/ModemInterpreter.h"
#include "tools/quorvel-modemsim/ModemOutput.h"
#include "tools/quorvel-modemsim/PtyEndpoint.h"
#include "tools/quorvel-modemsim/ScriptRunner.h"
#include "tools/quorvel-modemsim/SignalWatcher.h"
#include "tools/quorvel-modemsim/SimOptions.h"
#include "tools/quorvel-modemsim/StdinReader.h"

#include <QObject>
#include <QTimer>
#include <memory>

namespace quorvel::modemsim {

// The simulator as a whole: the pty, the modem behind it, the script, the log and the capture.
class ModemSimulator : public QObject, public ModemOutput {
    Q_OBJECT
public:
    enum ExitCode { ExitOk = 0, ExitUsage = 2, ExitExpectTimeout = 3, ExitPty = 4 };

    explicit ModemSimulator(SimOptions options, QObject *parent = nullptr);
    ~ModemSimulator() override;

    // Sets everything up and publishes the link. ExitOk, or the exit code with *error.
    int start(QString *error);
    // Ends the call (its capture is written), closes the pty and reports finished(code).
    void shutdown(int code);

    // ModemOutput
    bool toHost(const QByteArray &bytes) override;
    void logReceived(const QString &commandLine) override;
    void logSent(const QString &text, bool delivered) override;
    void logEvent(const QString &text) override;
    void commandLine(const AtCommandLine &line) override;
    void callStarted(int number) override;
    void callAudio(const QByteArray &pcm16) override;
    void callEnded(int number, const QString &reason) override;
    void transmitStarted(int bytesPerSecond) override;
    void transmitProgress(qint64 sampleBytes) override;
    void transmitCleared() override;
    void transmitEnded(bool waitForDrain) override;

signals:
    void finished(int code);

private:
    void onReadyRead();
    void onStdinLine(const QString &line, int lineNumber);
    void resumeReading();
    void finishDrain();
    static int msUntil(double when, double now);

    SimOptions m_options;
    SystemClock m_clock;
    JsonLog m_log;
    PtyEndpoint m_pty;
    AudioPacer m_pacer;
    QTimer m_paceTimer;
    QTimer m_drainTimer;
    std::unique_ptr<CaptureWriter> m_capture;
    std::unique_ptr<ModemInterpreter> m_modem;
    ScriptRunner *m_runner = nullptr;
    StdinReader *m_stdin = nullptr;
    SignalWatcher *m_signals = nullptr;
    bool m_shutDown = false;
    bool m_muted = false;
};

} // namespace quorvel::modemsim
