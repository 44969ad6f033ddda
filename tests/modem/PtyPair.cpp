#include "PtyPair.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace quorvel::test {

PtyPair::PtyPair(const QString &linkPath, QObject *parent)
    : QObject(parent)
    , m_link(linkPath)
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
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyPair::onReadable);
    // While nobody has the slave open the master reads EIO at once; look again a little later.
    m_retry.setInterval(10);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
    });
}

PtyPair::~PtyPair()
{
    close();
}

void PtyPair::close()
{
    delete m_notifier;
    m_notifier = nullptr;
    m_retry.stop();
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    QFile::remove(m_link);
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
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return;
    }
}

void PtyPair::onReadable()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
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
                        write(m_responder(cmd));
                } else if (c != '\n') {
                    m_line.append(c);
                }
            }
            continue;
        }
        if (n < 0 && errno == EAGAIN)
            return;
        if (n < 0 && errno == EINTR)
            continue;
        // EIO: no host holds the slave right now.
        m_notifier->setEnabled(false);
        m_retry.start();
        return;
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
