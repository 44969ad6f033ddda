#pragma once

#include "shared/common/DataHome.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace quorvel {

class Journal;
class Telephony;
class Wave;

// The answering machine of the line: plays the caller's greeting into the line, then hangs up
// or plays the beep and keeps the line until the caller hangs up. No message is recorded.
//
// Many modems never report the far end's hang-up (no busy tone detection, or a line that gives
// none), so a line held after the greeting would stay off-hook for ever; the machine drops it
// after a maximum hold time.
class AnsweringMachine : public QObject {
    Q_OBJECT
public:
    static inline const QString kPlayGreet = QStringLiteral("PLAY_GREET");
    static inline const QString kStepMessage = QStringLiteral("MESSAGE");
    static inline const QString kStepBeep = QStringLiteral("BEEP");
    static constexpr int kDefaultMaxHoldSeconds = 120;

    AnsweringMachine(Telephony *tapi, Wave *lineWave, const Journal &journal, DataHome home,
                     QObject *parent = nullptr);

    // A connected call the machine answered: switch on keypad detection when remote access
    // is allowed, then play `greetingFile` (a name inside Greets/). A greeting that cannot
    // play ends the call. True when the greeting plays.
    bool start(const QString &greetingFile, bool monitorDigits);
    // Plays a file into the line in the line's format; 0 or the failing result code.
    int playToLine(const QString &path);
    // The line's playback ended by itself. The flags are the current call's.
    void playDone(bool remoteCaller, bool machineAnswer, bool beepAndWait);
    // Stops a recording on the line (none is ever started) and journals the control's answer.
    void stopRecMessage();
    // Stops playback and recording on the line and hangs up.
    void dropCall();
    // Stops whatever the line plays or records, without taking that end for the greeting's.
    void stopLineAudio();
    // The line went idle: forget the call.
    void reset();

    void setMaxHoldSeconds(int seconds);
    int maxHoldSeconds() const { return m_maxHoldSeconds; }

    QString linePlay() const { return m_linePlay; }
    QString nextStep() const { return m_nextStep; }
    // True while the line is kept open after the greeting, waiting for the caller's hang-up.
    bool isHolding() const { return m_holdTimer.isActive(); }

signals:
    // The greeting started playing into the line.
    void greetingStarted();

private:
    QString lineTag() const;
    void hold();
    void holdExpired();

    Telephony *m_tapi;
    Wave *m_wave;
    const Journal &m_journal;
    DataHome m_home;
    QString m_linePlay;
    QString m_nextStep;
    // stopPlay reports the end of the playback it cut before it returns; that end is ours, not
    // the greeting's, and must not start the beep or a second hang-up.
    bool m_stopping = false;
    int m_maxHoldSeconds = kDefaultMaxHoldSeconds;
    QTimer m_holdTimer;
};

} // namespace quorvel
