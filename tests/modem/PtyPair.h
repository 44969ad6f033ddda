#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvel::test {

// The far side of a pseudo-terminal for tests: the slave is published as a symlink that code
// under test opens like a serial device; the test reads and writes the master. With a responder
// set it plays a scripted modem: every CR-ended command line the host sends is answered with
// what the responder returns. The master is served by a thread of its own, so the code under
// test may block in its bounded waits while the "modem" answers.
class PtyPair {
public:
    using Responder = std::function<QByteArray(const QByteArray &command)>;

    explicit PtyPair(const QString &linkPath);
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString link() const { return m_link; }
    QString slave() const { return m_slave; }

    // Without a responder nothing is ever answered (a modem that does not respond).
    void setResponder(Responder responder);
    void write(const QByteArray &bytes);
    // Everything the host sent so far, and its command lines.
    QByteArray received() const;
    QList<QByteArray> commands() const;
    // The device vanishes: master closed, link removed.
    void close();

    // A modem that answers like a plain class-8 voice modem, with caller ID by AT#CID.
    static QByteArray plainModem(const QByteArray &command);

private:
    void serve();

    int m_master = -1;
    QString m_link;
    QString m_slave;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
    mutable std::mutex m_mutex;
    Responder m_responder;
    QByteArray m_received;
    QByteArray m_line;
    QList<QByteArray> m_commands;
};

} // namespace quorvel::test
