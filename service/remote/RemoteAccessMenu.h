#pragma once

#include "service/line/RemoteAccessOptions.h"
#include "shared/call/CallInfo.h"
#include "shared/common/DataHome.h"
#include "shared/common/LocaleText.h"
#include "shared/records/CallRecord.h"
#include "shared/templates/ServiceTemplateExpander.h"

#include <QList>
#include <QLocale>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace quorvel {

class Clock;
class SpeechEngine;

// The keypad menu of a call from the owner: the access code and its confirm digit typed while
// the greeting plays (or the owner recognised by caller ID), then today's calls read out one by
// one on the keys of "Access\Phone\Digits". Texts are rendered to a work file and played into
// the line, because the modem takes audio only as a file stream at line speed.
//
// The line form feeds it the call's events; it never touches the modem itself, so every effect
// goes through the hooks.
class RemoteAccessMenu : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // Plays a file into the line; 0 or the failing result code.
        std::function<int(const QString &)> playToLine;
        // Cuts whatever the line plays, without taking that end for the greeting's.
        std::function<void()> stopLine;
        // Hangs up.
        std::function<void()> drop;
        // One message on channel 407 (fields joined by CR LF by the sender).
        std::function<void(const QStringList &)> sendEvent;
        std::function<int()> lineIndex;
        // A journal line; may be empty.
        std::function<void(const QString &text, const QString &tag)> journal;
    };

    // Wrong codes before the line is dropped.
    static constexpr int kMaxAttempts = 3;
    // A typed code longer than this is a wrong code: the buffer must not grow with the keys.
    static constexpr int kMaxCodeLength = 32;
    // No key for this long: the caller left, or the modem missed the hang-up.
    static constexpr int kDefaultCodeWaitMs = 20000;
    static constexpr int kDefaultMenuIdleMs = 60000;
    static inline const QString kWorkFile = QStringLiteral("tmpRemote.wav");

    static inline const QString kNoCallsText = QStringLiteral("There are no calls today.");
    static inline const QString kNoMoreText = QStringLiteral("There are no more calls.");
    static inline const QString kNoEarlierText = QStringLiteral("This is the first call.");
    static inline const QString kWrongCodeText = QStringLiteral("Wrong code. Please try again.");
    static inline const QString kGoodbyeText = QStringLiteral("Goodbye.");

    RemoteAccessMenu(RemoteAccessOptions options, SpeechEngine *speech, DataHome home,
                     const Clock &clock, Hooks hooks, QLocale locale = QLocale::system(),
                     QObject *parent = nullptr);

    // The keys the menu answers to: the settings, with free defaults where a key is empty.
    const RemoteAccessKeys &keys() const { return m_keys; }
    // Keypad access is on and a code is set.
    bool codeAccessEnabled() const;

    // A call was connected and the machine greets it; `remoteCallerKnown`: the owner was
    // recognised by caller ID.
    void callStarted(bool remoteCallerKnown);
    // A keypad digit of the connected call.
    void onDigit(QChar digit);
    // The greeting ended by itself. True when the menu keeps the line: the machine must
    // neither beep nor hang up.
    bool onGreetingDone();
    // A line playback ended. True when it was the menu's (the machine must ignore it).
    bool onPlayDone();
    // The line went idle.
    void reset();

    bool isActive() const { return m_tookOver; }
    bool isAuthenticated() const { return m_authenticated; }
    int currentIndex() const { return m_index; }
    int wrongAttempts() const { return m_wrongAttempts; }

    void setCodeWaitMs(int ms) { m_codeWaitMs = ms; }
    void setMenuIdleMs(int ms) { m_menuIdleMs = ms; }

    // The sentence that reads out one call: its caller and its time.
    QString callSentence(const CallRecord &record, int position, int count) const;
    static CallInfo callInfoFromRecord(const CallRecord &record);

signals:
    // The menu hung up (wrong codes, the close key, no keys for too long).
    void dropped();

private:
    void takeOver();
    void codeDigit(QChar digit);
    void codeAccepted();
    void wrongCode();
    void menuDigit(QChar digit);
    void loadCalls();
    void speakCall();
    void say(const QString &text);
    void cutPlayback();
    void hangUp(const QString &why);
    void armWait();
    void waitExpired();
    bool isKey(const QString &key, QChar digit) const;
    QString expand(const QString &text, const CallInfo &info) const;
    void journal(const QString &text, const QString &tag) const;

    RemoteAccessOptions m_options;
    RemoteAccessKeys m_keys;
    SpeechEngine *m_speech;
    DataHome m_home;
    const Clock &m_clock;
    Hooks m_hooks;
    QLocale m_locale;
    LocaleText m_localeText;
    ServiceTemplateExpander m_expander;

    bool m_inCall = false;
    bool m_remoteKnown = false;
    bool m_authenticated = false;
    // The menu owns the line's playback: the greeting was cut or has ended.
    bool m_tookOver = false;
    bool m_playing = false;
    bool m_cutting = false;
    bool m_hungUp = false;
    QString m_entered;
    int m_wrongAttempts = 0;
    QList<CallRecord> m_calls;
    int m_index = -1;
    int m_codeWaitMs = kDefaultCodeWaitMs;
    int m_menuIdleMs = kDefaultMenuIdleMs;
    QTimer m_waitTimer;
};

} // namespace quorvel
