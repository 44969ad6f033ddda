#include "controls/channel/SocketFolder.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {
QByteArray encoded(const QString &name)
{
    return QFile::encodeName(name);
}
} // namespace

SocketFolder::SocketFolder(const QString &path)
    : m_path(path)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) {
        m_problem = QStringLiteral("runtime folder %1 cannot be opened: %2")
                        .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0) {
        m_problem = QStringLiteral("runtime folder %1 cannot be read: %2")
                        .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    } else if (st.st_uid != ::geteuid()) {
        m_problem = QStringLiteral("runtime folder %1 belongs to user %2, not to this user (%3)")
                        .arg(path)
                        .arg(st.st_uid)
                        .arg(::geteuid());
    }
}

SocketFolder::~SocketFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SocketFolder::address(const QString &name, sockaddr_un *addr, socklen_t *length) const
{
    if (m_fd < 0)
        return false;
    QByteArray full = QFile::encodeName(m_path) + '/' + encoded(name);
    if (full.size() >= qsizetype(sizeof(addr->sun_path)))
        full = "/proc/self/fd/" + QByteArray::number(m_fd) + '/' + encoded(name);
    if (full.size() >= qsizetype(sizeof(addr->sun_path)))
        return false;
    std::memset(addr, 0, sizeof(*addr));
    addr->sun_family = AF_UNIX;
    std::memcpy(addr->sun_path, full.constData(), size_t(full.size()));
    *length = socklen_t(offsetof(sockaddr_un, sun_path) + full.size() + 1);
    return true;
}

QStringList SocketFolder::entries() const
{
    QStringList names;
    if (m_fd < 0)
        return names;
    const int copy = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return names;
    DIR *dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return names;
    }
    ::rewinddir(dir);
    while (dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            names.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

ino_t SocketFolder::inode(const QString &name) const
{
    struct stat st
    {
    };
    if (m_fd < 0 || ::fstatat(m_fd, encoded(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return 0;
    return st.st_ino;
}

void SocketFolder::remove(const QString &name, ino_t expectedInode) const
{
    if (expectedInode != 0 && inode(name) == expectedInode)
        ::unlinkat(m_fd, encoded(name).constData(), 0);
}

bool SocketFolder::rename(const QString &from, const QString &to) const
{
    return m_fd >= 0
        && ::renameat(m_fd, encoded(from).constData(), m_fd, encoded(to).constData()) == 0;
}

bool SocketFolder::setMode(const QString &name, mode_t mode) const
{
    return m_fd >= 0 && ::fchmodat(m_fd, encoded(name).constData(), mode, 0) == 0;
}

} // namespace quorvel
