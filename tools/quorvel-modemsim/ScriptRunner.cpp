#include "tools/quorvel-modemsim/ScriptRunner.h"

#include <cmath>

namespace quorvel::modemsim {

namespace {
// A long-running demo must not hoard every command it ever saw.
constexpr qsizetype kMaxUnconsumed = 1000;
} // namespace

ScriptRunner::ScriptRunner(ModemInterpreter &modem, double ringPeriodSeconds, QObject *parent)
    : QObject(parent)
    , m_modem(modem)
    , m_ringPeriodMs(int(std::lround(ringPeriodSeconds * 1000)))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
}

void ScriptRunner::append(const ScriptCommand &command)
{
    m_queue.append(command);
    m_doneReported = false;
    if (!m_busy)
        scheduleNext();
}

void ScriptRunner::setInputFinished()
{
    m_inputFinished = true;
    if (!m_busy)
        scheduleNext();
}

bool ScriptRunner::matches(const QStringList &forms, const QString &expected)
{
    for (const QString &f : forms)
        if (f.startsWith(expected, Qt::CaseInsensitive))
            return true;
    return false;
}

void ScriptRunner::noteCommand(const AtCommandLine &line)
{
    m_unconsumed.append(line.matchForms());
    if (m_unconsumed.size() > kMaxUnconsumed)
        m_unconsumed.removeFirst();
    // The modem acts on the line after this returns; look at the outcome then.
    QMetaObject::invokeMethod(
        this,
        [this] {
            checkRinging();
            if (m_current && m_current->kind == ScriptCommand::Kind::Expect && takeExpected()) {
                m_timer.stop();
                m_timer.disconnect(this);
                finishCommand();
            }
        },
        Qt::QueuedConnection);
}

void ScriptRunner::scheduleNext()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    // Always from the event loop: a command never runs inside the modem's handling of a line.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_scheduled = false;
            runNext();
        },
        Qt::QueuedConnection);
}

void ScriptRunner::finishCommand()
{
    m_current.reset();
    m_busy = false;
    scheduleNext();
}

void ScriptRunner::runNext()
{
    if (m_busy)
        return;
    if (m_queue.isEmpty()) {
        if (m_inputFinished && !m_doneReported) {
            m_doneReported = true;
            emit logEvent(QStringLiteral("script done"));
            emit done();
        }
        return;
    }
    m_busy = true;
    m_current = m_queue.takeFirst();
    const ScriptCommand &c = *m_current;
    emit logEvent(QStringLiteral("script line %1: %2").arg(c.line).arg(c.source));
    m_timer.disconnect(this);

    using Kind = ScriptCommand::Kind;
    switch (c.kind) {
    case Kind::Ring:
        m_modem.ring();
        break;
    case Kind::Ringing:
        m_ringsLeft = c.count;
        if (!m_modem.ring())
            break;
        if (--m_ringsLeft > 0) {
            connect(&m_timer, &QTimer::timeout, this, &ScriptRunner::ringTick);
            m_timer.start(m_ringPeriodMs);
            return;
        }
        break;
    case Kind::Send:
        m_modem.sendLine(c.text);
        break;
    case Kind::CallerId:
        m_modem.callerId(c.text, c.name);
        break;
    case Kind::Wait:
        connect(&m_timer, &QTimer::timeout, this, &ScriptRunner::finishCommand);
        m_timer.start(int(std::lround(c.seconds * 1000)));
        return;
    case Kind::Hangup:
        m_modem.farEndHangup();
        break;
    case Kind::Dtmf:
        if (m_modem.lineState() != ModemInterpreter::LineState::Connected) {
            emit logEvent(QStringLiteral("dtmf ignored: the line is %1")
                              .arg(ModemInterpreter::stateName(m_modem.lineState())));
            break;
        }
        m_digitsLeft = c.text;
        digitTick();
        return;
    case Kind::Dle:
        m_modem.sendEvent(c.text.at(0).toLatin1());
        break;
    case Kind::Expect:
        if (takeExpected())
            break;
        connect(&m_timer, &QTimer::timeout, this, &ScriptRunner::expectTimedOut);
        m_timer.start(int(std::lround(c.seconds * 1000)));
        return;
    case Kind::Answer:
        m_modem.farEndAnswer();
        break;
    case Kind::Mute:
        emit muteRequested(c.count == 1);
        break;
    case Kind::Exit:
        m_busy = false;
        emit exitRequested(c.count);
        return;
    }
    finishCommand();
}

void ScriptRunner::ringTick()
{
    if (m_modem.lineState() != ModemInterpreter::LineState::Ringing) {
        checkRinging();
        return;
    }
    m_modem.ring();
    if (--m_ringsLeft > 0) {
        m_timer.start(m_ringPeriodMs);
        return;
    }
    m_timer.disconnect(this);
    finishCommand();
}

void ScriptRunner::checkRinging()
{
    // The host answered (or the caller was dropped) between two rings: stop ringing at once
    // rather than at the next ring.
    if (!m_current || m_current->kind != ScriptCommand::Kind::Ringing)
        return;
    if (m_modem.lineState() == ModemInterpreter::LineState::Ringing)
        return;
    emit logEvent(QStringLiteral("ringing stopped: the line is %1")
                      .arg(ModemInterpreter::stateName(m_modem.lineState())));
    m_timer.stop();
    m_timer.disconnect(this);
    finishCommand();
}

void ScriptRunner::digitTick()
{
    if (m_digitsLeft.isEmpty() || m_modem.lineState() != ModemInterpreter::LineState::Connected) {
        if (!m_digitsLeft.isEmpty())
            emit logEvent(QStringLiteral("dtmf stopped: the line is %1")
                              .arg(ModemInterpreter::stateName(m_modem.lineState())));
        m_timer.disconnect(this);
        finishCommand();
        return;
    }
    m_modem.sendEvent(m_digitsLeft.at(0).toLatin1());
    m_digitsLeft.remove(0, 1);
    if (m_digitsLeft.isEmpty()) {
        m_timer.disconnect(this);
        finishCommand();
        return;
    }
    m_timer.disconnect(this);
    connect(&m_timer, &QTimer::timeout, this, &ScriptRunner::digitTick);
    m_timer.start(kDigitGapMs);
}

bool ScriptRunner::takeExpected()
{
    const QString expected = m_current->text;
    for (qsizetype i = 0; i < m_unconsumed.size(); ++i) {
        if (matches(m_unconsumed.at(i), expected)) {
            emit logEvent(
                QStringLiteral("expect %1 matched %2").arg(expected, m_unconsumed.at(i).first()));
            m_unconsumed.remove(0, i + 1);
            return true;
        }
    }
    return false;
}

void ScriptRunner::expectTimedOut()
{
    emit logEvent(QStringLiteral("expect %1 timed out after %2 s")
                      .arg(m_current->text)
                      .arg(m_current->seconds));
    m_timer.disconnect(this);
    m_current.reset();
    m_queue.clear();
    m_busy = false;
    emit exitRequested(3);
}

} // namespace quorvel::modemsim
