#include "controls/modem/ModemChannel.h"

#include <QDeadlineTimer>
#include <QPointer>

namespace quorvel {

ModemChannel::ModemChannel(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ModemChannel::onTimeout);
    connect(&m_port, &SerialPort::readyRead, this, &ModemChannel::onReadyRead);
    connect(&m_port, &SerialPort::lost, this, &ModemChannel::onLost);
}

ModemChannel::~ModemChannel() = default;

bool ModemChannel::open(const QString &path, const SerialPort::Settings &settings)
{
    close();
    return m_port.open(path, settings);
}

void ModemChannel::close()
{
    m_timer.stop();
    m_queue.clear();
    m_held.clear();
    m_hold = false;
    m_transmitting = false;
    m_decoder.reset();
    m_splitter.reset();
    m_port.close();
}

void ModemChannel::send(const QByteArray &command, int timeoutMs, Callback callback,
                        Results accepts)
{
    Pending p;
    p.payload = command + '\r';
    p.echo = command;
    p.timeoutMs = timeoutMs;
    p.callback = std::move(callback);
    p.accepts = QList<AtResult>(accepts);
    enqueue(std::move(p), false);
}

void ModemChannel::enqueue(Pending pending, bool first)
{
    pending.accepts.append(AtResult::Ok);
    pending.accepts.append(AtResult::Error);
    pending.serial = m_nextSerial++;
    if (!isOpen()) {
        // Nothing can answer: the callback learns it as a time-out, but from the event loop,
        // never inside the caller's own call.
        ModemReply reply;
        reply.timedOut = true;
        auto cb = pending.callback;
        QMetaObject::invokeMethod(
            this,
            [cb, reply] {
                if (cb)
                    cb(reply);
            },
            Qt::QueuedConnection);
        return;
    }
    if (first && !m_queue.isEmpty() && m_queue.first().sent)
        m_queue.insert(1, std::move(pending));
    else if (first)
        m_queue.prepend(std::move(pending));
    else
        m_queue.append(std::move(pending));
    dispatch();
}

void ModemChannel::dispatch()
{
    if (m_queue.isEmpty() || m_queue.first().sent || m_transmitting || !isOpen())
        return;
    Pending &head = m_queue.first();
    head.sent = true;
    m_timer.start(head.timeoutMs);
    m_port.write(head.payload);
}

ModemReply ModemChannel::exec(const QByteArray &command, int timeoutMs, Results accepts)
{
    bool done = false;
    ModemReply result;
    result.timedOut = true;
    send(
        command, timeoutMs,
        [&done, &result](const ModemReply &r) {
            done = true;
            result = r;
        },
        accepts);
    QDeadlineTimer deadline(timeoutMs);
    QPointer<ModemChannel> self(this);
    while (!done && self && isOpen()) {
        if (deadline.hasExpired()) {
            m_timer.stop();
            complete(true);
            break;
        }
        m_port.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    if (!done && self && !m_queue.isEmpty() && m_queue.first().echo == command) {
        // Lost while waiting: drop the entry so its callback never fires on a dead frame.
        m_queue.removeFirst();
    }
    return result;
}

void ModemChannel::writeRaw(const QByteArray &bytes)
{
    if (isOpen())
        m_port.write(bytes);
}

void ModemChannel::beginTransmission()
{
    m_transmitting = true;
}

void ModemChannel::writeAudio(const QByteArray &escaped)
{
    if (m_transmitting && isOpen())
        m_port.write(escaped);
}

void ModemChannel::endTransmission(int timeoutMs, Callback callback)
{
    Pending p;
    p.payload = Dle::endOfData();
    p.timeoutMs = timeoutMs;
    p.callback = std::move(callback);
    m_transmitting = false;
    enqueue(std::move(p), true);
}

void ModemChannel::holdUnsolicited(bool hold)
{
    m_hold = hold;
    if (!hold && !m_held.isEmpty())
        QMetaObject::invokeMethod(this, &ModemChannel::releaseHeld, Qt::QueuedConnection);
}

void ModemChannel::releaseHeld()
{
    if (m_hold)
        return;
    const QList<Held> held = std::exchange(m_held, {});
    QPointer<ModemChannel> self(this);
    for (const Held &h : held) {
        if (!self || !isOpen())
            return;
        deliver(h);
    }
}

void ModemChannel::deliver(const Held &held)
{
    if (held.event)
        emit dleEvent(held.event);
    else
        emit unsolicitedLine(held.line, held.result);
}

void ModemChannel::onReadyRead()
{
    const QByteArray bytes = m_port.readAll();
    QPointer<ModemChannel> self(this);
    for (const DleDecoder::Item &item : m_decoder.feed(bytes)) {
        if (!self || !isOpen())
            return;
        if (item.event) {
            // A transmission that ended with DLE ETX leaves the splitter mid-line at most;
            // events are never part of a line.
            handleEvent(item.event);
            continue;
        }
        for (const QByteArray &line : m_splitter.feed(item.data)) {
            if (!self || !isOpen())
                return;
            handleLine(line);
        }
    }
}

void ModemChannel::handleEvent(char event)
{
    if (m_hold) {
        m_held.append(Held { event, {}, AtResult::Text });
        return;
    }
    emit dleEvent(event);
}

void ModemChannel::handleLine(const QByteArray &line)
{
    const AtResult result = AtResults::classify(line);
    if (!m_queue.isEmpty() && m_queue.first().sent) {
        Pending &head = m_queue.first();
        if (!head.echo.isEmpty() && line.compare(head.echo, Qt::CaseInsensitive) == 0)
            return;
        if (result != AtResult::Text && head.accepts.contains(result)) {
            head.reply.result = result;
            complete(false);
            return;
        }
        // Information text answers the command in flight, unless it is plainly the modem
        // speaking on its own (a ring, a caller-ID line, a call-progress result).
        const bool unsolicitedText = result == AtResult::Text
            && (line.startsWith("NMBR") || line.startsWith("NAME") || line.startsWith("DATE")
                || line.startsWith("TIME") || line.startsWith("MESG")
                || line.startsWith("DDN_NMBR"));
        if (result == AtResult::Text && !unsolicitedText) {
            if (head.reply.lines.size() < 64)
                head.reply.lines.append(line);
            return;
        }
    }
    if (m_hold) {
        m_held.append(Held { 0, line, result });
        return;
    }
    emit unsolicitedLine(line, result);
}

void ModemChannel::complete(bool timedOut)
{
    if (m_queue.isEmpty())
        return;
    m_timer.stop();
    Pending head = m_queue.takeFirst();
    head.reply.timedOut = timedOut;
    QPointer<ModemChannel> self(this);
    if (head.callback)
        head.callback(head.reply);
    if (self)
        dispatch();
}

void ModemChannel::onTimeout()
{
    if (!m_queue.isEmpty() && m_queue.first().sent)
        complete(true);
}

void ModemChannel::onLost()
{
    const QString detail = m_port.errorString();
    m_timer.stop();
    m_queue.clear();
    m_held.clear();
    m_transmitting = false;
    m_decoder.reset();
    m_splitter.reset();
    emit lost(detail);
}

} // namespace quorvel
