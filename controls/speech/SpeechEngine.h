#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace quorvel {

// A text-to-speech engine. Voices are listed in one fixed order (the engine's own), which both
// programs share through the settings, so a list position means the same voice on both sides.
class SpeechEngine : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SpeechEngine() override = default;

    // False when no speech engine is installed; every request then does nothing.
    virtual bool isAvailable() const { return true; }

    // Descriptions of the installed voices, in the engine's order.
    virtual QStringList voices() const = 0;
    // An index outside the list keeps the current voice and returns false.
    virtual bool setVoice(int index) = 0;
    virtual int voice() const = 0;
    // -10 (slowest) .. 10 (fastest), 0 normal.
    virtual void setRate(int rate) = 0;
    virtual int rate() const = 0;
    // 0..100.
    virtual void setVolume(int volume) = 0;
    // Local output device index for speak(); same numbering as Wave::outputDeviceName.
    virtual void setOutputDevice(int index) = 0;

    // Speaks asynchronously on the output device; a new text or stop() cuts the current one.
    virtual bool speak(const QString &text) = 0;
    virtual void stop() = 0;
    virtual bool isSpeaking() const = 0;
    // Speaks into a WAV file of 8 kHz 16-bit mono; synchronous. False on failure.
    virtual bool speakToWave(const QString &text, const QString &path) = 0;

signals:
    void speakDone();
};

} // namespace quorvel
