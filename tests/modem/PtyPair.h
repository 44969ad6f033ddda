#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class QSocketNotifier;

namespace quorvel::test {

// The far side of a pseudo-terminal for tests: the slave is published as a symlink that code
// under test opens like a serial device; the test reads and writes the master. With a responder
// set it plays a scripted modem: every CR-ended command line the host sends is answered with
// what the responder returns.
class PtyPair : public QObject {
    Q_OBJECT
public:
    using Responder = std::function<QByteArray(const QByteArray &command)>;

    explicit PtyPair(const QString &linkPath, QObject *parent = nullptr);
    ~PtyPair() override;

    bool isOpen() const { return m_master >= 0; }
    QString link() const { return m_link; }
    QString slave() const { return m_slave; }

    // Without a responder nothing is ever answered (a modem that does not respond).
    void setResponder(Responder responder) { m_responder = std::move(responder); }
    void write(const QByteArray &bytes);
    // Everything the host sent so far.
    QByteArray received() const { return m_received; }
    QList<QByteArray> commands() const { return m_commands; }
    // The device vanishes: master closed, link removed.
    void close();

    // A modem that answers like a plain class-8 voice modem, with caller ID by AT#CID.
    static QByteArray plainModem(const QByteArray &command);

private:
    void onReadable();

    int m_master = -1;
    QString m_link;
    QString m_slave;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_retry;
    Responder m_responder;
    QByteArray m_received;
    QByteArray m_line;
    QList<QByteArray> m_commands;
};

} // namespace quorvel::test
