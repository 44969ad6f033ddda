#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace quorvel {

// A serial port (a tty: USB modem, on-board UART, pseudo-terminal) in raw 8N1, non-blocking.
// While open the port is ours alone: TIOCEXCL on the tty, an flock on the device and a UUCP
// lock file, so a second program is refused instead of stealing bytes. A port another program
// holds (its lock file names a live process, its flock is taken, or the kernel refuses with
// EBUSY) is reported busy and never taken.
//
// Reading is event driven (readyRead when bytes arrived), writing is queued and goes out as the
// tty accepts it. When the device vanishes (USB unplug, the far end of a pty closed) the port
// closes itself and emits `lost`.
class SerialPort : public QObject {
    Q_OBJECT
public:
    // Result codes. The numbers of AlreadyOpen and Busy are the ones serial-port users in this
    // system already know: "port already open" (this program has it) and "device busy" (someone
    // else has it; worth retrying a few times while another program lets go).
    enum Error {
        NoError = 0,
        NotFound = 8002, // no device at that path
        AlreadyOpen = 8005, // this program has the port open already
        PermissionDenied = 8010, // the device node refuses us (group dialout missing)
        Busy = 8012, // another program holds the port
        ConfigureFailed = 8015, // not a tty, or its line settings cannot be set
        NotOpen = 8018, // operation needs an open port
        IoError = 8020, // a read or write failed
        DeviceLost = 8021, // the device went away while open
        OpenFailed = 8025, // any other reason open(2) gave
    };

    struct Settings {
        int baudRate = 115200;
        bool hardwareFlowControl = false;
        // Folder of UUCP lock files ("LCK..ttyACM0"); empty = the system's (/run/lock or
        // /var/lock). Lock files of others are always honoured; ours is written when the
        // folder is writable.
        QString lockDirectory;
        bool useLockFile = true;
    };

    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    bool open(const QString &path);
    bool open(const QString &path, const Settings &settings);
    // Releases the port at once: exclusivity, lock file and descriptor.
    void close();
    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }
    // The device the path stood for when it was opened (symlinks resolved).
    QString device() const { return m_device; }
    int handle() const { return m_fd; }

    Error error() const { return m_error; }
    QString errorString() const { return m_errorString; }
    // A readable text for a code, naming the port.
    static QString errorText(Error code, const QString &path, const QString &detail = QString());

    // Bytes received and not read yet.
    QByteArray readAll();
    qint64 bytesAvailable() const { return m_readBuffer.size(); }
    // Queues `data`; it goes out as the tty accepts it. -1 when the port is not open.
    qint64 write(const QByteArray &data);
    // Bytes queued and not yet handed to the tty.
    qint64 bytesToWrite() const { return m_writeQueue.size(); }
    // Drops what is queued and not yet handed to the tty.
    void clearWriteQueue() { m_writeQueue.clear(); }

    // Blocking helpers for short exchanges (bounded by `msecs`): wait until bytes arrived (and
    // readyRead was emitted) / until the write queue is empty. False on time-out or loss.
    bool waitForReadyRead(int msecs);
    bool waitForBytesWritten(int msecs);

    // The device a path stands for, symlinks resolved ("/dev/ttyACM0", "/dev/pts/4").
    static QString canonicalDevicePath(const QString &path);
    static QString defaultLockDirectory();
    // Pid named by a lock file for the port that belongs to a live process, else 0.
    static qint64 lockOwner(const QString &path, const QString &lockDirectory);

signals:
    void readyRead();
    void bytesWritten(qint64 bytes);
    // The device went away; the port is closed already.
    void lost();

private:
    bool fail(Error code, const QString &detail = QString());
    void onReadable();
    void onWritable();
    // Reads what the tty holds. False when the device is gone.
    bool drainInput();
    bool flushQueue();
    void handleLost(const QString &detail);
    bool openedByThisProcess(const QString &device) const;
    bool createLockFile(const QString &device);
    void removeLockFile();

    int m_fd = -1;
    QString m_path;
    QString m_device;
    QString m_lockFile;
    Settings m_settings;
    Error m_error = NoError;
    QString m_errorString;
    QByteArray m_readBuffer;
    QByteArray m_writeQueue;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
};

} // namespace quorvel
