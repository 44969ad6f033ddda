#pragma once

#include <QObject>
#include <QString>

namespace quorvel {

// The line form as the serial caller-ID form sees it: the calls it makes as rings and
// caller-ID lines arrive on the modem's serial port.
class SerialCallSink
{
public:
    virtual ~SerialCallSink() = default;
    virtual void comm_InComeCall() = 0;
    virtual void comm_CallerID(const QString &name, const QString &number) = 0;
    // The telephony line takes the call over from the serial port.
    virtual void getTapiFromComm() = 0;
    virtual void comm_Idle() = 0;
};

// The serial caller-ID form as the line form sees it: holds the modem's serial port while the
// line is idle in serial caller-ID mode.
class CommControl : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~CommControl() override = default;

    // Opens the port (number from Telephony::getDeviceID(22)) and sends the caller-ID command.
    virtual void commConnect(int port, const QString &command) = 0;
    virtual void commDisconnect() = 0;
    // End of a taken-over call: close the telephony line, reopen the serial port.
    virtual void commCloseTapi() = 0;
    virtual bool isPortOpen() const = 0;
    // The telephony line took the call: the idle watch of the serial port stops.
    virtual void stopIdleWatch() = 0;
};

} // namespace quorvel
