#pragma once

#include <QString>
#include <QStringList>

#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

namespace quorvel {

// The runtime folder where channel endpoints keep their sockets, held open by descriptor so
// that names resolve in the same folder even if its path is long or changes meanwhile.
class SocketFolder
{
public:
    explicit SocketFolder(const QString &path);
    ~SocketFolder();
    SocketFolder(const SocketFolder &) = delete;
    SocketFolder &operator=(const SocketFolder &) = delete;

    QString path() const { return m_path; }
    // Empty when the folder is usable: open, and owned by this user (a folder someone else
    // owns could hand our messages to their program).
    QString problem() const { return m_problem; }
    bool usable() const { return m_problem.isEmpty(); }

    // A socket address for `name` in this folder. Paths longer than a socket address holds
    // go through /proc/self/fd, which reaches the same folder by its descriptor.
    bool address(const QString &name, sockaddr_un *addr, socklen_t *length) const;

    QStringList entries() const;
    // The inode of `name`, 0 when there is none.
    ino_t inode(const QString &name) const;
    // Removes `name` when it is still the file with `expectedInode`.
    void remove(const QString &name, ino_t expectedInode) const;
    bool rename(const QString &from, const QString &to) const;
    bool setMode(const QString &name, mode_t mode) const;

private:
    QString m_path;
    QString m_problem;
    int m_fd = -1;
};

} // namespace quorvel
