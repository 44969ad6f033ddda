#include "controls/audio/SoundWave.h"
#include "controls/audio/AlsaPcm.h"
#include "controls/audio/AudioFile.h"
#include "controls/audio/AudioStream.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sndfile.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quorvel {

namespace {

using Clock = std::chrono::steady_clock;

// 20 ms pieces: small enough that a stop cuts within a syllable, large enough to keep the
// worker asleep most of the time.
int chunkFrames(int rate)
{
    return std::max(rate / 50, 1);
}

// A stop request a worker can sleep on.
class StopSignal {
public:
    void request()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
    }
    bool requested()
    {
        std::lock_guard lock(m_mutex);
        return m_stop;
    }
    // Sleeps until `when`; true when a stop came first.
    bool sleepUntil(Clock::time_point when)
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_until(lock, when, [this] { return m_stop; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stop = false;
};

Clock::time_point framesAfter(Clock::time_point start, qint64 frames, int rate)
{
    return start + std::chrono::microseconds(frames * 1000000 / rate);
}

// Creates the next free NNNN.wav in `folder`. The name is claimed with O_EXCL, so two wave
// objects (the line service has several) never write into one file.
SNDFILE *openNumberedWav(const QString &folder, int rate, int channels, QString *path,
                         QString *error)
{
    if (!QDir().mkpath(folder)) {
        *error = "cannot create the sound folder " + folder;
        return nullptr;
    }
    static const QRegularExpression numbered(QStringLiteral("^(\\d+)\\.wav$"));
    int next = 1;
    for (const QString &name : QDir(folder).entryList(QDir::Files)) {
        const auto match = numbered.match(name);
        if (match.hasMatch())
            next = std::max(next, match.captured(1).toInt() + 1);
    }
    for (int attempt = 0; attempt < 1000; ++attempt, ++next) {
        const QString candidate = folder + '/' + QString::asprintf("%04d.wav", next);
        const int fd = ::open(QFile::encodeName(candidate).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        SF_INFO info {};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE *file = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
        if (!file) {
            ::close(fd);
            break;
        }
        *path = candidate;
        return file;
    }
    *error = "cannot write to the sound folder " + folder;
    return nullptr;
}

// Where a local playback's frames go.
class FrameOutput {
public:
    virtual ~FrameOutput() = default;
    virtual bool write(const int16_t *data, int frames, StopSignal &stop, QString *error) = 0;
    // Frames already heard, given how many were handed over.
    virtual qint64 heard(qint64 written) const = 0;
    // Waits until everything handed over was heard, or a stop.
    virtual void drain(qint64 written, StopSignal &stop) = 0;
    // Ends the output; `cut` discards what is still queued.
    virtual void finish(bool cut) = 0;
};

class AlsaOutput : public FrameOutput {
public:
    explicit AlsaOutput(std::unique_ptr<AlsaPcm> pcm)
        : m_pcm(std::move(pcm))
    {
    }
    bool write(const int16_t *data, int frames, StopSignal &, QString *error) override
    {
        const bool ok = m_pcm->write(data, frames, error);
        m_delay.store(m_pcm->delayFrames());
        return ok;
    }
    qint64 heard(qint64 written) const override
    {
        return std::max<qint64>(0, written - m_delay.load());
    }
    void drain(qint64, StopSignal &stop) override
    {
        // snd_pcm_drain cannot be interrupted, so the queue is watched instead.
        for (;;) {
            const long delay = m_pcm->delayFrames();
            m_delay.store(delay);
            if (delay <= 0 || stop.sleepUntil(Clock::now() + std::chrono::milliseconds(10)))
                return;
        }
    }
    void finish(bool) override
    {
        m_pcm->drop();
        m_pcm->close();
        m_delay.store(0);
    }

private:
    std::unique_ptr<AlsaPcm> m_pcm;
    std::atomic<long> m_delay { 0 };
};

// The "null" and "file" devices: a clock instead of a sound card, so playDone comes when a
// listener would have heard the end; the file device also keeps what was "heard".
class PacedOutput : public FrameOutput {
public:
    PacedOutput(int rate, int channels, SNDFILE *file)
        : m_rate(rate)
        , m_channels(channels)
        , m_file(file)
    {
    }
    ~PacedOutput() override { finish(true); }
    bool write(const int16_t *data, int frames, StopSignal &stop, QString *error) override
    {
        if (!m_started) {
            m_start = Clock::now();
            m_startNs.store(m_start.time_since_epoch().count());
            m_started = true;
        }
        // A piece is "played" once its start time has come; a stop before that means it was
        // never heard and stays out of the file.
        if (stop.sleepUntil(framesAfter(m_start, m_written, m_rate)))
            return true;
        if (m_file && sf_writef_short(m_file, data, frames) != frames) {
            *error = QStringLiteral("cannot write the sound file");
            return false;
        }
        m_written += frames;
        Q_UNUSED(m_channels);
        return true;
    }
    qint64 heard(qint64 written) const override
    {
        const auto startNs = m_startNs.load();
        if (startNs == 0)
            return 0;
        const auto start = Clock::time_point(Clock::duration(startNs));
        const auto elapsedUs
            = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
        return std::clamp<qint64>(elapsedUs * m_rate / 1000000, 0, written);
    }
    void drain(qint64 written, StopSignal &stop) override
    {
        if (m_started)
            stop.sleepUntil(framesAfter(m_start, written, m_rate));
    }
    void finish(bool) override
    {
        if (m_file)
            sf_close(m_file);
        m_file = nullptr;
    }

private:
    int m_rate;
    int m_channels;
    SNDFILE *m_file;
    bool m_started = false;
    Clock::time_point m_start;
    std::atomic<Clock::rep> m_startNs { 0 };
    qint64 m_written = 0;
};

// Where a recording's frames come from.
class FrameInput {
public:
    virtual ~FrameInput() = default;
    // Fills up to `frames`; 0 after a stop, -1 on failure.
    virtual int read(int16_t *data, int frames, StopSignal &stop, QString *error) = 0;
};

class AlsaInput : public FrameInput {
public:
    explicit AlsaInput(std::unique_ptr<AlsaPcm> pcm)
        : m_pcm(std::move(pcm))
    {
    }
    ~AlsaInput() override
    {
        m_pcm->drop();
        m_pcm->close();
    }
    int read(int16_t *data, int frames, StopSignal &stop, QString *error) override
    {
        if (stop.requested())
            return 0;
        return m_pcm->read(data, frames, error);
    }

private:
    std::unique_ptr<AlsaPcm> m_pcm;
};

class SilentInput : public FrameInput {
public:
    SilentInput(int rate, int channels)
        : m_rate(rate)
        , m_channels(channels)
        , m_start(Clock::now())
    {
    }
    int read(int16_t *data, int frames, StopSignal &stop, QString *) override
    {
        // A piece of silence is there once its time has passed, as from a real microphone.
        if (stop.sleepUntil(framesAfter(m_start, m_read + frames, m_rate)))
            return 0;
        std::fill(data, data + size_t(frames) * m_channels, int16_t(0));
        m_read += frames;
        return frames;
    }

private:
    int m_rate;
    int m_channels;
    Clock::time_point m_start;
    qint64 m_read = 0;
};

bool supportedFormat(const WaveFormat &format)
{
    return format.formatTag == 1 && (format.channels == 1 || format.channels == 2)
        && (format.bitsPerSample == 8 || format.bitsPerSample == 16) && format.samplesPerSec >= 4000
        && format.samplesPerSec <= 192000;
}

SoundWave::Error errorFor(const AudioStatus &status)
{
    switch (status.code) {
    case AudioStatus::Ok:
        return SoundWave::NoError;
    case AudioStatus::NotFound:
        return SoundWave::FileNotFound;
    case AudioStatus::NotSound:
        return SoundWave::NotSoundFile;
    case AudioStatus::TooLong:
        return SoundWave::FileTooLong;
    case AudioStatus::CannotWrite:
        return SoundWave::CannotWriteFile;
    case AudioStatus::BadArgument:
        return SoundWave::UnsupportedFormat;
    }
    return SoundWave::NotSoundFile;
}

QString genericText(int code)
{
    switch (code) {
    case SoundWave::NoError:
        return QStringLiteral("no error");
    case SoundWave::FileNotFound:
        return QStringLiteral("file not found");
    case SoundWave::NotSoundFile:
        return QStringLiteral("not a sound file");
    case SoundWave::NoSuchOutputDevice:
        return QStringLiteral("no such output device");
    case SoundWave::DeviceFailed:
        return QStringLiteral("the sound device failed");
    case SoundWave::UnsupportedFormat:
        return QStringLiteral("unsupported wave format");
    case SoundWave::LineNotReady:
        return QStringLiteral("the line is not ready for audio");
    case SoundWave::FileTooLong:
        return QStringLiteral("file too long");
    case SoundWave::CannotWriteFile:
        return QStringLiteral("cannot write file");
    case SoundWave::AlreadyRecording:
        return QStringLiteral("already recording");
    case SoundWave::NotRecording:
        return QStringLiteral("not recording");
    case SoundWave::NoSuchInputDevice:
        return QStringLiteral("no such input device");
    }
    return QStringLiteral("unknown error %1").arg(code);
}

} // namespace

struct SoundWave::LocalPlayback {
    quint64 generation = 0;
    AudioStream stream;
    std::unique_ptr<FrameOutput> output;
    StopSignal stop;
    std::atomic<qint64> heardFrames { 0 };
    int rate = 0;
    QString error;
    std::thread thread;

    void run()
    {
        const int channels = stream.channels();
        const int chunk = chunkFrames(rate);
        std::vector<int16_t> buffer(size_t(chunk) * channels);
        qint64 written = 0;
        bool failed = false;
        while (!stop.requested()) {
            const int got = stream.read(buffer.data(), chunk);
            if (got <= 0)
                break;
            if (!output->write(buffer.data(), got, stop, &error)) {
                failed = true;
                break;
            }
            if (!stop.requested())
                written += got;
            heardFrames.store(output->heard(written));
        }
        if (!failed && !stop.requested())
            output->drain(written, stop);
        heardFrames.store(output->heard(written));
        output->finish(stop.requested() || failed);
    }
};

struct SoundWave::Recording {
    quint64 generation = 0;
    std::unique_ptr<FrameInput> input;
    SNDFILE *file = nullptr;
    QString path;
    QString partPath;
    int channels = 1;
    int rate = 8000;
    StopSignal stop;
    std::atomic<bool> ended { false };
    QString error;
    std::thread thread;

    void run()
    {
        const int chunk = chunkFrames(rate);
        std::vector<int16_t> buffer(size_t(chunk) * channels);
        for (;;) {
            const int got = input->read(buffer.data(), chunk, stop, &error);
            if (got < 0)
                break;
            if (got == 0) {
                if (stop.requested())
                    break;
                continue;
            }
            if (sf_writef_short(file, buffer.data(), got) != got) {
                error = "cannot write file: " + path;
                break;
            }
        }
        ended.store(true);
    }
};

SoundWave::SoundWave(LineAudioRegistry *lines, QObject *parent)
    : SoundWave(lines, SoundDevice::systemOutputs(), SoundDevice::systemInputs(), parent)
{
    m_systemDevices = true;
}

SoundWave::SoundWave(LineAudioRegistry *lines, QList<SoundDevice> outputs,
                     QList<SoundDevice> inputs, QObject *parent)
    : Wave(parent)
    , m_lines(lines)
    , m_systemDevices(false)
    , m_outputs(std::move(outputs))
    , m_inputs(std::move(inputs))
{
}

SoundWave::~SoundWave()
{
    // No signals from a dying object: end everything quietly.
    cutCurrent();
    if (m_recording) {
        m_recording->stop.request();
        finishRecording();
    }
}

void SoundWave::initialize()
{
    if (m_systemDevices && m_active == Active::None && !m_recording) {
        m_outputs = SoundDevice::systemOutputs();
        m_inputs = SoundDevice::systemInputs();
    }
}

void SoundWave::shutdown()
{
    stopPlay();
    if (m_recording)
        stopRecord();
}

int SoundWave::fail(Error code, const QString &text)
{
    m_playErrorCode = code;
    m_playErrorText = text;
    return code;
}

int SoundWave::failRecord(Error code, const QString &text)
{
    m_recordErrorCode = code;
    m_recordErrorText = text;
    return code;
}

int SoundWave::playFile(const QString &path, int outputDevice, int rateHint)
{
    // A hint outside what any card plays means "no preference".
    const int rate = rateHint >= 4000 && rateHint <= 192000 ? rateHint : 0;
    return playLocal(path, outputDevice, rate, 0);
}

int SoundWave::startPlayACM(const QString &path, const WaveFormat &format, int device,
                            int bufferSize)
{
    if (!supportedFormat(format))
        return fail(UnsupportedFormat,
                    QStringLiteral("unsupported wave format (tag %1, %2 channel(s), %3 Hz, %4 bit)")
                        .arg(format.formatTag)
                        .arg(format.channels)
                        .arg(format.samplesPerSec)
                        .arg(format.bitsPerSample));
    if (device >= LineAudioRegistry::kFirstId) {
        if (format.channels != 1 || format.samplesPerSec != AudioFile::kLineRate
            || format.bitsPerSample != 16)
            return fail(UnsupportedFormat,
                        QStringLiteral("the line takes 8 kHz 16-bit mono PCM only"));
        return playLine(path, device, bufferSize);
    }
    // A local device gets the asked rate and channels; samples stay 16-bit, which every card
    // takes.
    return playLocal(path, device, format.samplesPerSec, format.channels);
}

int SoundWave::playLocal(const QString &path, int device, int rate, int channels)
{
    if (device < 0 || device >= m_outputs.size())
        return fail(NoSuchOutputDevice, QStringLiteral("no such output device %1").arg(device));

    auto playback = std::make_unique<LocalPlayback>();
    const AudioStatus status = playback->stream.open(path, rate, channels);
    if (!status.ok())
        return fail(errorFor(status), status.text);
    playback->rate = playback->stream.sampleRate();
    const int outChannels = playback->stream.channels();

    // The old playback goes first: an ALSA hw device plays one stream at a time, so it has to
    // be free before it is opened again. A replaced playback ends silently even when the new
    // one then fails to start; the caller hears about the failure through the result code.
    cutCurrent();

    const SoundDevice &target = m_outputs.at(device);
    QString error;
    QString deviceFile;
    switch (target.kind) {
    case SoundDevice::Kind::Alsa: {
        auto pcm = std::make_unique<AlsaPcm>();
        if (!pcm->open(target.name, AlsaPcm::Direction::Playback, playback->rate, outChannels,
                       &error))
            return fail(DeviceFailed, error);
        playback->output = std::make_unique<AlsaOutput>(std::move(pcm));
        break;
    }
    case SoundDevice::Kind::Null:
        playback->output = std::make_unique<PacedOutput>(playback->rate, outChannels, nullptr);
        break;
    case SoundDevice::Kind::File: {
        SNDFILE *file
            = openNumberedWav(target.folder, playback->rate, outChannels, &deviceFile, &error);
        if (!file)
            return fail(DeviceFailed, error);
        playback->output = std::make_unique<PacedOutput>(playback->rate, outChannels, file);
        break;
    }
    }

    if (!deviceFile.isEmpty())
        m_lastDeviceFile = deviceFile;
    playback->generation = ++m_generation;
    LocalPlayback *raw = playback.get();
    m_local = std::move(playback);
    m_active = Active::Local;
    raw->thread = std::thread([this, raw] {
        raw->run();
        const quint64 generation = raw->generation;
        QMetaObject::invokeMethod(
            this, [this, generation] { localEnded(generation); }, Qt::QueuedConnection);
    });
    return NoError;
}

int SoundWave::playLine(const QString &path, int device, int bufferSize)
{
    LineAudioSink *sink = m_lines ? m_lines->find(device) : nullptr;
    if (!sink)
        return fail(NoSuchOutputDevice, QStringLiteral("no such output device %1").arg(device));

    QByteArray pcm;
    const AudioStatus status = AudioFile::toLineFormat(path, &pcm);
    if (!status.ok())
        return fail(errorFor(status), status.text);

    cutCurrent();
    if (!sink->lineStartPlayback())
        return fail(LineNotReady,
                    QStringLiteral("the line is not ready for audio (device %1)").arg(device));

    const quint64 generation = ++m_generation;
    m_active = Active::Line;
    m_lineSink = sink;
    // Queued, so a sink that finishes inside lineEndPlayback still gives its playDone after
    // startPlayACM has returned.
    m_lineConnections << connect(
        sink, &LineAudioSink::playbackFinished, this, [this, generation] { lineEnded(generation); },
        Qt::QueuedConnection);
    // A modem unplugged mid-greeting takes its sink with it; the playback is over then too.
    m_lineConnections << connect(
        sink, &QObject::destroyed, this, [this, generation] { lineEnded(generation); },
        Qt::QueuedConnection);

    // The caller's buffer size is in bytes of line audio; keep it to whole samples and sane.
    const qsizetype chunk = std::clamp<qsizetype>(bufferSize, 160, 65536) & ~qsizetype(1);
    for (qsizetype at = 0; at < pcm.size(); at += chunk) {
        if (!sink->lineWriteSamples(pcm.mid(at, chunk))) {
            cutCurrent();
            return fail(LineNotReady,
                        QStringLiteral("the line stopped taking audio (device %1)").arg(device));
        }
    }
    sink->lineEndPlayback();
    return NoError;
}

void SoundWave::cutCurrent()
{
    ++m_generation;
    if (m_local) {
        m_local->stop.request();
        if (m_local->thread.joinable())
            m_local->thread.join();
        m_local.reset();
    }
    for (const auto &connection : std::as_const(m_lineConnections))
        disconnect(connection);
    m_lineConnections.clear();
    if (m_active == Active::Line && m_lineSink)
        m_lineSink->lineStopPlayback();
    m_lineSink.clear();
    m_active = Active::None;
}

void SoundWave::stopPlay()
{
    if (m_active == Active::None)
        return;
    cutCurrent();
    emit playDone();
}

void SoundWave::localEnded(quint64 generation)
{
    if (generation != m_generation || !m_local || m_active != Active::Local)
        return;
    if (m_local->thread.joinable())
        m_local->thread.join();
    if (!m_local->error.isEmpty())
        fail(DeviceFailed, m_local->error);
    m_local.reset();
    m_active = Active::None;
    emit playDone();
}

void SoundWave::lineEnded(quint64 generation)
{
    if (generation != m_generation || m_active != Active::Line)
        return;
    for (const auto &connection : std::as_const(m_lineConnections))
        disconnect(connection);
    m_lineConnections.clear();
    m_lineSink.clear();
    m_active = Active::None;
    emit playDone();
}

bool SoundWave::isPlaying() const
{
    return m_active != Active::None;
}

int SoundWave::playPosition() const
{
    if (m_active == Active::Local && m_local && m_local->rate > 0)
        return int(m_local->heardFrames.load() * 1000 / m_local->rate);
    if (m_active == Active::Line && m_lineSink)
        return m_lineSink->linePlayedMs();
    return 0;
}

int SoundWave::startRecord(int inputDevice, const QString &path, const WaveFormat &format)
{
    if (m_recording)
        return failRecord(AlreadyRecording, QStringLiteral("already recording"));
    if (inputDevice < 0 || inputDevice >= m_inputs.size())
        return failRecord(NoSuchInputDevice,
                          QStringLiteral("no such input device %1").arg(inputDevice));
    if (!supportedFormat(format))
        return failRecord(UnsupportedFormat, QStringLiteral("unsupported wave format"));

    auto recording = std::make_unique<Recording>();
    recording->rate = format.samplesPerSec;
    recording->channels = format.channels;
    recording->path = path;

    const SoundDevice &source = m_inputs.at(inputDevice);
    if (source.kind == SoundDevice::Kind::Alsa) {
        auto pcm = std::make_unique<AlsaPcm>();
        QString error;
        if (!pcm->open(source.name, AlsaPcm::Direction::Capture, format.samplesPerSec,
                       format.channels, &error))
            return failRecord(DeviceFailed, error);
        recording->input = std::make_unique<AlsaInput>(std::move(pcm));
    } else {
        recording->input = std::make_unique<SilentInput>(format.samplesPerSec, format.channels);
    }

    // The take goes to a side file and replaces `path` only when it is complete, so an
    // earlier greeting survives a recording that fails.
    recording->partPath = path + QStringLiteral(".part");
    SF_INFO info {};
    info.samplerate = format.samplesPerSec;
    info.channels = format.channels;
    info.format = SF_FORMAT_WAV | (format.bitsPerSample == 8 ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_16);
    recording->file = sf_open(QFile::encodeName(recording->partPath).constData(), SFM_WRITE, &info);
    if (!recording->file)
        return failRecord(CannotWriteFile, "cannot write file: " + path);

    m_recordEndUnreported = false;
    recording->generation = ++m_recordGeneration;
    Recording *raw = recording.get();
    m_recording = std::move(recording);
    raw->thread = std::thread([this, raw] {
        raw->run();
        const quint64 generation = raw->generation;
        QMetaObject::invokeMethod(
            this, [this, generation] { recordingEnded(generation); }, Qt::QueuedConnection);
    });
    return NoError;
}

void SoundWave::recordingEnded(quint64 generation)
{
    // The device failed on its own (a USB microphone pulled out): keep what was taken.
    if (m_recording && m_recording->generation == generation && !m_recording->stop.requested())
        finishRecording();
}

void SoundWave::finishRecording()
{
    if (!m_recording)
        return;
    m_recording->stop.request();
    if (m_recording->thread.joinable())
        m_recording->thread.join();
    sf_close(m_recording->file);
    const QString error = m_recording->error;
    const QString part = m_recording->partPath;
    const QString path = m_recording->path;
    m_recording.reset();
    m_recordEndUnreported = true;
    if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(part);
        failRecord(CannotWriteFile, "cannot write file: " + path);
    } else if (!error.isEmpty())
        failRecord(DeviceFailed, error);
    else
        failRecord(NoError, QString());
}

int SoundWave::stopRecord()
{
    if (!m_recording) {
        // A recording that ended by itself (its device failed) is reported at this stop.
        if (m_recordEndUnreported) {
            m_recordEndUnreported = false;
            return m_recordErrorCode;
        }
        return failRecord(NotRecording, QStringLiteral("not recording"));
    }
    finishRecording();
    m_recordEndUnreported = false;
    return m_recordErrorCode;
}

bool SoundWave::isRecording() const
{
    return m_recording && !m_recording->ended.load();
}

QString SoundWave::playErrorText(int code) const
{
    if (code == m_playErrorCode && !m_playErrorText.isEmpty())
        return m_playErrorText;
    return genericText(code);
}

QString SoundWave::recordErrorText(int code) const
{
    if (code == m_recordErrorCode && !m_recordErrorText.isEmpty())
        return m_recordErrorText;
    return genericText(code);
}

int SoundWave::outputDeviceCount() const
{
    return int(m_outputs.size());
}

QString SoundWave::outputDeviceName(int index) const
{
    return index >= 0 && index < m_outputs.size() ? m_outputs.at(index).name : QString();
}

int SoundWave::inputDeviceCount() const
{
    return int(m_inputs.size());
}

QString SoundWave::inputDeviceName(int index) const
{
    return index >= 0 && index < m_inputs.size() ? m_inputs.at(index).name : QString();
}

} // namespace quorvel
