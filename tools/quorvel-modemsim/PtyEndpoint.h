#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace quorvel::modemsim {

// The modem's end of a pseudo-terminal, published as a symlink the host opens like a serial
// device. The master stays open for the simulator's life; the host may open and close the
// slave any number of times. While no host holds it, the master reads EIO and bytes written
// would wait for the next opener: that is "host not connected", watched with a timer, and
// nothing is written then (a modem talking to a port nobody holds loses its words too).
class PtyEndpoint : public QObject {
    Q_OBJECT
public:
    enum class OpenError { None, BadLink, Pty };

    explicit PtyEndpoint(QObject *parent = nullptr);
    ~PtyEndpoint() override;

    OpenError open(const QString &linkPath, QString *error);
    // Closes the master (the host sees the device vanish) and removes the link if it is ours.
    void close();

    QString slaveName() const { return m_slaveName; }
    QString linkPath() const { return m_linkPath; }
    bool hostConnected() const { return m_hostConnected; }
    // The host has closed its end; what it wrote before may still be waiting to be read.
    bool hostHungUp() const;

    // Up to `max` bytes the host sent; empty when none are waiting.
    QByteArray read(qint64 max);
    // False when no host holds the port (the bytes are dropped).
    bool write(const QByteArray &bytes);
    // While paused, bytes from the host wait in the port (the voice line throttles the host).
    void setReadPaused(bool paused);

signals:
    void readyRead();
    void hostOpened();
    void hostClosed();

private:
    void checkHost();
    void onReadable();
    void onWritable();
    void markClosed();
    void updateNotifiers();

    int m_master = -1;
    QString m_slaveName;
    QString m_linkPath;
    bool m_hostConnected = false;
    bool m_readPaused = false;
    QByteArray m_outQueue;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_watch;
};

} // namespace quorvel::modemsim
