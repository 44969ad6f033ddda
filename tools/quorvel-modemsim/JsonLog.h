#pragma once

#include <QFile>
#include <QString>
#include <functional>

namespace quorvel::modemsim {

// One JSON object a line, written and flushed as it happens:
//   {"t":12345.678901,"dir":"rx","text":"ATA"}
// t is CLOCK_MONOTONIC in seconds, the clock other tools on the machine stamp with too.
// dir is "rx" (a command line from the host), "tx" (a line or DLE event to the host; with
// "dropped":true when the host did not hold the port open) or "event".
class JsonLog {
public:
    using TimeSource = std::function<double()>;

    explicit JsonLog(TimeSource now = &JsonLog::monotonicSeconds);

    bool open(const QString &path, QString *error);
    bool isOpen() const { return m_file.isOpen(); }
    void write(const QString &dir, const QString &text, bool dropped = false);

    static double monotonicSeconds();
    static QByteArray formatLine(double t, const QString &dir, const QString &text, bool dropped);

private:
    TimeSource m_now;
    QFile m_file;
};

} // namespace quorvel::modemsim
