#include "HostPort.h"

#include <QElapsedTimer>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace quorvel::modemsim::test {

HostPort::~HostPort()
{
    close();
}

bool HostPort::open(const QString &path)
{
    close();
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    termios tio {};
    tcgetattr(m_fd, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B115200);
    tcsetattr(m_fd, TCSANOW, &tio);
    m_received.clear();
    return true;
}

void HostPort::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool HostPort::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    QElapsedTimer t;
    t.start();
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            // The modem takes audio at line speed: wait for room.
            pollfd p { m_fd, POLLOUT, 0 };
            ::poll(&p, 1, 100);
            if (t.elapsed() > 60000)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

int HostPort::readSome(int timeoutMs)
{
    pollfd p { m_fd, POLLIN, 0 };
    if (::poll(&p, 1, timeoutMs) <= 0)
        return 0;
    char buf[4096];
    const ssize_t n = ::read(m_fd, buf, sizeof buf);
    if (n > 0) {
        m_received.append(buf, n);
        return int(n);
    }
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
        return -1;
    return 0;
}

bool HostPort::waitFor(const QByteArray &needle, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!m_received.contains(needle)) {
        const qint64 left = timeoutMs - t.elapsed();
        if (left <= 0 || readSome(int(left)) < 0)
            return m_received.contains(needle);
    }
    return true;
}

QByteArray HostPort::drain(int ms)
{
    const qsizetype before = m_received.size();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        if (readSome(int(ms - t.elapsed())) < 0)
            break;
    return m_received.mid(before);
}

bool HostPort::waitForVanish(int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        pollfd p { m_fd, POLLIN, 0 };
        ::poll(&p, 1, 50);
        if (p.revents & (POLLHUP | POLLERR))
            return true;
        if ((p.revents & POLLIN) && readSome(0) < 0)
            return true;
    }
    return false;
}

QByteArray HostPort::command(const QByteArray &line, int timeoutMs)
{
    // Unsolicited lines that came before the command are not part of its reply.
    m_received.clear();
    write(line + '\r');
    QElapsedTimer t;
    t.start();
    while (true) {
        qsizetype end = -1;
        for (const char *final : { "\r\nOK\r\n", "\r\nERROR\r\n", "\r\nVCON\r\n", "\r\nCONNECT\r\n",
                                   "\r\nNO CARRIER\r\n" }) {
            const qsizetype at = m_received.indexOf(final);
            if (at >= 0 && (end < 0 || at + qsizetype(strlen(final)) < end))
                end = at + qsizetype(strlen(final));
        }
        if (end >= 0) {
            // What follows the result (a RING, a DLE event) stays for the next wait.
            const QByteArray reply = m_received.left(end);
            m_received.remove(0, end);
            return reply;
        }
        const qint64 left = timeoutMs - t.elapsed();
        if (left <= 0 || readSome(int(left)) < 0)
            return m_received;
    }
}

} // namespace quorvel::modemsim::test
