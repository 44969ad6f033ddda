#pragma once

#include "controls/modem/Telephony.h"

#include <QList>
#include <QMap>
#include <QStringList>

namespace quorvel {

// A telephony line for tests of the code above it: it records every operation it is asked for,
// answers with configurable result codes, and raises whatever events the test wants, on the
// test's command. Optionally it follows an operation with the events a modem line would raise
// (answer -> connected; drop -> disconnected, idle; make call -> dialing), from the event loop.
class RecordingTelephony final : public Telephony {
    Q_OBJECT
public:
    struct Device {
        LineDeviceCaps caps;
        QString portPath; // what commPortPath gives for this device's port number
        int waveOutId = -1; // getDeviceID(2)
    };
    struct OpenRequest {
        int lineIndex;
        int privilege;
        int mediaMode;
    };

    explicit RecordingTelephony(QObject *parent = nullptr);

    // Configuration
    QList<Device> devices;
    int initializeResult = 0;
    int lineOpenResult = 0;
    int lineCloseResult = 0;
    int lineShutdownResult = 0;
    int answerResult = 0;
    int dropResult = 0;
    int monitorResult = 0;
    QMap<int, QString> errorTexts; // code -> text; others read "error <code>", 0 "Success"
    bool autoEvents = false; // raise the events a modem line would after each operation

    // What was asked, in order: "initialize", "setLineIndex(1)", "lineOpen(6,6)", "lineClose",
    // "lineShutdown", "lineAnswer", "lineDrop", "lineMakeCall(5551234)",
    // "lineMonitorDigits(true)". Queries (deviceCount, getDeviceCaps, isLineOpen...) are not
    // recorded.
    QStringList operations;
    QList<OpenRequest> opens;
    QStringList dialled;
    QList<bool> monitorRequests;
    int answerCount = 0;
    int dropCount = 0;
    int closeCount = 0;
    int shutdownCount = 0;
    bool monitoringDigits = false;

    // State the queries report; operations keep it up to date, and tests may set it.
    bool lineOpenState = false;
    bool callConnected = false;

    int initialize() override;
    QString errorText(int code) const override;
    int deviceCount() const override { return devices.size(); }
    int lineIndex() const override { return m_lineIndex; }
    void setLineIndex(int index) override;
    LineDeviceCaps getDeviceCaps() const override;
    int lineOpen(int privilege, int mediaMode) override;
    int lineClose() override;
    int lineShutdown() override;
    bool isLineOpen() const override { return lineOpenState; }
    int getDeviceID(int deviceClass) const override;
    QString commPortPath(int portNumber) const override;
    int lineAnswer() override;
    int lineDrop() override;
    void lineMakeCall(const QString &number) override;
    int lineMonitorDigits(bool on) override;
    bool isCallConnected() const override { return callConnected; }

    // Raising events as a modem line would (they also move the reported state).
    void offerCall(); // inComeCall
    void ringOnce(int count); // ring(count)
    void sendCallerId(const QString &name, const QString &number);
    void connectCall(); // connected
    void hangUpFarEnd(); // disconnected
    void goIdle(); // idle
    void sendDigit(QChar digit); // digitReceived
    void startDialing(); // dialing
    void loseDevice(); // deviceLost (line closed)
    void returnDevice(); // deviceReturned

    void clearRecords();

private:
    int m_lineIndex = 0;
};

} // namespace quorvel
