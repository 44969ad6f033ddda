#include "shared/settings/SettingsStore.h"

#include "shared/common/FileLock.h"
#include "shared/settings/SettingsFormat.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {

// A settings file is a few kilobytes; anything far larger is not one, and reading all of it
// would only hold the program up.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// The rename is only durable once the folder's entry is on disk too.
void syncFolder(const QString &folder)
{
    const int fd
        = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Keeps the damaged file under another name. A hard link costs nothing and cannot fail half
// way; a file system without links gets a copy.
QString keepAside(const QString &target)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int i = 1; i < 100; ++i) {
        QString name = target + QStringLiteral(".damaged-") + stamp;
        if (i > 1)
            name += QStringLiteral("-%1").arg(i);
        const QByteArray from = QFile::encodeName(target);
        const QByteArray to = QFile::encodeName(name);
        if (::link(from.constData(), to.constData()) == 0)
            return name;
        if (errno == EEXIST)
            continue;
        if (QFile::copy(target, name))
            return name;
        return QString();
    }
    return QString();
}

} // namespace

SettingsStore::SettingsStore(QString filePath)
    : m_filePath(std::move(filePath))
    , m_pathBytes(QFile::encodeName(m_filePath))
{
}

SettingsStore::FileKey SettingsStore::statKey(const QByteArray &path)
{
    FileKey key;
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return key;
    key.exists = true;
    key.dev = st.st_dev;
    key.ino = st.st_ino;
    key.size = st.st_size;
    key.mtimeSec = st.st_mtim.tv_sec;
    key.mtimeNsec = st.st_mtim.tv_nsec;
    return key;
}

SettingsStore::Loaded SettingsStore::load(const QByteArray &path)
{
    Loaded r;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        r.tree = std::make_shared<SettingsTree>();
        if (err == ENOENT)
            return r;
        r.ok = false;
        r.key = statKey(path);
        r.error = QStringLiteral("cannot open %1: %2").arg(QFile::decodeName(path), errnoText(err));
        r.problems.append(r.error);
        return r;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0) {
        r.key.exists = true;
        r.key.dev = st.st_dev;
        r.key.ino = st.st_ino;
        r.key.size = st.st_size;
        r.key.mtimeSec = st.st_mtim.tv_sec;
        r.key.mtimeNsec = st.st_mtim.tv_nsec;
    }
    QByteArray bytes;
    bytes.resize(qsizetype(qBound<qint64>(0, r.key.size, kMaxFileBytes)) + 1);
    qsizetype have = 0;
    bool readFailed = false;
    int readErr = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (bytes.size() > kMaxFileBytes)
                break;
            bytes.resize(qMin<qint64>(bytes.size() * 2, kMaxFileBytes + 1));
        }
        const ssize_t n = ::read(fd, bytes.data() + have, size_t(bytes.size() - have));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            readFailed = true;
            readErr = errno;
            break;
        }
        if (n == 0)
            break;
        have += n;
    }
    ::close(fd);
    if (readFailed) {
        r.ok = false;
        r.tree = std::make_shared<SettingsTree>();
        r.error
            = QStringLiteral("cannot read %1: %2").arg(QFile::decodeName(path), errnoText(readErr));
        r.problems.append(r.error);
        return r;
    }
    const bool tooLarge = have > kMaxFileBytes;
    bytes.truncate(qMin<qint64>(have, kMaxFileBytes));
    SettingsFormat::ParseResult parsed = SettingsFormat::parse(bytes);
    r.tree = std::make_shared<SettingsTree>(std::move(parsed.tree));
    r.problems = std::move(parsed.problems);
    r.damaged = parsed.damaged;
    if (tooLarge) {
        r.problems.append(QStringLiteral("the file is larger than %1 bytes; the rest was not read")
                              .arg(kMaxFileBytes));
        r.damaged = true;
    }
    return r;
}

void SettingsStore::refreshLocked()
{
    if (m_cached && statKey(m_pathBytes) == m_key)
        return;
    Loaded l = load(m_pathBytes);
    if (!m_cached || !(l.key == m_key))
        m_problemsTaken = false;
    m_cached = true;
    m_key = l.key;
    m_tree = std::move(l.tree);
    m_problems = std::move(l.problems);
}

std::shared_ptr<const SettingsTree> SettingsStore::tree()
{
    QMutexLocker lock(&m_mutex);
    refreshLocked();
    return m_tree;
}

QStringList SettingsStore::lastReadProblems()
{
    QMutexLocker lock(&m_mutex);
    refreshLocked();
    return m_problems;
}

QStringList SettingsStore::takeReadProblems()
{
    QMutexLocker lock(&m_mutex);
    refreshLocked();
    if (m_problemsTaken)
        return {};
    m_problemsTaken = true;
    return m_problems;
}

QString SettingsStore::lastWriteNote() const
{
    QMutexLocker lock(&m_mutex);
    return m_writeNote;
}

QString SettingsStore::writeTarget() const
{
    // An administrator may keep the file elsewhere behind a link; replace the file it points
    // to, not the link.
    const QFileInfo info(m_filePath);
    if (!info.isSymLink())
        return m_filePath;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

SettingsStore::Outcome SettingsStore::update(const Edit &edit)
{
    QMutexLocker guard(&m_mutex);
    m_writeNote.clear();
    const QString target = writeTarget();
    const QString folder = QFileInfo(target).absolutePath();
    QDir().mkpath(folder);

    FileLock lock(target + QStringLiteral(".lock"), FileLock::Mode::Exclusive);
    if (!lock.locked()) {
        m_writeNote = QStringLiteral("cannot lock %1.lock: %2").arg(target, errnoText(errno));
        return Outcome::Failed;
    }

    const QByteArray targetPath = QFile::encodeName(target);
    Loaded current = load(targetPath);
    if (!current.ok) {
        // Never replace a file that could not be read: it would lose everything in it.
        m_writeNote = current.error;
        return Outcome::Failed;
    }
    auto remember = [this](Loaded &l) {
        if (!m_cached || !(l.key == m_key))
            m_problemsTaken = false;
        m_cached = true;
        m_key = l.key;
        m_tree = l.tree;
        m_problems = l.problems;
    };

    SettingsTree tree = *current.tree;
    const Change change = edit(tree);
    if (change != Change::Changed) {
        remember(current);
        return change == Change::Refused ? Outcome::Refused : Outcome::Unchanged;
    }

    const QByteArray bytes = SettingsFormat::serialize(tree);
    const QString tmp = target + QStringLiteral(".tmp");
    const QByteArray tmpPath = QFile::encodeName(tmp);
    const int fd = ::open(tmpPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_writeNote = QStringLiteral("cannot create %1: %2").arg(tmp, errnoText(errno));
        return Outcome::Failed;
    }
    auto fail = [&](const QString &what) {
        const int err = errno;
        ::close(fd);
        ::unlink(tmpPath.constData());
        m_writeNote = QStringLiteral("%1 %2: %3").arg(what, tmp, errnoText(err));
        return Outcome::Failed;
    };
    if (!writeAll(fd, bytes))
        return fail(QStringLiteral("cannot write"));
    if (current.key.exists) {
        struct stat st;
        if (::stat(targetPath.constData(), &st) == 0)
            ::fchmod(fd, st.st_mode & 07777);
    }
    // Each version gets a later time stamp than the one it replaces, even within one clock tick
    // of the file system, so a reader's (inode, size, time) check always sees the change.
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (current.key.exists
        && (now.tv_sec < current.key.mtimeSec
            || (now.tv_sec == current.key.mtimeSec && now.tv_nsec <= current.key.mtimeNsec))) {
        now.tv_sec = current.key.mtimeSec;
        now.tv_nsec = current.key.mtimeNsec + 1;
        if (now.tv_nsec >= 1000000000) {
            now.tv_sec += 1;
            now.tv_nsec = 0;
        }
    }
    const struct timespec times[2] = { now, now };
    ::futimens(fd, times);
    if (::fsync(fd) != 0)
        return fail(QStringLiteral("cannot flush"));
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmpPath.constData());
        m_writeNote = QStringLiteral("cannot write %1: %2").arg(tmp, errnoText(err));
        return Outcome::Failed;
    }

    if (current.damaged && current.key.exists) {
        // The lines that could not be read are only safe once the old file is kept.
        const QString kept = keepAside(target);
        if (kept.isEmpty()) {
            ::unlink(tmpPath.constData());
            m_writeNote
                = QStringLiteral("cannot keep the damaged %1 aside; not replaced").arg(target);
            return Outcome::Failed;
        }
        m_writeNote = QStringLiteral("the damaged file was kept as %1").arg(kept);
    }

    if (::rename(tmpPath.constData(), targetPath.constData()) != 0) {
        const int err = errno;
        ::unlink(tmpPath.constData());
        m_writeNote = QStringLiteral("cannot replace %1: %2").arg(target, errnoText(err));
        return Outcome::Failed;
    }
    syncFolder(folder);

    Loaded written;
    written.key = statKey(m_pathBytes);
    written.tree = std::make_shared<const SettingsTree>(std::move(tree));
    remember(written);
    return Outcome::Written;
}

} // namespace quorvel
