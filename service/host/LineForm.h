#pragma once

#include <QObject>

namespace quorvel {

// The line form as the main form sees it: loaded after telephony is up, opens the line when
// the stored line state asks for it, and closes the line when it is unloaded (destroyed).
class LineForm : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~LineForm() override = default;

    // Opens the modem line; 0 when the line listens.
    virtual int openLine() = 0;
};

// The speech form: owns the speech engine's set-up and serves the requests of channel 406.
class SpeechForm : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SpeechForm() override = default;

    // A request of channel 406 ("Say", "TestTTSSay", "StopSay", "MakeWave").
    virtual void handleRequest(const QString &text) = 0;
    // Speaks asynchronously on a local output device; a later text or stopSpeak cuts it.
    virtual void speakIt(const QString &text, int deviceIndex) = 0;
    virtual void stopSpeak() = 0;
    virtual void setRate(int rate) = 0;
    // Selects the voice at a position of the published voice list ("TTS51").
    virtual void ttsSetVoice(int listPosition) = 0;
    // Reloads voice and rate from "Properties\TabTTS".
    virtual void loadSpeechSettings() = 0;
};

} // namespace quorvel
