#include "controls/serial/SerialPort.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace quorvel {

namespace {

speed_t speedFor(int baud)
{
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return B115200;
    }
}

bool processAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Lock files hold the pid as ten ASCII digits and a newline (HDB UUCP); very old programs wrote
// it as a binary int.
qint64 pidInLockFile(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = f.read(64);
    bool ok = false;
    const qint64 pid = bytes.trimmed().toLongLong(&ok);
    if (ok)
        return pid;
    if (bytes.size() == 4) {
        int binary = 0;
        std::memcpy(&binary, bytes.constData(), 4);
        return binary;
    }
    return 0;
}

QString lockFileName(const QString &lockDirectory, const QString &pathOrDevice)
{
    return lockDirectory + QStringLiteral("/LCK..") + QFileInfo(pathOrDevice).fileName();
}

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

SerialPort::SerialPort(QObject *parent)
    : QObject(parent)
{
}

SerialPort::~SerialPort()
{
    close();
}

QString SerialPort::errorText(Error code, const QString &path, const QString &detail)
{
    QString text;
    switch (code) {
    case NoError:
        return QStringLiteral("success");
    case NotFound:
        text = QStringLiteral("no serial port at %1").arg(path);
        break;
    case AlreadyOpen:
        text = QStringLiteral("port already open: %1 is open in this program").arg(path);
        break;
    case PermissionDenied:
        text = QStringLiteral("no permission to open %1 (is the user in group dialout?)").arg(path);
        break;
    case Busy:
        text = QStringLiteral("%1 is in use by another program").arg(path);
        break;
    case ConfigureFailed:
        text = QStringLiteral("cannot set up %1 as a serial port").arg(path);
        break;
    case NotOpen:
        text = QStringLiteral("the serial port is not open");
        break;
    case IoError:
        text = QStringLiteral("read or write failed on %1").arg(path);
        break;
    case DeviceLost:
        text = QStringLiteral("%1 went away").arg(path);
        break;
    case OpenFailed:
        text = QStringLiteral("cannot open %1").arg(path);
        break;
    }
    if (!detail.isEmpty())
        text += QStringLiteral(" (") + detail + ')';
    return text;
}

QString SerialPort::canonicalDevicePath(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

QString SerialPort::defaultLockDirectory()
{
    for (const char *dir : { "/run/lock", "/var/lock" })
        if (QFileInfo(QString::fromLatin1(dir)).isDir())
            return QString::fromLatin1(dir);
    return QStringLiteral("/run/lock");
}

qint64 SerialPort::lockOwner(const QString &path, const QString &lockDirectory)
{
    const QString dir = lockDirectory.isEmpty() ? defaultLockDirectory() : lockDirectory;
    QStringList candidates { lockFileName(dir, canonicalDevicePath(path)) };
    const QString byName = lockFileName(dir, path);
    if (!candidates.contains(byName))
        candidates.append(byName);
    for (const QString &file : candidates) {
        const qint64 pid = pidInLockFile(file);
        if (processAlive(pid))
            return pid;
    }
    return 0;
}

bool SerialPort::fail(Error code, const QString &detail)
{
    m_error = code;
    m_errorString = errorText(code, m_path, detail);
    return false;
}

bool SerialPort::openedByThisProcess(const QString &device) const
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &entry : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds.filePath(entry));
        if (!target.isEmpty() && target == device)
            return true;
    }
    return false;
}

bool SerialPort::open(const QString &path)
{
    return open(path, Settings());
}

bool SerialPort::open(const QString &path, const Settings &settings)
{
    if (isOpen()) {
        if (canonicalDevicePath(path) == m_device)
            return fail(AlreadyOpen);
        close();
    }
    m_path = path;
    m_settings = settings;
    m_error = NoError;
    m_errorString.clear();
    m_readBuffer.clear();
    m_writeQueue.clear();

    if (!QFileInfo::exists(path))
        return fail(NotFound);
    m_device = canonicalDevicePath(path);
    if (openedByThisProcess(m_device))
        return fail(AlreadyOpen);

    const QString lockDir
        = settings.lockDirectory.isEmpty() ? defaultLockDirectory() : settings.lockDirectory;
    if (settings.useLockFile) {
        const qint64 owner = lockOwner(path, lockDir);
        if (owner == ::getpid())
            return fail(AlreadyOpen);
        if (owner > 0)
            return fail(Busy, QStringLiteral("pid %1").arg(owner));
    }

    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return fail(NotFound, errnoText(err));
        case EBUSY:
            return fail(Busy, errnoText(err));
        case EACCES:
        case EPERM:
            return fail(PermissionDenied, errnoText(err));
        default:
            return fail(OpenFailed, errnoText(err));
        }
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return fail(Busy, QStringLiteral("locked by another program"));
        return fail(OpenFailed, errnoText(err));
    }

    termios tio {};
    if (::tcgetattr(fd, &tio) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(ConfigureFailed, errnoText(err));
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD | HUPCL;
    if (settings.hardwareFlowControl)
        tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    // VMIN 1 so that a read without data reports EAGAIN and a read of 0 bytes means hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = speedFor(settings.baudRate);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(ConfigureFailed, errnoText(err));
    }
    // Other openers (without privileges) get EBUSY while we hold the port.
    ::ioctl(fd, TIOCEXCL);
    ::tcflush(fd, TCIOFLUSH);

    m_fd = fd;
    if (settings.useLockFile)
        createLockFile(lockDir);

    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SerialPort::onReadable);
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SerialPort::onWritable);
    return true;
}

bool SerialPort::createLockFile(const QString &lockDir)
{
    const QString file = lockFileName(lockDir, m_device);
    // A lock left by a process that died is stale; replace it.
    if (QFileInfo::exists(file) && !processAlive(pidInLockFile(file)))
        QFile::remove(file);
    const QByteArray native = QFile::encodeName(file);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false; // read-only lock folder: flock and TIOCEXCL still guard the port
    const QByteArray text
        = QByteArray::number(static_cast<qint64>(::getpid())).rightJustified(10) + '\n';
    const bool ok = ::write(fd, text.constData(), text.size()) == text.size();
    ::close(fd);
    if (ok)
        m_lockFile = file;
    else
        QFile::remove(file);
    return ok;
}

void SerialPort::removeLockFile()
{
    if (m_lockFile.isEmpty())
        return;
    if (pidInLockFile(m_lockFile) == ::getpid())
        QFile::remove(m_lockFile);
    m_lockFile.clear();
}

void SerialPort::close()
{
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_fd >= 0) {
        ::ioctl(m_fd, TIOCNXCL);
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
    removeLockFile();
    m_writeQueue.clear();
}

QByteArray SerialPort::readAll()
{
    QByteArray out;
    out.swap(m_readBuffer);
    return out;
}

qint64 SerialPort::write(const QByteArray &data)
{
    if (!isOpen()) {
        fail(NotOpen);
        return -1;
    }
    m_writeQueue.append(data);
    if (!flushQueue())
        return -1;
    return data.size();
}

bool SerialPort::flushQueue()
{
    qint64 total = 0;
    while (m_fd >= 0 && !m_writeQueue.isEmpty()) {
        const ssize_t n = ::write(m_fd, m_writeQueue.constData(), m_writeQueue.size());
        if (n > 0) {
            m_writeQueue.remove(0, n);
            total += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        handleLost(errnoText(n < 0 ? errno : EIO));
        return false;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_writeQueue.isEmpty());
    if (total > 0)
        emit bytesWritten(total);
    return m_fd >= 0;
}

bool SerialPort::drainInput()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            m_readBuffer.append(buffer, n);
            if (n < static_cast<ssize_t>(sizeof buffer))
                return true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        // 0 bytes: the tty was hung up; EIO: the device or the pty's other end is gone.
        handleLost(n == 0 ? QStringLiteral("hang-up") : errnoText(errno));
        return false;
    }
}

void SerialPort::onReadable()
{
    const qsizetype before = m_readBuffer.size();
    const bool alive = drainInput();
    if (m_readBuffer.size() > before)
        emit readyRead();
    if (!alive)
        emit lost();
}

void SerialPort::onWritable()
{
    if (!flushQueue())
        emit lost();
}

void SerialPort::handleLost(const QString &detail)
{
    close();
    fail(DeviceLost, detail);
}

bool SerialPort::waitForReadyRead(int msecs)
{
    if (!isOpen())
        return false;
    QDeadlineTimer deadline(msecs);
    for (;;) {
        pollfd p { m_fd, POLLIN, 0 };
        if (!m_writeQueue.isEmpty())
            p.events |= POLLOUT;
        const int r = ::poll(&p, 1, static_cast<int>(deadline.remainingTime()));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        if (p.revents & POLLOUT) {
            if (!flushQueue()) {
                emit lost();
                return false;
            }
        }
        if (p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
            const qsizetype before = m_readBuffer.size();
            const bool alive = drainInput();
            const bool arrived = m_readBuffer.size() > before;
            if (arrived)
                emit readyRead();
            if (!alive) {
                emit lost();
                return false;
            }
            if (arrived)
                return true;
        }
        if (deadline.hasExpired())
            return false;
    }
}

bool SerialPort::waitForBytesWritten(int msecs)
{
    QDeadlineTimer deadline(msecs);
    while (isOpen() && !m_writeQueue.isEmpty()) {
        pollfd p { m_fd, POLLOUT, 0 };
        const int r = ::poll(&p, 1, static_cast<int>(deadline.remainingTime()));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        if (!flushQueue()) {
            emit lost();
            return false;
        }
    }
    return isOpen();
}

} // namespace quorvel
