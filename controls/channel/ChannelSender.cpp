#include "controls/channel/ChannelSender.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvel {

namespace {
// One write hands the kernel at most this much, so a long queue does not hold the event loop.
constexpr qsizetype kWriteChunk = 256 * 1024;

void retire(QSocketNotifier *&notifier)
{
    if (!notifier)
        return;
    notifier->setEnabled(false);
    // Later: this may run inside the notifier's own activation.
    notifier->deleteLater();
    notifier = nullptr;
}
} // namespace

ChannelSender::ChannelSender(int fd, QString peer, ErrorHandler onError)
    : m_fd(fd)
    , m_peer(std::move(peer))
    , m_onError(std::move(onError))
{
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    QObject::connect(m_writeNotifier, &QSocketNotifier::activated, [this] { writeSome(); });
    // The peer never writes on this connection; readable means it closed its end.
    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read);
    QObject::connect(m_readNotifier, &QSocketNotifier::activated, [this] { onReadable(); });
}

ChannelSender::~ChannelSender()
{
    retire(m_writeNotifier);
    retire(m_readNotifier);
    if (m_fd >= 0)
        ::close(m_fd);
}

ChannelSender::Queued ChannelSender::enqueue(const QByteArray &frame)
{
    if (m_fd < 0)
        return Queued::Closed;
    if (queuedBytes() + frame.size() > MaxQueuedBytes)
        return Queued::Full;
    if (m_offset > 0 && (m_offset == m_queue.size() || m_offset >= 1024 * 1024)) {
        m_queue.remove(0, m_offset);
        m_offset = 0;
    }
    const bool wasIdle = queuedBytes() == 0;
    m_queue.append(frame);
    if (wasIdle)
        writeSome();
    return m_fd >= 0 ? Queued::Yes : Queued::Closed;
}

void ChannelSender::writeSome()
{
    while (m_fd >= 0 && queuedBytes() > 0) {
        const qsizetype n = std::min(queuedBytes(), kWriteChunk);
        const ssize_t written
            = ::send(m_fd, m_queue.constData() + m_offset, size_t(n), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written > 0) {
            m_offset += written;
            if (written < n)
                break;
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        close(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    if (queuedBytes() == 0) {
        m_queue.clear();
        m_offset = 0;
    }
    updateWriteNotifier();
}

void ChannelSender::updateWriteNotifier()
{
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(m_fd >= 0 && queuedBytes() > 0);
}

bool ChannelSender::stillConnected()
{
    if (m_fd >= 0)
        onReadable();
    return m_fd >= 0;
}

void ChannelSender::onReadable()
{
    char scratch[512];
    for (;;) {
        const ssize_t n = ::recv(m_fd, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n > 0)
            continue; // nothing is expected from the peer here; ignore it
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        close(n == 0 ? QStringLiteral("the peer closed the connection")
                     : QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
}

void ChannelSender::close(const QString &why)
{
    if (m_fd < 0)
        return;
    retire(m_writeNotifier);
    retire(m_readNotifier);
    ::close(m_fd);
    m_fd = -1;
    m_lost = queuedBytes();
    m_queue.clear();
    m_offset = 0;
    if (m_lost > 0 && m_onError) {
        const ErrorHandler report = m_onError;
        report(QStringLiteral("%1 bytes of messages for %2 were lost: %3")
                   .arg(m_lost)
                   .arg(m_peer, why));
    }
}

} // namespace quorvel
