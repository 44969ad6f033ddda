#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QSocketNotifier;

namespace quorvel {

// One connection from an endpoint to a peer's socket, with the messages the peer has not taken
// yet. Writes never wait: what the socket does not take stays queued here and goes out when
// the socket is writable again, so a slow or stopped peer never stalls the program that sends.
class ChannelSender
{
public:
    // Queued bytes beyond which a peer that reads nothing gets no more messages.
    static constexpr qsizetype MaxQueuedBytes = 64 * 1024 * 1024;

    using ErrorHandler = std::function<void(const QString &)>;

    // Takes a connected, non-blocking socket.
    ChannelSender(int fd, QString peer, ErrorHandler onError);
    ~ChannelSender();
    ChannelSender(const ChannelSender &) = delete;
    ChannelSender &operator=(const ChannelSender &) = delete;

    enum class Queued { Yes, Full, Closed };
    Queued enqueue(const QByteArray &frame);

    bool isOpen() const { return m_fd >= 0; }
    // Looks at the socket without waiting; closes it when the peer has gone.
    bool stillConnected();
    QString peer() const { return m_peer; }
    int fd() const { return m_fd; }
    qsizetype queuedBytes() const { return m_queue.size() - m_offset; }
    // Bytes that were queued when the connection broke.
    qsizetype lostBytes() const { return m_lost; }

    // Writes as much as the socket takes now.
    void writeSome();

private:
    void onReadable();
    void close(const QString &why);
    void updateWriteNotifier();

    int m_fd;
    QString m_peer;
    ErrorHandler m_onError;
    QByteArray m_queue;
    qsizetype m_offset = 0;
    qsizetype m_lost = 0;
    QSocketNotifier *m_writeNotifier = nullptr;
    QSocketNotifier *m_readNotifier = nullptr;
};

} // namespace quorvel
