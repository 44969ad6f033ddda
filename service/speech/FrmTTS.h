#pragma once

#include "service/host/LineForm.h"
#include "shared/settings/RegistryRoutines.h"

#include <QStringList>

namespace quorvel {

class FrmMain;
class SpeechEngine;

// The service's speech form: publishes the installed voices in "TTS51", speaks announcements
// and the desktop's test texts on the computer's sound device, and renders greetings to WAV.
class FrmTTS : public SpeechForm
{
    Q_OBJECT
public:
    static inline const QString kVoicesSection = QStringLiteral("TTS51");

    // `engine` may be null (no speech engine installed): every request then does nothing.
    FrmTTS(FrmMain &main, SpeechEngine *engine);
    ~FrmTTS() override;

    void handleRequest(const QString &text) override;
    void speakIt(const QString &text, int deviceIndex) override;
    void stopSpeak() override;
    void setRate(int rate) override;
    void ttsSetVoice(int listPosition) override;
    void loadSpeechSettings() override;
    // Speaks `text` into `path` (8 kHz 16-bit mono). Only files inside the data home's Greets
    // folder are written. False when nothing was written.
    bool saveTextToWav(const QString &text, const QString &path, int deviceIndex);

private:
    int engineIndexForListPosition(int listPosition) const;

    FrmMain &m_main;
    SpeechEngine *m_engine;
    RegistryRoutines m_reg;
};

} // namespace quorvel
