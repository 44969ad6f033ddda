#pragma once

#include "service/host/LineForm.h"
#include "service/host/SerialLink.h"
#include "service/line/AnsweringMachine.h"
#include "service/line/RemoteAccessOptions.h"
#include "shared/call/CallInfo.h"
#include "shared/call/CallOptions.h"
#include "shared/common/LocaleText.h"
#include "shared/settings/RegistryRoutines.h"
#include "shared/templates/ServiceTemplateExpander.h"

#include <QDate>
#include <QStringList>
#include <QTimer>

#include <memory>

namespace quorvel {

class Channel;
class CommControl;
class ContactMatcher;
class ContactRecord;
class FrmMain;
class RemoteAccessMenu;
class Journal;
class Telephony;
class Wave;
struct LineCommand;

// The line form: owns the modem line for the life of the service. Opens and closes the line,
// runs every call from offer to idle (options, caller ID and contacts, automatic answer,
// answering machine, record), reports line and call events on channels 407, 409 and 410,
// takes the desktop's commands on 408 and runs the daily on/off schedule.
//
// Created by the main form after telephony is up; destroying it is the form's unload.
class FrmLine : public LineForm, public SerialCallSink {
    Q_OBJECT
public:
    // "Answer\TabAnsweringMachine": seconds the machine keeps a line open after the greeting
    // before it gives up waiting for the caller's hang-up.
    static inline const QString kMaxHoldSetting = QStringLiteral("txtMaxHoldTime");
    // Bound of the waits for the modem and the serial port to report closed.
    static constexpr int kCloseWaitTenths = 50;
    // Attempts of the takeover from the serial port: the first and ten retries.
    static constexpr int kTakeoverAttempts = 11;
    // How often the idle line looks whether the contacts file changed.
    static constexpr int kContactsCheckMs = 5000;

    explicit FrmLine(FrmMain &main);
    ~FrmLine() override;

    // LineForm
    int openLine() override;

    // Close without reporting.
    void closeTheLine();
    // Close and report "LineStatus" unless `unloading`.
    void closeLine(bool unloading);

    // SerialCallSink: the serial caller-ID form's calls.
    void comm_InComeCall() override;
    void comm_CallerID(const QString &name, const QString &number) override;
    void getTapiFromComm() override;
    void comm_Idle() override;

    // One command of channel 408.
    void handleCommand(const QString &text);
    // One tick of the automatic on/off schedule (the timer calls it every second).
    void autoModeTick();
    // Reloads voice and rate into the speech engine ("GetTTSProp").
    void getTTSProp();
    // Loads the remote-access options, then the speech settings.
    void getOptions();

    void setDefaultCallOption();
    void setCallInfo();
    void announceCall();
    void answerWithMachine();
    void stopRecMessage();
    void dropCall();

    // State, for the host and for tests.
    int lineStatus() const { return m_lineStatus; }
    bool isLineOpenFlag() const { return m_lineOpen; }
    bool tapiCallerID() const { return m_tapiCallerID; }
    bool inCall() const { return m_inCall; }
    bool machineAnswer() const { return m_machineAnswer; }
    bool dropOnConnect() const { return m_dropOnConnect; }
    bool noAutoAnswer() const { return m_noAutoAnswer; }
    bool remoteCaller() const { return m_remoteCaller; }
    bool autoTimerActive() const { return m_tmrAutoMode.isActive(); }
    const CallOptions &callOptions() const { return m_options; }
    const CallInfo &callInfo() const { return m_info; }
    const RemoteAccessOptions &remoteAccess() const { return m_remote; }
    AnsweringMachine &machine() { return m_machine; }
    RemoteAccessMenu *remoteMenu() const { return m_remoteMenu.get(); }
    CommControl *commControl() const { return m_comm.get(); }

private:
    // Telephony events.
    void onInComeCall();
    void onCallerID(const QString &name, const QString &number);
    void onRing(int count);
    void onConnected();
    void onDisconnected();
    void onIdle();
    void onDialing();
    void onDeviceLost();
    void onDeviceReturned();
    void onLineError(int code);
    // Wave events.
    void onLinePlayDone();
    void onLocalPlayDone();

    // Caller known: the contacts are searched, a match's options applied and its name taken
    // as the display name. False when no contact matched.
    bool findCaller(const QString &name, const QString &number, ContactRecord &contact,
                    QString &contactName, QString &picture);
    // "Tapi_CID" / "Comm_CID": the caller, the contact and the notification options.
    QStringList callerIdFields(const QString &message, const QString &name, const QString &number,
                               const QString &contactName, const QString &picture) const;

    void openStep(int index);
    bool serialListening() const;
    bool ensureCommControl();
    // Waits (without letting events in) until `stillOpen` turns false; journals a timeout.
    void waitClosed(const std::function<bool()> &stillOpen, const QString &what,
                    const QString &tag);
    void writeCallRecord(const QString &errTag);
    void endCall(const QString &errTag);
    void startCall();
    int requestAnswer();
    void indexContacts();
    void clearCallFlags();
    void speakAnnouncement();

    void sendLineStatus();
    void send(Channel *channel, int number, const QStringList &fields);
    QString lineIndexText() const;
    void journal(const QString &text, long long code = 0, const QString &tag = QString()) const;

    FrmMain &m_main;
    Telephony *m_tapi;
    Wave *m_lineWave;
    Wave *m_localWave;
    const Journal &m_journal;
    RegistryRoutines m_reg;
    LocaleText m_locale;
    ServiceTemplateExpander m_expander;
    std::unique_ptr<ContactMatcher> m_contacts;

    std::unique_ptr<Channel> m_udiOut; // 407
    std::unique_ptr<Channel> m_udiIn; // 408
    std::unique_ptr<Channel> m_udiCallerID; // 409
    std::unique_ptr<Channel> m_udiIdle; // 410
    std::unique_ptr<CommControl> m_comm;

    // Line (opening and closing).
    int m_lineStatus = 1;
    bool m_tapiCallerID = true;
    int m_commPort = 0;
    QString m_modemCommand;
    int m_lineDevice = 0;
    bool m_lineOpen = false;
    bool m_skipPlayDone = false;
    // The user (or the start settings) wants the line on; a returning modem is reopened.
    bool m_wantOpen = false;
    bool m_deviceLost = false;
    // The invalid window texts already journalled, so a bad pair is reported once.
    QString m_badWindowJournalled;
    // When the schedule last failed to open the line (monotonic ms), -1 when it did not.
    qint64 m_autoOpenFailedAt = -1;

    // Call.
    CallOptions m_options;
    CallInfo m_info;
    QDate m_callDate;
    bool m_callActive = false; // a call was started and its record is not written yet
    bool m_inCall = false;
    bool m_machineAnswer = false;
    bool m_dropOnConnect = false;
    bool m_noAutoAnswer = false;
    bool m_remoteCaller = false;
    // The line was told to answer this call (automatically, by rule or by command): further
    // rings must not answer it again.
    bool m_answerRequested = false;
    // An answer was asked for but the line could not take it yet; the next ring gives it.
    bool m_answerPending = false;
    // "CallOut" asked the modem to dial and its dialing event has not come yet.
    bool m_dialPending = false;
    QString m_localPlay;

    RemoteAccessOptions m_remote;
    AnsweringMachine m_machine;
    // The owner's keypad menu on a call the machine answered.
    std::unique_ptr<RemoteAccessMenu> m_remoteMenu;
    QTimer m_tmrAutoMode;
    QTimer m_tmrContacts;
};

} // namespace quorvel
