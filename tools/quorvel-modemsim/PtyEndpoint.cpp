#include "tools/quorvel-modemsim/PtyEndpoint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace quorvel::modemsim {

namespace {
// How often a port nobody holds is looked at; a host that opens it is noticed this fast.
constexpr int kWatchMs = 20;
} // namespace

PtyEndpoint::PtyEndpoint(QObject *parent)
    : QObject(parent)
{
    m_watch.setInterval(kWatchMs);
    connect(&m_watch, &QTimer::timeout, this, &PtyEndpoint::checkHost);
}

PtyEndpoint::~PtyEndpoint()
{
    close();
}

PtyEndpoint::OpenError PtyEndpoint::open(const QString &linkPath, QString *error)
{
    const QFileInfo link(linkPath);
    if (link.exists() && !link.isSymLink()) {
        *error = QStringLiteral("%1 exists and is not a symlink; not replacing it").arg(linkPath);
        return OpenError::BadLink;
    }
    if (!link.dir().exists()) {
        *error = QStringLiteral("the folder of %1 does not exist").arg(linkPath);
        return OpenError::BadLink;
    }

    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(strerror(errno));
        close();
        return OpenError::Pty;
    }
    char name[128] = {};
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        *error = QStringLiteral("cannot name the pseudo-terminal: %1").arg(strerror(errno));
        close();
        return OpenError::Pty;
    }
    m_slaveName = QString::fromLocal8Bit(name);

    // Raw from the start: the host must see the modem's bytes unchanged even before it sets
    // its own mode. The settings stay with the pty while the master is open.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(m_slaveName, strerror(errno));
        close();
        return OpenError::Pty;
    }
    termios tio {};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetspeed(&tio, B115200);
        tcsetattr(slave, TCSANOW, &tio);
    }
    ::close(slave);

    // Replace a stale link atomically: create beside it, then rename over it.
    const QByteArray target = QFile::encodeName(linkPath);
    const QByteArray temp = target + ".modemsim-" + QByteArray::number(getpid());
    ::unlink(temp.constData());
    if (::symlink(name, temp.constData()) != 0
        || ::rename(temp.constData(), target.constData()) != 0) {
        *error = QStringLiteral("cannot publish %1 as %2: %3")
                     .arg(m_slaveName, linkPath, strerror(errno));
        ::unlink(temp.constData());
        close();
        return OpenError::Pty;
    }
    m_linkPath = linkPath;

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyEndpoint::onReadable);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyEndpoint::onWritable);
    m_hostConnected = false;
    updateNotifiers();
    return OpenError::None;
}

void PtyEndpoint::close()
{
    m_watch.stop();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (!m_linkPath.isEmpty()) {
        // Only our own link: another simulator may have taken the name over since.
        const QByteArray link = QFile::encodeName(m_linkPath);
        char target[256] = {};
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n > 0 && QString::fromLocal8Bit(target, n) == m_slaveName)
            ::unlink(link.constData());
        m_linkPath.clear();
    }
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    m_hostConnected = false;
    m_outQueue.clear();
}

void PtyEndpoint::checkHost()
{
    if (m_master < 0)
        return;
    pollfd p { m_master, POLLIN, 0 };
    if (::poll(&p, 1, 0) < 0)
        return;
    const bool open = !(p.revents & POLLHUP);
    if (open && !m_hostConnected) {
        // Whatever was written between the host's last close and now would greet the new
        // opener as stale output; drop it.
        tcflush(m_master, TCOFLUSH);
        m_hostConnected = true;
        updateNotifiers();
        emit hostOpened();
    } else if (!open && m_hostConnected && !(p.revents & POLLIN)) {
        // Bytes the host wrote before closing are still read first.
        markClosed();
    }
}

bool PtyEndpoint::hostHungUp() const
{
    if (m_master < 0)
        return true;
    pollfd p { m_master, POLLIN, 0 };
    return ::poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP);
}

void PtyEndpoint::markClosed()
{
    if (!m_hostConnected)
        return;
    m_hostConnected = false;
    m_outQueue.clear();
    updateNotifiers();
    emit hostClosed();
}

void PtyEndpoint::updateNotifiers()
{
    if (m_master < 0)
        return;
    if (m_readNotifier)
        m_readNotifier->setEnabled(m_hostConnected && !m_readPaused);
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(m_hostConnected && !m_outQueue.isEmpty());
    // Without a host the master only says "hung up"; poll instead of spinning on it.
    if (!m_hostConnected)
        m_watch.start();
    else
        m_watch.stop();
}

void PtyEndpoint::setReadPaused(bool paused)
{
    m_readPaused = paused;
    updateNotifiers();
}

void PtyEndpoint::onReadable()
{
    // Read by the owner; when nothing is there the host has gone.
    pollfd p { m_master, POLLIN, 0 };
    ::poll(&p, 1, 0);
    if (p.revents & POLLIN) {
        emit readyRead();
        return;
    }
    if (p.revents & POLLHUP)
        markClosed();
}

QByteArray PtyEndpoint::read(qint64 max)
{
    if (m_master < 0 || max <= 0)
        return {};
    QByteArray buf(int(std::min<qint64>(max, 65536)), Qt::Uninitialized);
    const ssize_t n = ::read(m_master, buf.data(), size_t(buf.size()));
    if (n > 0) {
        buf.resize(n);
        return buf;
    }
    if (n < 0 && errno == EIO)
        markClosed();
    return {};
}

bool PtyEndpoint::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return false;
    checkHost();
    if (!m_hostConnected)
        return false;
    if (!m_outQueue.isEmpty()) {
        m_outQueue.append(bytes);
        return true;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The host is not reading; keep the rest until it does.
            m_outQueue = bytes.mid(done);
            updateNotifiers();
            return true;
        }
        markClosed();
        return false;
    }
    return true;
}

void PtyEndpoint::onWritable()
{
    while (!m_outQueue.isEmpty()) {
        const ssize_t n = ::write(m_master, m_outQueue.constData(), size_t(m_outQueue.size()));
        if (n > 0) {
            m_outQueue.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        markClosed();
        return;
    }
    updateNotifiers();
}

} // namespace quorvel::modemsim
