#include "tools/quorvel-modemsim/JsonLog.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <ctime>

namespace quorvel::modemsim {

JsonLog::JsonLog(TimeSource now)
    : m_now(std::move(now))
{
}

double JsonLog::monotonicSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

QByteArray JsonLog::formatLine(double t, const QString &dir, const QString &text, bool dropped)
{
    // Keys in a fixed order, so the lines read well and grep well.
    QByteArray line = "{\"t\":" + QByteArray::number(t, 'f', 6) + ",\"dir\":";
    auto quoted = [](const QString &s) {
        QByteArray j = QJsonDocument(QJsonObject { { QStringLiteral("s"), s } })
                           .toJson(QJsonDocument::Compact);
        // {"s":"..."} -> "..."
        return j.mid(5, j.size() - 6);
    };
    line += quoted(dir) + ",\"text\":" + quoted(text);
    if (dropped)
        line += ",\"dropped\":true";
    line += "}\n";
    return line;
}

bool JsonLog::open(const QString &path, QString *error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = QStringLiteral("cannot write the log %1: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

void JsonLog::write(const QString &dir, const QString &text, bool dropped)
{
    if (!m_file.isOpen())
        return;
    m_file.write(formatLine(m_now(), dir, text, dropped));
    m_file.flush();
}

} // namespace quorvel::modemsim
