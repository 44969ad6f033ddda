#pragma once

#include "shared/channel/Channel.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <map>
#include <memory>
#include <sys/types.h>
#include <vector>

class QSocketNotifier;

namespace quorvel {

class ChannelReceiver;
class ChannelSender;
class SocketFolder;

// A channel endpoint over Unix domain sockets in the runtime folder. An endpoint bound to a
// number listens on its own socket file there; opening the number finds the other programs'
// socket files for it and connects to each, and sending writes one frame on each connection.
// Connections are kept from one open to the next, so the protocol's open-before-every-send
// costs a folder scan, not a new connection.
class UnixChannel final : public Channel
{
    Q_OBJECT
public:
    // `runtimeFolder` empty: the runtime folder of the environment, looked up at each open.
    explicit UnixChannel(QObject *parent = nullptr, QString runtimeFolder = QString());
    ~UnixChannel() override;

    bool openChannel(int number) override;
    void sendText(const QString &text) override;
    int number() const override { return m_number; }

    // Waits, without running the event loop, until everything queued for the peers is in
    // their sockets or `timeoutMs` has passed. For a sender about to exit: an endpoint that is
    // destroyed drops what the peers have not taken yet. False when something stayed queued
    // or a peer went away with messages for it.
    bool flush(int timeoutMs);
    // Bytes waiting for slow peers.
    qsizetype queuedBytes() const;
    // Peers the last open found and that are still connected.
    int peerCount() const;
    // The socket this endpoint listens on; empty while it listens on none.
    QString socketPath() const;

private:
    using SenderMap = std::map<QString, std::unique_ptr<ChannelSender>>;

    QString folderPath() const;
    void unbind();
    bool listensIn(const SocketFolder &folder) const;
    bool listen(std::unique_ptr<SocketFolder> folder, int number);
    bool scanPeers(const SocketFolder &folder, int number);
    int connectTo(const SocketFolder &folder, const QString &name, bool *busy, bool *refused);
    std::unique_ptr<ChannelSender> makeSender(int fd, const QString &name);
    void prune();

    void onConnectionWaiting();
    void onReceived(const QStringList &messages, const QStringList &faults);
    void deliverInbox();
    void reportLater(const QString &description);
    void reportOpenProblem(const QString &description);

    QString m_fixedFolder;
    int m_number = 0;

    std::unique_ptr<SocketFolder> m_folder; // where the listening socket lives
    int m_listenFd = -1;
    QSocketNotifier *m_listenNotifier = nullptr;
    QString m_socketName;
    ino_t m_socketInode = 0;

    std::vector<std::unique_ptr<ChannelReceiver>> m_receivers;
    SenderMap m_senders; // peers of the current number
    SenderMap m_lingering; // peers of an earlier number still taking queued messages
    std::deque<QString> m_inbox;
    QString m_lastOpenProblem;
    QStringList m_foreignSeen;
};

} // namespace quorvel
