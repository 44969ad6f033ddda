#pragma once

#include "controls/modem/ModemChannel.h"
#include "controls/modem/ModemIdentityCache.h"
#include "controls/modem/Telephony.h"
#include "controls/modem/VoiceModemConfig.h"
#include "controls/serial/SerialPort.h"
#include "shared/common/Clock.h"
#include "shared/modem/AtResult.h"
#include "shared/modem/CallerIdRecord.h"
#include "shared/modem/VoiceFormatList.h"

#include <QList>
#include <QMap>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace quorvel {

class ModemLineAudioSink;

// The telephone line through a voice modem on a serial port (V.253 class 8 AT commands).
//
// One line device per modem. The line opens by resetting the modem, switching its caller-ID
// report on and putting it in voice mode; from then on it listens: RING lines make a call,
// caller-ID lines name the caller, ATA answers (VCON), ATH hangs up, ATD dials. Audio for the
// line comes through a LineAudioSink registered per device (getDeviceID(2)) and goes out with
// AT+VTX. The modem's DLE events report DTMF digits and the far end hanging up.
//
// Everything runs on the thread that owns the object, driven by the event loop. Only lineOpen
// and initialize talk to a modem synchronously, each command bounded by the configured time-out.
// A modem that stops answering, or a device that vanishes, ends any call (disconnected, idle),
// closes the line and emits deviceLost; the path is then watched and the line reopened when the
// device returns (deviceReturned).
class VoiceModemTelephony final : public Telephony {
    Q_OBJECT
public:
    // Result codes besides 0. errorText names the port where one is involved.
    enum ErrorCode {
        kErrBadDevice = 1001, // no device at the current line index
        kErrLineNotOpen = 1002,
        kErrNotResponding = 1003, // "modem not responding on <path>"
        kErrPortBusy = 1004, // another program holds the port
        kErrPortAlreadyOpen = 1005, // this program holds it (the serial caller-ID reader)
        kErrPortPermission = 1006,
        kErrPortNotFound = 1007,
        kErrPortFailed = 1008,
        kErrInvalidCallState = 1009, // no call to answer or drop, or a call is in the way
        kErrNoVoice = 1010, // the modem offers no voice mode we can use
        kErrModemRefused = 1011, // the modem answered ERROR
        kErrDeviceLost = 1012,
        kErrInvalidNumber = 1013,
    };

    explicit VoiceModemTelephony(VoiceModemConfig config, QObject *parent = nullptr);
    ~VoiceModemTelephony() override;

    int initialize() override;
    QString errorText(int code) const override;
    int deviceCount() const override;
    int lineIndex() const override { return m_lineIndex; }
    void setLineIndex(int index) override { m_lineIndex = index; }
    LineDeviceCaps getDeviceCaps() const override;
    int lineOpen(int privilege, int mediaMode) override;
    int lineClose() override;
    int lineShutdown() override;
    bool isLineOpen() const override;
    int getDeviceID(int deviceClass) const override;
    QString commPortPath(int portNumber) const override;
    int lineAnswer() override;
    int lineDrop() override;
    void lineMakeCall(const QString &number) override;
    int lineMonitorDigits(bool on) override;
    bool isCallConnected() const override;

    // The port behind a device index; "" when there is none.
    QString devicePath(int index) const;
    // The sample format the open line transmits in; nullopt when closed or without voice.
    std::optional<VoiceCompression> voiceCompression() const;

    // The playback side of the line's LineAudioSink (ModemLineAudioSink calls these).
    bool playbackStart(int deviceIndex);
    bool playbackWrite(int deviceIndex, const QByteArray &pcm16);
    void playbackEnd(int deviceIndex);
    void playbackStop(int deviceIndex);
    bool playbackActive(int deviceIndex) const;
    int playbackPlayedMs(int deviceIndex) const;

private:
    enum class LineState { Closed, Open, Lost };
    enum class CallState {
        Idle,
        Offering, // ringing, not answered
        Answering, // ATA sent
        Connected,
        Dialing, // ATD sent, far end not picked up yet
        Dropping, // ATH on its way
        Ignoring, // dropped before the answer; the caller's rings still come and are let pass
    };
    enum class PlayState { None, Starting, Streaming, Ending };

    struct Device {
        QString path;
        LineDeviceCaps caps;
        bool identified = false;
        QList<VoiceCompression> methods;
        ModemLineAudioSink *sink = nullptr;
        int sinkId = -1;
    };

    qint64 nowMs() const { return m_clock->monotonicMs(); }
    SerialPort::Settings portSettings() const;
    int failWith(int code, const QString &text);
    void emitLater(std::function<void()> emitter);

    // Set-up
    bool probe(Device &device, bool configured);
    bool wakeUp(ModemChannel &channel, int boundMs);
    bool identify(Device &device, ModemChannel &channel);
    int openLine(int index);
    int setUpModem(Device &device);
    void closeLine(bool hangUp);
    void registerSink(Device &device, int index);

    // Modem input
    void onLine(const QByteArray &line, AtResult result);
    void onDleEvent(char event);
    void onLost(const QString &detail);
    void onRing();
    void onCallerIdLine(const CallerIdLine &line);
    void reportCallerId();
    void onRingTimeout();
    void onDialTimeout();
    void onPoll();

    // Call flow
    void startCall();
    void resetCall();
    bool callActive() const;
    void farEndGone();
    void hangUp();
    void finishCall();
    void fault(int code, const QString &detail);
    bool replyUsable(const ModemReply &reply);

    // Playback
    void feedAudio();
    void finishPlayback(bool notify);
    ModemLineAudioSink *playbackSink() const;

    VoiceModemConfig m_config;
    std::unique_ptr<SystemClock> m_ownClock;
    Clock *m_clock;
    ModemIdentityCache m_identityCache;
    QList<Device> m_devices;
    int m_lineIndex = 0;

    ModemChannel *m_channel;
    LineState m_lineState = LineState::Closed;
    int m_openIndex = -1;
    quint64 m_generation = 0;
    bool m_callerIdOn = false;
    std::optional<VoiceCompression> m_compression;

    CallState m_call = CallState::Idle;
    int m_ringCount = 0;
    bool m_incoming = false;
    bool m_disconnectedReported = false;
    bool m_callerIdReported = false;
    bool m_hangUpSent = false;
    CallerIdRecord m_callerId;
    bool m_monitorDigits = false;

    PlayState m_play = PlayState::None;
    int m_playDevice = -1;
    QByteArray m_playQueue; // 16-bit samples not yet sent
    qint64 m_playStartMs = 0;
    qint64 m_samplesSent = 0;
    bool m_playEndRequested = false;
    bool m_playStopRequested = false;

    QTimer m_ringTimer;
    QTimer m_settleTimer;
    QTimer m_dialTimer;
    QTimer m_feedTimer;
    QTimer m_pollTimer;

    QMap<int, QString> m_errorTexts;
};

} // namespace quorvel
