#include "PtyPair.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace quorvel::test {

PtyPair::PtyPair(const QString &linkPath)
    : m_link(linkPath)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0)
        return;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_slave = QString::fromLocal8Bit(::ptsname(m_master));
    // Raw, so the bytes the test writes reach the host unchanged.
    termios tio {};
    ::tcgetattr(m_master, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_master, TCSANOW, &tio);
    QFile::remove(m_link);
    QFile::link(m_slave, m_link);
    m_thread = std::thread([this] { serve(); });
}

PtyPair::~PtyPair()
{
    close();
}

void PtyPair::close()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    QFile::remove(m_link);
}

void PtyPair::setResponder(Responder responder)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_responder = std::move(responder);
}

QByteArray PtyPair::received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

QList<QByteArray> PtyPair::commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

void PtyPair::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
        if (n > 0)
            done += n;
        else if (n < 0 && (errno == EINTR || errno == EAGAIN))
            ::usleep(1000);
        else
            return;
    }
}

void PtyPair::serve()
{
    char buf[4096];
    while (!m_stop) {
        pollfd p { m_master, POLLIN, 0 };
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0) {
            // EIO: no host holds the slave right now.
            ::usleep(10000);
            continue;
        }
        QList<QByteArray> replies;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_received.append(buf, n);
            for (ssize_t i = 0; i < n; ++i) {
                const char c = buf[i];
                if (c == '\r') {
                    const QByteArray cmd = m_line.trimmed();
                    m_line.clear();
                    if (cmd.isEmpty())
                        continue;
                    m_commands.append(cmd);
                    if (m_responder)
                        replies.append(m_responder(cmd));
                } else if (c != '\n') {
                    m_line.append(c);
                }
            }
        }
        for (const QByteArray &r : replies)
            write(r);
    }
}

QByteArray PtyPair::plainModem(const QByteArray &command)
{
    const QByteArray c = command.toUpper();
    const QByteArray ok = "\r\nOK\r\n";
    if (c == "AT+FMI?")
        return "\r\nACME\r\n" + ok;
    if (c == "AT+FMM?")
        return "\r\nVOICE 56K\r\n" + ok;
    if (c == "AT+FCLASS=?")
        return "\r\n0,1,8\r\n" + ok;
    if (c == "AT+VSM=?")
        return "\r\n128,\"8-BIT LINEAR\",8,0,(8000),(0),(0)\r\n"
               "130,\"8-BIT ULAW\",8,0,(8000),(0),(0)\r\n"
            + ok;
    if (c == "AT+VCID=1")
        return "\r\nERROR\r\n";
    if (c == "ATA")
        return "\r\nVCON\r\n";
    return ok;
}

} // namespace quorvel::test
