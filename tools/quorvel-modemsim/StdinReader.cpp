#include "tools/quorvel-modemsim/StdinReader.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QString>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quorvel::modemsim {

StdinReader::StdinReader(int fd, QObject *parent)
    : QObject(parent)
    , m_fd(fd)
{
    if (::fcntl(m_fd, F_GETFD) < 0) {
        // No standard input at all: nothing will ever come.
        QMetaObject::invokeMethod(this, &StdinReader::finished, Qt::QueuedConnection);
        return;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StdinReader::onReadable);
}

void StdinReader::onReadable()
{
    char buf[4096];
    const ssize_t n = ::read(m_fd, buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        m_notifier->setEnabled(false);
        if (!m_buffer.isEmpty()) {
            // A last line without its newline still counts.
            emit lineReceived(QString::fromUtf8(m_buffer), ++m_lineNumber);
            m_buffer.clear();
        }
        emit finished();
        return;
    }
    m_buffer.append(buf, n);
    qsizetype nl;
    while ((nl = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(nl);
        m_buffer.remove(0, nl + 1);
        emit lineReceived(QString::fromUtf8(line), ++m_lineNumber);
    }
}

} // namespace quorvel::modemsim
