#include "controls/channel/UnixChannel.h"

#include "controls/channel/ChannelFrame.h"
#include "controls/channel/ChannelReceiver.h"
#include "controls/channel/ChannelSender.h"
#include "controls/channel/ChannelSocketName.h"
#include "controls/channel/SocketFolder.h"
#include "shared/channel/ChannelMessage.h"
#include "shared/common/DataHome.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvel {

namespace {

std::atomic<quint64> g_bindings { 0 };

bool processAlive(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool peerCredentials(int fd, ucred *cred)
{
    socklen_t length = sizeof(*cred);
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, cred, &length) == 0 && length == sizeof(*cred);
}

} // namespace

UnixChannel::UnixChannel(QObject *parent, QString runtimeFolder)
    : Channel(parent)
    , m_fixedFolder(std::move(runtimeFolder))
{ }

UnixChannel::~UnixChannel()
{
    unbind();
}

QString UnixChannel::folderPath() const
{
    return m_fixedFolder.isEmpty() ? runtimeDir() : m_fixedFolder;
}

bool UnixChannel::openChannel(int number)
{
    if (number <= 0) {
        reportLater(QStringLiteral("channel number %1 refused: numbers are positive").arg(number));
        return false;
    }
    prune();
    auto folder = std::make_unique<SocketFolder>(folderPath());
    if (!folder->usable()) {
        reportOpenProblem(folder->problem());
        return false;
    }

    if (number != m_number) {
        unbind();
        m_number = number;
    }
    // Listen again when the socket file is gone, for instance after the runtime folder was
    // cleaned away at logout: peers find endpoints only by their files.
    bool listening = listensIn(*folder);
    const bool present = scanPeers(*folder, number);
    if (!listening)
        listening = listen(std::move(folder), number);
    if (listening)
        m_lastOpenProblem.clear();
    return present;
}

void UnixChannel::sendText(const QString &text)
{
    const std::optional<QByteArray> frame = ChannelFrame::encode(text);
    if (!frame) {
        reportLater(QStringLiteral("message of %1 bytes not sent on channel %2: the limit is %3")
                        .arg(text.toUtf8().size())
                        .arg(m_number)
                        .arg(ChannelMessage::MaxBytes));
        return;
    }
    for (auto &[name, sender] : m_senders) {
        if (sender->enqueue(*frame) == ChannelSender::Queued::Full) {
            reportLater(QStringLiteral("message not sent on channel %1: %2 has not read the %3 "
                                       "bytes sent before")
                            .arg(m_number)
                            .arg(name)
                            .arg(sender->queuedBytes()));
        }
    }
}

bool UnixChannel::flush(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        std::vector<ChannelSender *> waiting;
        for (SenderMap *map : { &m_senders, &m_lingering }) {
            for (auto &[name, sender] : *map) {
                if (sender->isOpen() && sender->queuedBytes() > 0)
                    waiting.push_back(sender.get());
            }
        }
        if (waiting.empty())
            break;
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return false;
        std::vector<pollfd> fds;
        for (ChannelSender *sender : waiting)
            fds.push_back({ sender->fd(), POLLOUT, 0 });
        const int ready = ::poll(fds.data(), nfds_t(fds.size()), left < 0 ? -1 : int(left));
        if (ready < 0 && errno != EINTR)
            return false;
        for (ChannelSender *sender : waiting)
            sender->writeSome();
    }
    for (SenderMap *map : { &m_senders, &m_lingering }) {
        for (auto &[name, sender] : *map) {
            if (sender->lostBytes() > 0)
                return false;
        }
    }
    return true;
}

qsizetype UnixChannel::queuedBytes() const
{
    qsizetype total = 0;
    for (const SenderMap *map : { &m_senders, &m_lingering }) {
        for (const auto &[name, sender] : *map)
            total += sender->queuedBytes();
    }
    return total;
}

int UnixChannel::peerCount() const
{
    int count = 0;
    for (const auto &[name, sender] : m_senders)
        count += sender->isOpen() ? 1 : 0;
    return count;
}

QString UnixChannel::socketPath() const
{
    if (m_listenFd < 0 || !m_folder)
        return QString();
    return m_folder->path() + '/' + m_socketName;
}

bool UnixChannel::listensIn(const SocketFolder &folder) const
{
    return m_listenFd >= 0 && m_socketInode != 0 && folder.inode(m_socketName) == m_socketInode;
}

bool UnixChannel::listen(std::unique_ptr<SocketFolder> folder, int number)
{
    // A number change already closed the connections; here only the listening socket moves.
    if (m_listenNotifier) {
        m_listenNotifier->setEnabled(false);
        m_listenNotifier->deleteLater();
        m_listenNotifier = nullptr;
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
    }
    if (m_folder)
        m_folder->remove(m_socketName, m_socketInode);
    m_socketInode = 0;

    ChannelSocketName name;
    name.number = number;
    name.pid = ::getpid();
    name.binding = ++g_bindings;

    sockaddr_un addr {};
    socklen_t length = 0;
    if (!folder->address(name.tempName(), &addr, &length)) {
        reportOpenProblem(
            QStringLiteral("runtime folder %1: no socket address fits").arg(folder->path()));
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        reportOpenProblem(
            QStringLiteral("no socket for channel %1: %2").arg(number).arg(errnoText()));
        return false;
    }
    // Made under a dot name and renamed once it listens, so a peer never finds a file that
    // refuses connections and takes it for a dead endpoint's.
    ::unlinkat(AT_FDCWD, addr.sun_path, 0);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), length) != 0
        || !folder->setMode(name.tempName(), 0600) || ::listen(fd, SOMAXCONN) != 0
        || !folder->rename(name.tempName(), name.fileName())) {
        const QString why = errnoText();
        ::close(fd);
        folder->remove(name.tempName(), folder->inode(name.tempName()));
        reportOpenProblem(QStringLiteral("channel %1 cannot listen in %2: %3")
                              .arg(number)
                              .arg(folder->path(), why));
        return false;
    }
    m_listenFd = fd;
    m_socketName = name.fileName();
    m_socketInode = folder->inode(m_socketName);
    m_folder = std::move(folder);
    m_listenNotifier = new QSocketNotifier(m_listenFd, QSocketNotifier::Read);
    connect(m_listenNotifier, &QSocketNotifier::activated, this, &UnixChannel::onConnectionWaiting);
    return true;
}

void UnixChannel::unbind()
{
    if (m_listenNotifier) {
        m_listenNotifier->setEnabled(false);
        m_listenNotifier->deleteLater();
        m_listenNotifier = nullptr;
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
    }
    if (m_folder)
        m_folder->remove(m_socketName, m_socketInode);
    m_folder.reset();
    m_socketName.clear();
    m_socketInode = 0;
    // What came in for the old number is no longer this endpoint's to report.
    m_receivers.clear();
    m_inbox.clear();
    // Messages already sent on the old number still go out; the connections close once empty.
    for (auto &[name, sender] : m_senders) {
        if (sender->isOpen() && sender->queuedBytes() > 0)
            m_lingering[name] = std::move(sender);
    }
    m_senders.clear();
    m_number = 0;
}

bool UnixChannel::scanPeers(const SocketFolder &folder, int number)
{
    SenderMap found;
    bool present = false;
    const qint64 ownPid = ::getpid();
    for (const QString &entry : folder.entries()) {
        const std::optional<ChannelSocketName> name = ChannelSocketName::parse(entry);
        if (!name || name->number != number || name->pid == ownPid)
            continue;

        // A connection from an earlier open (or from before a number change) that still
        // stands keeps its queue and so the order of what was sent.
        for (SenderMap *map : { &m_senders, &m_lingering }) {
            auto it = map->find(entry);
            if (it != map->end()) {
                if (it->second->stillConnected())
                    found[entry] = std::move(it->second);
                map->erase(it);
            }
        }
        if (found.count(entry)) {
            present = true;
            continue;
        }

        const ino_t inode = folder.inode(entry);
        if (!processAlive(name->pid)) {
            folder.remove(entry, inode);
            continue;
        }
        bool busy = false;
        bool refused = false;
        const int fd = connectTo(folder, entry, &busy, &refused);
        if (fd >= 0) {
            found[entry] = makeSender(fd, entry);
            present = true;
        } else if (busy) {
            // Its backlog is full: the program is there but this open cannot reach it.
            present = true;
        } else if (refused) {
            // Nothing listens: the process that made it died and its id was reused.
            folder.remove(entry, inode);
        }
    }
    // Connections to peers that left: keep draining what is queued, drop the rest.
    for (auto &[name, sender] : m_senders) {
        if (sender->isOpen() && sender->queuedBytes() > 0)
            m_lingering[name] = std::move(sender);
    }
    m_senders = std::move(found);
    return present;
}

int UnixChannel::connectTo(const SocketFolder &folder, const QString &name, bool *busy,
                           bool *refused)
{
    sockaddr_un addr {};
    socklen_t length = 0;
    if (!folder.address(name, &addr, &length))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr *>(&addr), length);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        *busy = errno == EAGAIN || errno == EINPROGRESS;
        *refused = errno == ECONNREFUSED;
        ::close(fd);
        return -1;
    }
    // Only this user's programs get our messages.
    ucred cred {};
    if (!peerCredentials(fd, &cred) || cred.uid != ::geteuid()) {
        ::close(fd);
        if (!m_foreignSeen.contains(name)) {
            m_foreignSeen.append(name);
            reportLater(QStringLiteral("channel %1: %2 belongs to user %3; nothing is sent to it")
                            .arg(m_number)
                            .arg(name)
                            .arg(cred.uid));
        }
        return -1;
    }
    return fd;
}

std::unique_ptr<ChannelSender> UnixChannel::makeSender(int fd, const QString &name)
{
    QPointer<UnixChannel> self(this);
    return std::make_unique<ChannelSender>(fd, name, [self](const QString &description) {
        if (self)
            self->reportLater(description);
    });
}

void UnixChannel::prune()
{
    std::erase_if(m_receivers, [](const auto &receiver) { return !receiver->isOpen(); });
    std::erase_if(m_lingering, [](const auto &entry) {
        return !entry.second->isOpen() || entry.second->queuedBytes() == 0;
    });
    std::erase_if(m_senders, [](const auto &entry) { return !entry.second->isOpen(); });
}

void UnixChannel::onConnectionWaiting()
{
    prune();
    for (int i = 0; i < 64 && m_listenFd >= 0; ++i) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE) {
                // Out of descriptors: leave the connection waiting instead of spinning on it.
                reportLater(
                    QStringLiteral("channel %1: no descriptor for a new connection").arg(m_number));
                m_listenNotifier->setEnabled(false);
                QPointer<QSocketNotifier> notifier(m_listenNotifier);
                QTimer::singleShot(200, this, [notifier] {
                    if (notifier)
                        notifier->setEnabled(true);
                });
            }
            return;
        }
        ucred cred {};
        if (!peerCredentials(fd, &cred) || cred.uid != ::geteuid()) {
            ::close(fd);
            reportLater(QStringLiteral("channel %1: refused a connection from user %2 (process %3)")
                            .arg(m_number)
                            .arg(cred.uid)
                            .arg(cred.pid));
            continue;
        }
        const QString label
            = QStringLiteral("process %1 on channel %2").arg(cred.pid).arg(m_number);
        m_receivers.push_back(std::make_unique<ChannelReceiver>(
            fd, label, [this](const QStringList &messages, const QStringList &faults) {
                onReceived(messages, faults);
            }));
    }
}

void UnixChannel::onReceived(const QStringList &messages, const QStringList &faults)
{
    for (const QString &fault : faults)
        reportLater(fault);
    for (const QString &message : messages)
        m_inbox.push_back(message);
    deliverInbox();
}

void UnixChannel::deliverInbox()
{
    // A handler may open another number, run a nested event loop that delivers the next
    // message, or destroy this endpoint: take each message off before announcing it.
    QPointer<UnixChannel> self(this);
    while (self && !m_inbox.empty()) {
        const QString text = std::move(m_inbox.front());
        m_inbox.pop_front();
        emit textArrived(text);
    }
}

void UnixChannel::reportLater(const QString &description)
{
    QMetaObject::invokeMethod(
        this, [this, description] { emit transportError(description); }, Qt::QueuedConnection);
}

void UnixChannel::reportOpenProblem(const QString &description)
{
    // Callers open before every send; one report per distinct problem is enough.
    if (description == m_lastOpenProblem)
        return;
    m_lastOpenProblem = description;
    reportLater(description);
}

} // namespace quorvel
