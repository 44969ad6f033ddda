#pragma once

#include "controls/channel/ChannelFrameDecoder.h"

#include <QString>
#include <QStringList>

#include <functional>

class QSocketNotifier;

namespace quorvel {

// One accepted connection: reads what a peer sends and cuts it into messages. A stream that
// goes wrong (an oversized frame, a peer gone in the middle of a message) ends this connection
// only; the messages before the fault are kept.
class ChannelReceiver
{
public:
    // Called after each read with the whole messages that came in and the faults seen, in
    // stream order. The call is the receiver's last act, so the handler may destroy it.
    using Sink = std::function<void(const QStringList &messages, const QStringList &faults)>;

    ChannelReceiver(int fd, QString peerLabel, Sink sink);
    ~ChannelReceiver();
    ChannelReceiver(const ChannelReceiver &) = delete;
    ChannelReceiver &operator=(const ChannelReceiver &) = delete;

    bool isOpen() const { return m_fd >= 0; }

private:
    void onReadable();
    void close();

    int m_fd;
    QString m_peerLabel;
    Sink m_sink;
    ChannelFrameDecoder m_decoder;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace quorvel
