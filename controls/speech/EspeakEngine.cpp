#include "controls/speech/EspeakEngine.h"
#include "controls/audio/AudioFile.h"
#include "controls/audio/Wave.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <functional>

namespace quorvel {

namespace {

struct VoiceEntry {
    QString description;
    QByteArray identifier;
};

// libespeak-ng keeps one synthesizer per process (voice, rate and the sample callback are
// global), so every engine object shares this one guarded session.
class EspeakSession {
public:
    static EspeakSession &instance()
    {
        static EspeakSession session;
        return session;
    }

    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    int sampleRate() const { return m_sampleRate; }
    const QList<VoiceEntry> &voices() const { return m_voices; }

    // Renders `text`; `cancelled` is asked between pieces and stops the synthesis early.
    QByteArray synthesize(const QString &text, int voice, int wordsPerMinute, int volume,
                          const std::function<bool()> &cancelled)
    {
        std::lock_guard lock(m_mutex);
        Collector collector { {}, cancelled };
        if (!m_ok || voice < 0 || voice >= m_voices.size())
            return {};
        const QByteArray &identifier = m_voices.at(voice).identifier;
        if (identifier != m_loadedVoice) {
            if (espeak_ng_SetVoiceByName(identifier.constData()) != ENS_OK)
                return {};
            m_loadedVoice = identifier;
        }
        espeak_ng_SetParameter(espeakRATE, wordsPerMinute, 0);
        espeak_ng_SetParameter(espeakVOLUME, volume, 0);
        const QByteArray utf8 = text.toUtf8();
        espeak_ng_Synthesize(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                             espeakCHARS_UTF8, nullptr, &collector);
        if (cancelled && cancelled())
            return {};
        return collector.pcm;
    }

private:
    struct Collector {
        QByteArray pcm;
        std::function<bool()> cancelled;
    };

    static int onSamples(short *samples, int count, espeak_EVENT *events)
    {
        auto *collector = events ? static_cast<Collector *>(events->user_data) : nullptr;
        if (!collector)
            return 0;
        if (samples && count > 0)
            collector->pcm.append(reinterpret_cast<const char *>(samples), qsizetype(count) * 2);
        return collector->cancelled && collector->cancelled() ? 1 : 0;
    }

    EspeakSession()
    {
        espeak_ng_InitializePath(nullptr);
        espeak_ng_ERROR_CONTEXT context = nullptr;
        espeak_ng_STATUS status = espeak_ng_Initialize(&context);
        if (status == ENS_OK)
            status = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
        if (status != ENS_OK) {
            char buffer[256] = {};
            espeak_ng_GetStatusCodeMessage(status, buffer, sizeof buffer);
            m_error = QStringLiteral("speech engine not available: %1")
                          .arg(QString::fromLocal8Bit(buffer));
            espeak_ng_ClearErrorContext(&context);
            return;
        }
        espeak_SetSynthCallback(&EspeakSession::onSamples);
        m_sampleRate = espeak_ng_GetSampleRate();
        listVoices();
        m_ok = m_sampleRate > 0 && !m_voices.isEmpty();
        if (!m_ok)
            m_error = QStringLiteral("speech engine not available: no voices installed");
    }

    void listVoices()
    {
        QList<VoiceEntry> entries;
        const espeak_VOICE **list = espeak_ListVoices(nullptr);
        for (; list && *list; ++list) {
            const espeak_VOICE *v = *list;
            if (!v->name || !v->identifier)
                continue;
            // `languages` is a priority byte followed by the language name.
            const QString language
                = v->languages && v->languages[0] ? QString::fromUtf8(v->languages + 1) : QString();
            QString name = QString::fromUtf8(v->name);
            name.replace('_', ' ');
            name = name.simplified();
            VoiceEntry entry;
            entry.description = language.isEmpty() ? name : name + " [" + language + "]";
            entry.identifier = QByteArray(v->identifier);
            entries << entry;
        }
        std::sort(entries.begin(), entries.end(), [](const VoiceEntry &a, const VoiceEntry &b) {
            const int byText = a.description.compare(b.description, Qt::CaseInsensitive);
            if (byText != 0)
                return byText < 0;
            return a.identifier < b.identifier;
        });
        // Two voices with one description would share one settings value name.
        for (qsizetype i = 1; i < entries.size(); ++i) {
            if (entries[i].description == entries[i - 1].description)
                entries[i].description += " (" + QString::fromUtf8(entries[i].identifier) + ")";
        }
        const auto isDefault = [](const VoiceEntry &e) {
            return e.identifier == "en" || e.identifier.endsWith("/en");
        };
        const auto found = std::find_if(entries.begin(), entries.end(), isDefault);
        if (found != entries.end())
            std::rotate(entries.begin(), found, found + 1);
        m_voices = entries;
    }

    std::mutex m_mutex;
    bool m_ok = false;
    QString m_error;
    int m_sampleRate = 0;
    QList<VoiceEntry> m_voices;
    QByteArray m_loadedVoice;
};

} // namespace

EspeakEngine::EspeakEngine(Wave *wave, QObject *parent)
    : SpeechEngine(parent)
    , m_wave(wave)
{
    EspeakSession &session = EspeakSession::instance();
    if (!session.ok())
        m_error = session.error();
    if (m_wave)
        connect(m_wave, &Wave::playDone, this, &EspeakEngine::waveDone);
}

EspeakEngine::~EspeakEngine()
{
    {
        std::lock_guard lock(m_jobMutex);
        m_quit = true;
        ++m_generation;
    }
    m_jobCv.notify_all();
    if (m_worker.joinable())
        m_worker.join();
    if (m_playing && m_wave) {
        m_playing = false;
        m_wave->stopPlay();
    }
}

bool EspeakEngine::isAvailable() const
{
    return EspeakSession::instance().ok();
}

QStringList EspeakEngine::voices() const
{
    QStringList list;
    for (const VoiceEntry &entry : EspeakSession::instance().voices())
        list << entry.description;
    return list;
}

bool EspeakEngine::setVoice(int index)
{
    if (index < 0 || index >= EspeakSession::instance().voices().size())
        return false;
    m_voice = index;
    return true;
}

void EspeakEngine::setRate(int rate)
{
    m_rate = std::clamp(rate, -10, 10);
}

void EspeakEngine::setVolume(int volume)
{
    m_volume = std::clamp(volume, 0, 100);
}

int EspeakEngine::wordsPerMinute(int rate)
{
    rate = std::clamp(rate, -10, 10);
    const double normal = espeakRATE_NORMAL;
    const double end = rate >= 0 ? espeakRATE_MAXIMUM : espeakRATE_MINIMUM;
    const double wpm = normal * std::pow(end / normal, std::abs(rate) / 10.0);
    return std::clamp(int(std::lround(wpm)), espeakRATE_MINIMUM, espeakRATE_MAXIMUM);
}

QByteArray EspeakEngine::synthesize(const QString &text, int *sampleRate)
{
    EspeakSession &session = EspeakSession::instance();
    *sampleRate = session.sampleRate();
    return session.synthesize(text, m_voice, wordsPerMinute(m_rate), m_volume, {});
}

bool EspeakEngine::speakToWave(const QString &text, const QString &path)
{
    if (text.trimmed().isEmpty() || !isAvailable())
        return false;
    int rate = 0;
    const QByteArray pcm = synthesize(text, &rate);
    if (pcm.isEmpty() || rate <= 0) {
        m_error = QStringLiteral("the speech engine produced no audio");
        return false;
    }
    AudioBuffer spoken;
    spoken.sampleRate = rate;
    spoken.channels = 1;
    spoken.samples = AudioFile::fromPcm16(pcm);
    const AudioBuffer line = AudioFile::resample(spoken, AudioFile::kLineRate);
    const AudioStatus status
        = AudioFile::writeWav(path, AudioFile::toPcm16(line.samples), AudioFile::kLineRate, 1);
    if (!status.ok()) {
        m_error = status.text;
        return false;
    }
    return true;
}

void EspeakEngine::cutPlayback()
{
    if (m_playing && m_wave) {
        // Cleared first: the wave's playDone for this stop arrives before stopPlay returns
        // and is not the end of a text.
        m_playing = false;
        m_wave->stopPlay();
    }
    m_playing = false;
}

bool EspeakEngine::speak(const QString &text)
{
    ++m_generation;
    cutPlayback();
    if (text.trimmed().isEmpty() || !isAvailable() || !m_wave) {
        // Nothing (or nobody) to speak: the call still cuts what was being said.
        if (m_speaking) {
            m_speaking = false;
            emit speakDone();
        }
        return false;
    }
    m_speaking = true;
    startWorker();
    {
        std::lock_guard lock(m_jobMutex);
        m_job = std::make_unique<Job>(Job { m_generation.load(), text, m_voice, m_rate, m_volume });
    }
    m_jobCv.notify_all();
    return true;
}

void EspeakEngine::stop()
{
    ++m_generation;
    cutPlayback();
    if (m_speaking) {
        m_speaking = false;
        emit speakDone();
    }
}

void EspeakEngine::startWorker()
{
    if (!m_worker.joinable())
        m_worker = std::thread([this] { workerLoop(); });
}

void EspeakEngine::workerLoop()
{
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::unique_lock lock(m_jobMutex);
            m_jobCv.wait(lock, [this] { return m_quit || m_job; });
            if (m_quit)
                return;
            job = std::move(m_job);
        }
        const quint64 generation = job->generation;
        // A newer text or a stop makes this one worthless: espeak-ng is told to give up.
        const auto cancelled = [this, generation] { return m_generation.load() != generation; };
        EspeakSession &session = EspeakSession::instance();
        const QByteArray pcm = session.synthesize(job->text, job->voice, wordsPerMinute(job->rate),
                                                  job->volume, cancelled);
        if (cancelled())
            continue;
        const int rate = session.sampleRate();
        QMetaObject::invokeMethod(
            this, [this, generation, pcm, rate] { synthesized(generation, pcm, rate); },
            Qt::QueuedConnection);
    }
}

void EspeakEngine::synthesized(quint64 generation, const QByteArray &pcm, int sampleRate)
{
    if (generation != m_generation.load() || !m_speaking)
        return;
    auto finish = [this](const QString &error) {
        m_error = error;
        m_speaking = false;
        emit speakDone();
    };
    if (pcm.isEmpty())
        return finish(QStringLiteral("the speech engine produced no audio"));
    if (!m_tempDir) {
        m_tempDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/quorvel-speech-XXXXXX");
        if (!m_tempDir->isValid())
            m_tempDir.reset();
    }
    if (!m_tempDir || !m_wave)
        return finish(QStringLiteral("no place for the spoken audio"));

    const QString file = m_tempDir->filePath(QStringLiteral("speech-%1.wav").arg(generation));
    const AudioStatus status = AudioFile::writeWav(file, pcm, sampleRate, 1);
    if (!status.ok())
        return finish(status.text);
    // The wave layer has the old file open (or finished with it); it can go.
    if (!m_currentFile.isEmpty())
        QFile::remove(m_currentFile);
    m_currentFile = file;

    m_playing = true;
    const int code = m_wave->playFile(file, m_device);
    if (code != 0) {
        m_playing = false;
        return finish(m_wave->playErrorText(code));
    }
}

void EspeakEngine::waveDone()
{
    if (!m_playing)
        return;
    m_playing = false;
    if (m_speaking) {
        m_speaking = false;
        emit speakDone();
    }
}

} // namespace quorvel
