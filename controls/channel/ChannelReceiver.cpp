#include "controls/channel/ChannelReceiver.h"

#include "shared/channel/ChannelMessage.h"

#include <QSocketNotifier>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvel {

namespace {
// Bytes read per wake-up at most, so a flooding peer cannot keep the event loop to itself.
constexpr qsizetype kReadBudget = 1024 * 1024;
constexpr qsizetype kReadChunk = 64 * 1024;
} // namespace

ChannelReceiver::ChannelReceiver(int fd, QString peerLabel, Sink sink)
    : m_fd(fd)
    , m_peerLabel(std::move(peerLabel))
    , m_sink(std::move(sink))
{
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier, &QSocketNotifier::activated, [this] { onReadable(); });
}

ChannelReceiver::~ChannelReceiver()
{
    close();
}

void ChannelReceiver::close()
{
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void ChannelReceiver::onReadable()
{
    QStringList messages;
    QStringList faults;
    bool ended = false;

    auto drainDecoder = [&]() {
        QString text;
        for (;;) {
            switch (m_decoder.next(&text)) {
            case ChannelFrameDecoder::Result::Message:
                messages.append(text);
                continue;
            case ChannelFrameDecoder::Result::BadText:
                faults.append(QStringLiteral("a message from %1 was not UTF-8 text and was dropped")
                                  .arg(m_peerLabel));
                continue;
            case ChannelFrameDecoder::Result::Oversize:
                faults.append(QStringLiteral("%1 announced a message longer than %2 bytes; its "
                                             "connection was closed")
                                  .arg(m_peerLabel)
                                  .arg(ChannelMessage::MaxBytes));
                ended = true;
                return;
            case ChannelFrameDecoder::Result::NeedMore:
                return;
            }
        }
    };

    char buffer[kReadChunk];
    qsizetype budget = kReadBudget;
    while (!ended && budget > 0) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            budget -= n;
            m_decoder.append(buffer, n);
            drainDecoder();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        ended = true;
        if (m_decoder.pendingBytes() > 0) {
            faults.append(QStringLiteral("%1 closed its connection in the middle of a message; "
                                         "%2 bytes were discarded")
                              .arg(m_peerLabel)
                              .arg(m_decoder.pendingBytes()));
        }
    }
    if (ended)
        close();
    if (messages.isEmpty() && faults.isEmpty())
        return;
    const Sink sink = m_sink;
    sink(messages, faults);
}

} // namespace quorvel
