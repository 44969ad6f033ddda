#pragma once

#include <QString>

namespace quorvel {

// An advisory flock(2) on a file, held for the lifetime of the object. Both programs take it
// around every operation on a shared file: shared to read, exclusive to write.
class FileLock
{
public:
    enum class Mode { Shared, Exclusive };

    // Opens (creating when needed) `path` and blocks until the lock is held.
    FileLock(const QString &path, Mode mode);
    // Locks an already open descriptor; the descriptor stays owned by the caller.
    FileLock(int fd, Mode mode);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    bool locked() const { return m_locked; }

private:
    int m_fd = -1;
    bool m_ownsFd = false;
    bool m_locked = false;
};

} // namespace quorvel
