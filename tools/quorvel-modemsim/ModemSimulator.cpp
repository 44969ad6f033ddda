#include "tools/quorvel-modemsim/ModemSimulator.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <cstdio>

namespace quorvel::modemsim {

namespace {
// Bytes taken from the port in one go; small enough that pacing stays fine-grained.
constexpr qint64 kReadChunk = 4096;
} // namespace

ModemSimulator::ModemSimulator(SimOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    m_paceTimer.setSingleShot(true);
    m_paceTimer.setTimerType(Qt::PreciseTimer);
    m_drainTimer.setSingleShot(true);
    m_drainTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_paceTimer, &QTimer::timeout, this, &ModemSimulator::resumeReading);
    connect(&m_drainTimer, &QTimer::timeout, this, &ModemSimulator::finishDrain);
    connect(&m_pty, &PtyEndpoint::readyRead, this, &ModemSimulator::onReadyRead);
    connect(&m_pty, &PtyEndpoint::hostOpened, this, [this] {
        if (m_modem)
            m_modem->hostOpened();
    });
    connect(&m_pty, &PtyEndpoint::hostClosed, this, [this] {
        if (m_modem)
            m_modem->hostClosed();
    });
}

ModemSimulator::~ModemSimulator() = default;

int ModemSimulator::start(QString *error)
{
    const std::optional<ModemProfile> profile = ModemProfile::byName(m_options.profile);
    if (!profile) {
        *error = QStringLiteral("unknown profile '%1'").arg(m_options.profile);
        return ExitUsage;
    }

    ScriptParseResult script;
    if (!m_options.script.isEmpty()) {
        QFile file(m_options.script);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read the script %1: %2")
                         .arg(m_options.script, file.errorString());
            return ExitUsage;
        }
        script = ScriptParser::parse(file.readAll());
        if (!script.errors.isEmpty()) {
            QStringList lines;
            for (const ScriptError &e : script.errors)
                lines.append(m_options.script + QStringLiteral(":") + e.toString());
            *error = lines.join(u'\n');
            return ExitUsage;
        }
    }

    if (!m_options.capture.isEmpty()) {
        if (!QDir().mkpath(m_options.capture)) {
            *error = QStringLiteral("cannot create the capture folder %1").arg(m_options.capture);
            return ExitUsage;
        }
        m_capture = std::make_unique<CaptureWriter>(m_options.capture);
    }

    if (!m_options.log.isEmpty() && !m_log.open(m_options.log, error))
        return ExitUsage;

    ModemInterpreter::Options modemOptions;
    modemOptions.holdTransmitEnd = !m_options.fastAudio;
    m_modem = std::make_unique<ModemInterpreter>(*profile, *this, m_clock, modemOptions);

    m_signals = new SignalWatcher(this);
    connect(m_signals, &SignalWatcher::terminationRequested, this, [this](int number) {
        logEvent(QStringLiteral("signal %1").arg(number));
        shutdown(ExitOk);
    });

    switch (m_pty.open(m_options.link, error)) {
    case PtyEndpoint::OpenError::None:
        break;
    case PtyEndpoint::OpenError::BadLink:
        return ExitUsage;
    case PtyEndpoint::OpenError::Pty:
        return ExitPty;
    }
    logEvent(QStringLiteral("ready pty=%1 link=%2 profile=%3")
                 .arg(m_pty.slaveName(), m_options.link, m_options.profile));
    std::fprintf(stderr, "quorvel-modemsim: %s -> %s (%s modem)\n", qPrintable(m_options.link),
                 qPrintable(m_pty.slaveName()), qPrintable(m_options.profile));

    m_runner = new ScriptRunner(*m_modem, m_options.ringPeriod, this);
    connect(m_runner, &ScriptRunner::logEvent, this, &ModemSimulator::logEvent);
    connect(m_runner, &ScriptRunner::exitRequested, this, &ModemSimulator::shutdown);
    connect(m_runner, &ScriptRunner::muteRequested, this, [this](bool muted) {
        m_muted = muted;
        logEvent(muted ? QStringLiteral("muted") : QStringLiteral("unmuted"));
    });
    if (!m_options.script.isEmpty()) {
        for (const ScriptCommand &c : script.commands)
            m_runner->append(c);
        m_runner->setInputFinished();
    } else {
        m_stdin = new StdinReader(0, this);
        connect(m_stdin, &StdinReader::lineReceived, this, &ModemSimulator::onStdinLine);
        connect(m_stdin, &StdinReader::finished, this,
                [this] { logEvent(QStringLiteral("stdin closed")); });
    }
    return ExitOk;
}

void ModemSimulator::onStdinLine(const QString &line, int lineNumber)
{
    ScriptCommand command;
    ScriptError error;
    switch (ScriptParser::parseLine(line, lineNumber, &command, &error)) {
    case ScriptParser::LineResult::Empty:
        break;
    case ScriptParser::LineResult::Command:
        m_runner->append(command);
        break;
    case ScriptParser::LineResult::Error:
        // A typo at the prompt must not end a session the host is in the middle of.
        std::fprintf(stderr, "quorvel-modemsim: stdin %s\n", qPrintable(error.toString()));
        logEvent(QStringLiteral("script error stdin %1").arg(error.toString()));
        break;
    }
}

void ModemSimulator::shutdown(int code)
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_paceTimer.stop();
    m_drainTimer.stop();
    if (m_modem)
        m_modem->shutdown();
    logEvent(QStringLiteral("exit %1").arg(code));
    m_pty.close();
    emit finished(code);
}

int ModemSimulator::msUntil(double when, double now)
{
    return std::max(0, int(std::ceil((when - now) * 1000)));
}

void ModemSimulator::onReadyRead()
{
    if (!m_modem || m_shutDown)
        return;
    // A bounded number of reads, then back to the event loop so timers and the script run.
    for (int round = 0; round < 16; ++round) {
        if (m_muted) {
            // A hung modem: the host's bytes vanish unanswered.
            const QByteArray lost = m_pty.read(kReadChunk);
            if (lost.isEmpty())
                return;
            logEvent(QStringLiteral("muted: ignored %1 bytes").arg(lost.size()));
            continue;
        }
        if (m_modem->mode() == ModemInterpreter::Mode::Draining) {
            m_pty.setReadPaused(true);
            return;
        }
        qint64 max = kReadChunk;
        const bool paced = !m_options.fastAudio
            && m_modem->mode() == ModemInterpreter::Mode::Transmit && !m_pty.hostHungUp();
        if (paced) {
            const double now = JsonLog::monotonicSeconds();
            max = std::min(max, m_pacer.budget(now));
            if (max <= 0) {
                m_pty.setReadPaused(true);
                m_paceTimer.start(msUntil(m_pacer.nextRoom(now), now));
                return;
            }
        }
        const QByteArray bytes = m_pty.read(max);
        if (bytes.isEmpty())
            return;
        m_modem->feed(bytes);
    }
}

void ModemSimulator::resumeReading()
{
    if (m_modem && m_modem->mode() != ModemInterpreter::Mode::Draining)
        m_pty.setReadPaused(false);
}

void ModemSimulator::finishDrain()
{
    if (!m_modem)
        return;
    m_modem->finishTransmit();
    m_pty.setReadPaused(false);
}

// ---------------------------------------------------------------------------------------------
// ModemOutput

bool ModemSimulator::toHost(const QByteArray &bytes)
{
    if (m_muted)
        return false;
    return m_pty.write(bytes);
}

void ModemSimulator::logReceived(const QString &commandLine)
{
    m_log.write(QStringLiteral("rx"), commandLine);
}

void ModemSimulator::logSent(const QString &text, bool delivered)
{
    m_log.write(QStringLiteral("tx"), text, !delivered);
}

void ModemSimulator::logEvent(const QString &text)
{
    m_log.write(QStringLiteral("event"), text);
}

void ModemSimulator::commandLine(const AtCommandLine &line)
{
    if (m_runner)
        m_runner->noteCommand(line);
}

void ModemSimulator::callStarted(int number)
{
    if (m_capture)
        m_capture->startCall(number);
}

void ModemSimulator::callAudio(const QByteArray &pcm16)
{
    if (m_capture)
        m_capture->addAudio(pcm16);
}

void ModemSimulator::callEnded(int, const QString &)
{
    if (!m_capture || !m_capture->inCall())
        return;
    const qint64 samples = m_capture->samples();
    QString error;
    const QString path = m_capture->finishCall(&error);
    if (path.isEmpty()) {
        std::fprintf(stderr, "quorvel-modemsim: %s\n", qPrintable(error));
        logEvent(QStringLiteral("capture failed: %1").arg(error));
        return;
    }
    logEvent(QStringLiteral("capture %1 samples=%2").arg(path).arg(samples));
}

void ModemSimulator::transmitStarted(int bytesPerSecond)
{
    m_drainTimer.stop();
    m_pacer.start(bytesPerSecond, JsonLog::monotonicSeconds());
}

void ModemSimulator::transmitProgress(qint64 sampleBytes)
{
    m_pacer.consumed(sampleBytes, JsonLog::monotonicSeconds());
}

void ModemSimulator::transmitCleared()
{
    m_pacer.clear(JsonLog::monotonicSeconds());
}

void ModemSimulator::transmitEnded(bool waitForDrain)
{
    m_paceTimer.stop();
    if (!m_options.fastAudio && m_pacer.underruns() > 0)
        logEvent(QStringLiteral("vtx underruns=%1 silent=%2 s")
                     .arg(m_pacer.underruns())
                     .arg(m_pacer.underrunSeconds(), 0, 'f', 3));
    if (waitForDrain) {
        const double now = JsonLog::monotonicSeconds();
        m_pty.setReadPaused(true);
        m_drainTimer.start(msUntil(m_pacer.drainTime(now), now));
    } else {
        m_drainTimer.stop();
        m_pty.setReadPaused(false);
    }
}

} // namespace quorvel::modemsim
