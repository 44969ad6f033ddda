#include "controls/speech/RecordingSpeech.h"
#include "service/host/FrmMain.h"
#include "service/speech/FrmTTS.h"
#include "shared/channel/ChannelMessage.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::TempHome;

namespace {

class SpeechFormTest : public ::testing::Test
{
protected:
    SpeechFormTest()
        : home(tmp.home())
    {
        home.ensure(QString());
        set("Properties\\TabLog", "chkLogSys", "1");
        speech.setVoices({"English (Great Britain) [en-gb]", "French (France) [fr-fr]",
                          "German [de]"});
        ServiceControls controls;
        controls.home = home;
        controls.clock = &clock;
        main = std::make_unique<FrmMain>(controls);
        main->journal().setSystemSwitch(true);
    }

    void set(const QString &section, const QString &name, const QString &value)
    {
        RegistryRoutines reg(home.settingsFile());
        reg.setSubkey(section);
        reg.setRegistryValue(name, value);
    }

    QStringList published() const
    {
        return RegistryRoutines(home.settingsFile()).enumRegistryValues(FrmTTS::kVoicesSection);
    }

    QStringList operations() const
    {
        QStringList ops;
        for (const auto &c : speech.calls())
            ops << c.operation + (c.text.isEmpty() ? QString() : ':' + c.text)
                    + (c.operation.startsWith("set") ? '=' + QString::number(c.value) : QString());
        return ops;
    }

    TempHome tmp;
    DataHome home;
    ManualClock clock;
    RecordingSpeech speech;
    std::unique_ptr<FrmMain> main;
};

TEST_F(SpeechFormTest, PublishesInstalledVoicesOnceAndKeepsUninstalledNames)
{
    set("TTS51", "Old voice [xx]", "");
    { FrmTTS form(*main, &speech); }
    { FrmTTS again(*main, &speech); }
    EXPECT_EQ(published(), QStringList({"Old voice [xx]", "English (Great Britain) [en-gb]",
                                        "French (France) [fr-fr]", "German [de]"}));
    RegistryRoutines reg(home.settingsFile());
    reg.setSubkey(FrmTTS::kVoicesSection);
    EXPECT_EQ(reg.getRegistryValue("German [de]"), std::optional<QString>(QString()));
}

TEST_F(SpeechFormTest, ListPositionsSelectTheVoiceOfThatNameEvenWithStaleEntries)
{
    // The desktop lists "TTS51" as stored; an uninstalled voice at the top must not shift the
    // voice the service picks for a position.
    set("TTS51", "Old voice [xx]", "");
    FrmTTS form(*main, &speech);
    speech.clearCalls();
    // Published: Old voice, English, French, German; installed: English, French, German.
    struct Case {
        int position;
        int engineVoice; // after the call; a stale or out-of-range position keeps the current
    } cases[] = {{3, 2}, {0, 2}, {2, 1}, {9, 1}, {-1, 1}, {1, 0}};
    for (const Case &c : cases) {
        form.ttsSetVoice(c.position);
        EXPECT_EQ(speech.voice(), c.engineVoice) << c.position;
    }
}

TEST_F(SpeechFormTest, ChannelRequests)
{
    FrmTTS form(*main, &speech);
    speech.clearCalls();
    form.handleRequest(ChannelMessage::join({"Say", "Hello there"}));
    form.handleRequest(ChannelMessage::join({"TestTTSSay", "Testing", "2", "-4"}));
    form.handleRequest(ChannelMessage::join({"TestTTSSay", "Bad numbers", "x", "fast"}));
    form.handleRequest("StopSay");
    // Malformed or unknown requests do nothing.
    for (const QString &bad : {QString("Say"), QString("TestTTSSay\r\nonly text"), QString("MakeWave\r\ntext"),
                               QString("SAY\r\nx"), QString(), QString("\r\n\r\n")})
        form.handleRequest(bad);
    EXPECT_EQ(operations(), QStringList({"setOutputDevice=0", "setVolume=100", "speak:Hello there",
                                         "setVoice=2", "setRate=-4", "setOutputDevice=0",
                                         "setVolume=100", "speak:Testing", "setOutputDevice=0",
                                         "setVolume=100", "speak:Bad numbers", "stop"}));
    EXPECT_EQ(speech.rate(), -4);
}

TEST_F(SpeechFormTest, MakeWaveWritesOnlyIntoGreets)
{
    FrmTTS form(*main, &speech);
    const QString inside = home.greetsDir() + "/tmpTTSGreet.wav";
    speech.clearCalls();
    form.handleRequest(ChannelMessage::join({"MakeWave", "", inside}));
    EXPECT_TRUE(speech.calls().isEmpty()); // an empty text writes nothing
    EXPECT_FALSE(QFile::exists(inside));

    for (const QString &outside : {home.settingsFile(), home.greetsDir() + "/../Beep.wav",
                                   QString("/tmp/evil.wav"), home.greetsDir() + "/x.txt"})
        form.handleRequest(ChannelMessage::join({"MakeWave", "Hello", outside}));
    EXPECT_TRUE(speech.calls().isEmpty());
    QString journal;
    for (const QString &f : QDir(home.journalDir()).entryList(QDir::Files))
        journal += QString::fromUtf8(quorvel::test::readFile(home.journalDir() + '/' + f));
    EXPECT_EQ(journal.count("ErrMakeWave->MakeWave refused a file outside Greets"), 4);

    form.handleRequest(ChannelMessage::join({"MakeWave", "Hello caller", inside}));
    ASSERT_FALSE(speech.calls().isEmpty());
    EXPECT_EQ(speech.calls().first().operation, "speakToWave");
    EXPECT_EQ(speech.calls().first().path, inside);
    EXPECT_TRUE(QFile::exists(inside));
    // Later speech goes to the sound device again.
    EXPECT_EQ(speech.calls().last().operation, "setOutputDevice");
}

TEST_F(SpeechFormTest, SpeechSettingsReloadVoiceAndRate)
{
    FrmTTS form(*main, &speech);
    set("Properties\\TabTTS", "TTSVoices", "1");
    set("Properties\\TabTTS", "sldrTTS", "7");
    form.loadSpeechSettings();
    EXPECT_EQ(speech.voice(), 1);
    EXPECT_EQ(speech.rate(), 7);
    set("Properties\\TabTTS", "TTSVoices", "");
    set("Properties\\TabTTS", "sldrTTS", "99");
    form.loadSpeechSettings();
    EXPECT_EQ(speech.voice(), 1); // "" is not a position: the voice stays
    EXPECT_EQ(speech.rate(), 10); // clamped to the engine's scale
}

TEST_F(SpeechFormTest, WithoutAnEngineEveryRequestDoesNothing)
{
    speech.setAvailable(false);
    FrmTTS form(*main, &speech);
    speech.clearCalls();
    form.handleRequest(ChannelMessage::join({"Say", "x"}));
    form.handleRequest(ChannelMessage::join({"MakeWave", "x", home.greetsDir() + "/a.wav"}));
    form.loadSpeechSettings();
    EXPECT_TRUE(speech.calls().isEmpty());
    EXPECT_TRUE(RegistryRoutines(home.settingsFile()).enumRegistryKeys("").contains("TTS51"));
}

} // namespace
