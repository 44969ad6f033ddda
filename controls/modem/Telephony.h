#pragma once

#include <QObject>
#include <QString>

namespace quorvel {

struct LineDeviceCaps {
    QString name; // what the modem says it is, with its port path
    bool telephony = false;
    bool voice = false; // class 8 voice mode
    bool digits = false; // DTMF detection in voice mode
};

// The telephony line: one modem line device chosen by index, its operations and its events.
// Events are emitted on the thread that owns the object (the main thread).
class Telephony : public QObject {
    Q_OBJECT
public:
    // Media-mode / privilege pairs passed to lineOpen.
    static constexpr int kPrivilegeOwner = 6; // normal service: 6, 6
    static constexpr int kMediaService = 6;
    static constexpr int kPrivilegeTakeOver = 4; // taking over a call from the serial port: 4, 8
    static constexpr int kMediaTakeOver = 8;
    static constexpr int kPrivilegeProbe = 2; // probing the serial port: 2, 16
    static constexpr int kMediaProbe = 16;

    // Device classes for getDeviceID.
    static constexpr int kDeviceClassWaveOut = 2;
    static constexpr int kDeviceClassComm = 22;

    using QObject::QObject;
    ~Telephony() override = default;

    virtual int initialize() = 0;
    virtual QString errorText(int code) const = 0;
    virtual int deviceCount() const = 0;
    virtual int lineIndex() const = 0;
    virtual void setLineIndex(int index) = 0;
    virtual LineDeviceCaps getDeviceCaps() const = 0;
    virtual int lineOpen(int privilege, int mediaMode) = 0;
    virtual int lineClose() = 0;
    virtual int lineShutdown() = 0;
    virtual bool isLineOpen() const = 0;
    // Class 22: the number of the modem's serial port (see commPortPath); class 2: the id of
    // the line's voice output for the wave layer. -1 when there is none.
    virtual int getDeviceID(int deviceClass) const = 0;
    // The path behind a port number from getDeviceID(22) ("/dev/ttyACM0"); "" when unknown.
    virtual QString commPortPath(int portNumber) const = 0;
    virtual int lineAnswer() = 0;
    virtual int lineDrop() = 0;
    virtual void lineMakeCall(const QString &number) = 0;
    virtual int lineMonitorDigits(bool on) = 0;
    virtual bool isCallConnected() const = 0;

signals:
    void dialing();
    void inComeCall();
    void idle();
    void disconnected();
    void connected();
    void ring(int count);
    void callerID(const QString &name, const QString &number);
    void digitReceived(QChar digit);
    // The device went away (unplugged) or came back; the line reports closed meanwhile.
    void deviceLost();
    void deviceReturned();
    // A failure that no operation's result could carry, because it came after the operation
    // returned (the modem refused a dial, gave no reply to an answer, a playback could not
    // start); errorText(code) says what happened.
    void lineError(int code);
};

} // namespace quorvel
