#include "shared/records/FixedRecordFile.h"

#include "shared/common/FileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

// Large enough to move a block list in few system calls, small enough to stay out of the way.
constexpr qint64 kChunk = 1 << 20;

class Fd {
public:
    explicit Fd(int fd)
        : m_fd(fd)
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

FileStamp stampOf(const struct stat &st)
{
    FileStamp s;
    s.device = static_cast<quint64>(st.st_dev);
    s.inode = static_cast<quint64>(st.st_ino);
    s.size = st.st_size;
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

bool fstatStamp(int fd, FileStamp *out)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    *out = stampOf(st);
    return true;
}

// Reads up to `len` bytes at `offset`; fewer only at the end of the file. -1 on error.
qint64 preadFull(int fd, char *buf, qint64 len, qint64 offset)
{
    qint64 done = 0;
    while (done < len) {
        const ssize_t r = ::pread(fd, buf + done, size_t(len - done), off_t(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        done += r;
    }
    return done;
}

bool pwriteFull(int fd, const char *buf, qint64 len, qint64 offset)
{
    qint64 done = 0;
    while (done < len) {
        const ssize_t r = ::pwrite(fd, buf + done, size_t(len - done), off_t(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += r;
    }
    return true;
}

QByteArray fitted(const QByteArray &bytes, int size)
{
    QByteArray out = bytes.left(size);
    if (out.size() < size)
        out.append(size - out.size(), '\0');
    return out;
}

} // namespace

FixedRecordFile::FixedRecordFile(QString path, int recordSize)
    : m_path(std::move(path))
    , m_size(recordSize)
{
}

qint64 FixedRecordFile::countForLength(qint64 length, int recordSize)
{
    if (length <= 0 || recordSize <= 0)
        return 0;
    return (length + recordSize / 2) / recordSize;
}

bool FixedRecordFile::fail(const QString &what) const
{
    m_error = what + QStringLiteral(": ") + m_path + QStringLiteral(": ")
        + QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

int FixedRecordFile::openForRead() const
{
    return ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
}

int FixedRecordFile::openForWrite(bool create, bool createFolders) const
{
    const QByteArray name = QFile::encodeName(m_path);
    const int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
    int fd = ::open(name.constData(), flags, 0644);
    if (fd < 0 && errno == ENOENT && create && createFolders) {
        // A call is never lost for want of its day folder: make the whole path.
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        fd = ::open(name.constData(), flags, 0644);
    }
    return fd;
}

FixedRecordFile::ReadSession::ReadSession(const FixedRecordFile &file)
    : m_file(file)
{
    m_fd = file.openForRead();
    if (m_fd < 0) {
        if (errno != ENOENT)
            file.fail(QStringLiteral("cannot open"));
        return;
    }
    while (::flock(m_fd, LOCK_SH) != 0) {
        if (errno != EINTR) {
            file.fail(QStringLiteral("cannot lock"));
            return;
        }
    }
    if (!fstatStamp(m_fd, &m_stamp)) {
        file.fail(QStringLiteral("cannot stat"));
        m_stamp = {};
    }
}

FixedRecordFile::ReadSession::~ReadSession()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the descriptor releases the lock
}

qint64 FixedRecordFile::ReadSession::count() const
{
    return isOpen() ? countForLength(m_stamp.size, m_file.m_size) : 0;
}

std::optional<QByteArray> FixedRecordFile::ReadSession::read(qint64 n) const
{
    const int size = m_file.m_size;
    if (n < 1 || n > count()) {
        m_file.m_error = QStringLiteral("no record %1 in %2").arg(n).arg(m_file.m_path);
        return std::nullopt;
    }
    QByteArray buf(size, '\0');
    if (preadFull(m_fd, buf.data(), size, (n - 1) * size) < 0) {
        m_file.fail(QStringLiteral("cannot read"));
        return std::nullopt;
    }
    return buf;
}

bool FixedRecordFile::ReadSession::scan(
    const std::function<void(qint64, const char *)> &visit) const
{
    const int size = m_file.m_size;
    const qint64 total = count();
    const qint64 perChunk = std::max<qint64>(1, kChunk / size);
    QByteArray buf;
    for (qint64 first = 0; first < total; first += perChunk) {
        const qint64 recs = std::min(perChunk, total - first);
        buf.resize(recs * size);
        const qint64 got = preadFull(m_fd, buf.data(), buf.size(), first * size);
        if (got < 0)
            return m_file.fail(QStringLiteral("cannot read"));
        if (got < buf.size())
            std::memset(buf.data() + got, 0, size_t(buf.size() - got));
        for (qint64 i = 0; i < recs; ++i)
            visit(first + i + 1, buf.constData() + i * size);
    }
    return true;
}

qint64 FixedRecordFile::count() const
{
    return ReadSession(*this).count();
}

std::optional<QByteArray> FixedRecordFile::read(qint64 n) const
{
    return read(n, nullptr);
}

std::optional<QByteArray> FixedRecordFile::read(qint64 n, FileStamp *stamp) const
{
    ReadSession session(*this);
    if (stamp)
        *stamp = session.stamp();
    return session.read(n);
}

QList<QByteArray> FixedRecordFile::readAll() const
{
    QList<QByteArray> out;
    scan([&](qint64, const char *rec) { out.append(QByteArray(rec, m_size)); });
    return out;
}

FileStamp FixedRecordFile::scan(const std::function<void(qint64, const char *)> &visit) const
{
    ReadSession session(*this);
    session.scan(visit);
    return session.stamp();
}

FileStamp FixedRecordFile::stamp() const
{
    struct stat st;
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0)
        return {};
    return stampOf(st);
}

bool FixedRecordFile::write(qint64 n, const QByteArray &bytes)
{
    return writeAt(n, 0, fitted(bytes, m_size));
}

bool FixedRecordFile::writeAt(qint64 n, int offset, const QByteArray &bytes)
{
    if (offset < 0 || offset + bytes.size() > m_size) {
        m_error = QStringLiteral("write outside the record");
        return false;
    }
    Fd fd(openForWrite(false, false));
    if (fd.get() < 0)
        return fail(QStringLiteral("cannot open"));
    FileLock lock(fd.get(), FileLock::Mode::Exclusive);
    FileStamp st;
    if (!fstatStamp(fd.get(), &st))
        return fail(QStringLiteral("cannot stat"));
    if (n < 1 || n > countForLength(st.size, m_size)) {
        m_error = QStringLiteral("no record %1 in %2").arg(n).arg(m_path);
        return false;
    }
    if (!pwriteFull(fd.get(), bytes.constData(), bytes.size(), (n - 1) * m_size + offset))
        return fail(QStringLiteral("cannot write"));
    return true;
}

qint64 FixedRecordFile::append(const QByteArray &bytes, bool createFolders)
{
    return appendMany({ bytes }, createFolders);
}

qint64 FixedRecordFile::appendMany(const QList<QByteArray> &records, bool createFolders)
{
    Fd fd(openForWrite(true, createFolders));
    if (fd.get() < 0) {
        fail(QStringLiteral("cannot open"));
        return 0;
    }
    FileLock lock(fd.get(), FileLock::Mode::Exclusive);
    FileStamp st;
    if (!fstatStamp(fd.get(), &st)) {
        fail(QStringLiteral("cannot stat"));
        return 0;
    }
    const qint64 first = countForLength(st.size, m_size) + 1;
    QByteArray block;
    qint64 offset = (first - 1) * m_size;
    for (const QByteArray &rec : records) {
        block.append(fitted(rec, m_size));
        if (block.size() >= kChunk) {
            if (!pwriteFull(fd.get(), block.constData(), block.size(), offset)) {
                fail(QStringLiteral("cannot write"));
                return 0;
            }
            offset += block.size();
            block.clear();
        }
    }
    if (!block.isEmpty() && !pwriteFull(fd.get(), block.constData(), block.size(), offset)) {
        fail(QStringLiteral("cannot write"));
        return 0;
    }
    return first;
}

bool FixedRecordFile::remove(qint64 n)
{
    Fd fd(openForWrite(false, false));
    if (fd.get() < 0)
        return fail(QStringLiteral("cannot open"));
    FileLock lock(fd.get(), FileLock::Mode::Exclusive);
    FileStamp st;
    if (!fstatStamp(fd.get(), &st))
        return fail(QStringLiteral("cannot stat"));
    const qint64 total = countForLength(st.size, m_size);
    if (n < 1 || n > total) {
        m_error = QStringLiteral("no record %1 in %2").arg(n).arg(m_path);
        return false;
    }
    // Later records move down front to back, so a block is read before it is overwritten.
    const qint64 end = std::min(st.size, total * m_size);
    QByteArray buf;
    for (qint64 src = n * m_size; src < end; src += kChunk) {
        const qint64 len = std::min(kChunk, end - src);
        buf.resize(len);
        const qint64 got = preadFull(fd.get(), buf.data(), len, src);
        if (got < 0)
            return fail(QStringLiteral("cannot read"));
        if (!pwriteFull(fd.get(), buf.constData(), got, src - m_size))
            return fail(QStringLiteral("cannot write"));
    }
    // Cut right after the moved bytes first, so a partly written last record is completed
    // with zero bytes rather than with what the file held there before.
    const qint64 movedEnd = std::max(end - m_size, (n - 1) * m_size);
    if (::ftruncate(fd.get(), off_t(movedEnd)) != 0
        || ::ftruncate(fd.get(), off_t((total - 1) * m_size)) != 0)
        return fail(QStringLiteral("cannot shorten"));
    return true;
}

} // namespace quorvel
