#pragma once

#include <QByteArray>
#include <QString>

namespace quorvel::modemsim::test {

// The host's side of the simulated modem: the link opened as a serial port with termios, in
// raw mode, as a driver would.
class HostPort {
public:
    HostPort() = default;
    ~HostPort();
    HostPort(const HostPort &) = delete;
    HostPort &operator=(const HostPort &) = delete;

    bool open(const QString &path);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    bool write(const QByteArray &bytes);
    // Reads until `needle` has arrived (everything read so far is returned and kept in
    // received()) or the time is up.
    bool waitFor(const QByteArray &needle, int timeoutMs);
    // Reads whatever arrives for `ms` milliseconds.
    QByteArray drain(int ms);
    // True once the device has gone away (read gives EOF, EIO or a hang-up).
    bool waitForVanish(int timeoutMs);

    QByteArray received() const { return m_received; }
    void clearReceived() { m_received.clear(); }
    // Sends a command with CR and waits for its final result; returns the reply through that
    // result. What arrived after it stays in received() for the next wait.
    QByteArray command(const QByteArray &line, int timeoutMs = 5000);

private:
    int readSome(int timeoutMs);

    int m_fd = -1;
    QByteArray m_received;
};

} // namespace quorvel::modemsim::test
