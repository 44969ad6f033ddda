#pragma once

#include "controls/serial/SerialPort.h"
#include "service/host/SerialLink.h"
#include "service/serial/CommCidReader.h"

#include <QString>
#include <QTimer>

namespace quorvel {

class FrmMain;

// The caller-ID form ("Caller ID Form", never shown): in serial caller-ID mode it holds the
// modem's serial port while the line is idle, counts the rings, reads the caller-ID lines and
// tells the line form about the call. The telephony line takes the call over from the second
// ring on; when that call is over the line form hands the port back here (commCloseTapi).
class FrmCommControl final : public CommControl {
    Q_OBJECT
public:
    struct Options {
        // Lock folder and line settings of the port; the lock folder must be the one the
        // telephony layer uses, so each side sees the other's lock file.
        SerialPort::Settings port;
        // The idle watch: a call that has not been taken over ends after `idleTicks` ticks
        // without a ring (a caller who gives up before the answer; the modem says nothing).
        int idleTickMs = 1000;
        int idleTicks = 13;
        // Pause between attempts on a port another program holds (five attempts in all).
        int busyRetryPauseMs = 1000;
        // Bound of the wait for the telephony line to report closed.
        int lineCloseWaitMs = 5000;
        // The modem resets itself when the telephony layer lets it go; a command sent before
        // it settled is lost.
        int settleMs = 1500;
        // After the port went away (modem unplugged), how often to look for it again.
        int reopenMs = 5000;
    };

    static constexpr int kBusyAttempts = 5;

    FrmCommControl(FrmMain &main, SerialCallSink &line, Options options, QObject *parent = nullptr);
    FrmCommControl(FrmMain &main, SerialCallSink &line, QObject *parent = nullptr);
    // Unload: the port is closed.
    ~FrmCommControl() override;

    void commConnect(int port, const QString &command) override;
    void commDisconnect() override;
    void commCloseTapi() override;
    bool isPortOpen() const override { return m_port.isOpen(); }
    void stopIdleWatch() override;

    // Resets the per-call values.
    void initVals();

    bool idleWatchRunning() const { return m_idleTimer.isActive(); }
    const CommCidReader &reader() const { return m_reader; }
    // Port number and command of the last connect; commCloseTapi reconnects with them.
    int commPort() const { return m_commPort; }
    QString modemCommand() const { return m_modemCommand; }

private:
    void journal(const QString &text, long long code, const QString &tag) const;
    QString portPath(int port) const;
    // One attempt to open the port and send the command; false with the port's error.
    bool openAndSend(const QString &path);
    void onReadyRead();
    void onIdleTick();
    void onPortLost();
    void onReopenTick();

    FrmMain &m_main;
    SerialCallSink &m_line;
    Options m_options;
    SerialPort m_port;
    CommCidReader m_reader;
    QTimer m_idleTimer;
    QTimer m_reopenTimer;
    int m_idleTicks = 0;
    int m_commPort = 0;
    QString m_modemCommand;
};

} // namespace quorvel
