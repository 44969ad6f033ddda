#include "shared/common/FileLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace quorvel {

namespace {
bool lockFd(int fd, FileLock::Mode mode)
{
    const int op = mode == FileLock::Mode::Shared ? LOCK_SH : LOCK_EX;
    while (::flock(fd, op) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}
} // namespace

FileLock::FileLock(const QString &path, Mode mode)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    m_ownsFd = true;
    m_locked = m_fd >= 0 && lockFd(m_fd, mode);
}

FileLock::FileLock(int fd, Mode mode)
    : m_fd(fd)
{
    m_locked = m_fd >= 0 && lockFd(m_fd, mode);
}

FileLock::~FileLock()
{
    if (m_fd >= 0) {
        if (m_locked)
            ::flock(m_fd, LOCK_UN);
        if (m_ownsFd)
            ::close(m_fd);
    }
}

} // namespace quorvel
