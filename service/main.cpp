#include "controls/audio/LineAudio.h"
#include "controls/audio/SoundWave.h"
#include "controls/channel/UnixChannelFactory.h"
#include "controls/modem/VoiceModemConfig.h"
#include "controls/modem/VoiceModemTelephony.h"
#include "controls/speech/EspeakEngine.h"
#include "service/host/FrmMain.h"
#include "service/host/ServiceHost.h"
#include "service/line/FrmLine.h"
#include "service/serial/FrmCommControl.h"
#include "service/speech/FrmTTS.h"
#include "shared/settings/RegistryRoutines.h"

#include <QCoreApplication>

#include <memory>

using namespace quorvel;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorline"));

    SystemClock clock;
    UnixChannelFactory channels;
    // The modem driver registers each line's voice output here; the line's wave layer finds
    // it by the id the driver reports.
    LineAudioRegistry lineAudio;
    std::unique_ptr<VoiceModemTelephony> telephony;
    std::unique_ptr<SoundWave> lineWave;
    std::unique_ptr<SoundWave> localWave;
    std::unique_ptr<SoundWave> speechWave;
    std::unique_ptr<EspeakEngine> speech;

    return ServiceHost::run(app.arguments(), [&](const DataHome &home) {
        VoiceModemConfig config
            = VoiceModemConfig::fromSettings(RegistryRoutines(home.settingsFile()));
        config.clock = &clock;
        config.audioRegistry = &lineAudio;
        telephony = std::make_unique<VoiceModemTelephony>(config);
        lineWave = std::make_unique<SoundWave>(&lineAudio);
        localWave = std::make_unique<SoundWave>(&lineAudio);
        // The engine stops its own playback at will; it gets a wave of its own so that never
        // cuts the incoming-call sound.
        speechWave = std::make_unique<SoundWave>(&lineAudio);
        speech = std::make_unique<EspeakEngine>(speechWave.get());

        ServiceControls controls;
        controls.home = home;
        controls.clock = &clock;
        controls.channels = &channels;
        controls.telephony = telephony.get();
        controls.lineWave = lineWave.get();
        controls.localWave = localWave.get();
        controls.speech = speech.get();
        controls.makeLineForm = [](FrmMain &main) { return std::make_unique<FrmLine>(main); };
        controls.makeSpeechForm
            = [&speech](FrmMain &main) { return std::make_unique<FrmTTS>(main, speech.get()); };
        controls.makeCommControl = [](FrmMain &main, SerialCallSink &line) {
            return std::make_unique<FrmCommControl>(main, line);
        };
        return controls;
    });
}
