#pragma once

#include "tools/quorvel-modemsim/ModemOutput.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace quorvel::modemsim::test {

// Records everything the modem says and does.
class RecordingOutput : public ModemOutput {
public:
    bool toHost(const QByteArray &bytes) override
    {
        if (!hostOpen)
            return false;
        host += bytes;
        return true;
    }
    void logReceived(const QString &line) override { received.append(line); }
    void logSent(const QString &text, bool delivered) override
    {
        sent.append(delivered ? text : text + QStringLiteral(" (dropped)"));
    }
    void logEvent(const QString &text) override { events.append(text); }
    void commandLine(const AtCommandLine &line) override { lines.append(line); }
    void callStarted(int number) override { calls.append(QStringLiteral("start %1").arg(number)); }
    void callAudio(const QByteArray &pcm16) override { audio += pcm16; }
    void callEnded(int number, const QString &reason) override
    {
        calls.append(QStringLiteral("end %1 %2").arg(number).arg(reason));
    }
    void transmitStarted(int bytesPerSecond) override
    {
        transmit.append(QStringLiteral("start %1").arg(bytesPerSecond));
    }
    void transmitProgress(qint64 bytes) override { progressBytes += bytes; }
    void transmitCleared() override { transmit.append(QStringLiteral("clear")); }
    void transmitEnded(bool drain) override
    {
        transmit.append(drain ? QStringLiteral("end drain") : QStringLiteral("end"));
    }

    // What the host has been sent since the last call, then forgets it.
    QByteArray take()
    {
        const QByteArray out = host;
        host.clear();
        return out;
    }
    bool eventContains(const QString &part) const
    {
        for (const QString &e : events)
            if (e.contains(part))
                return true;
        return false;
    }

    bool hostOpen = true;
    QByteArray host;
    QStringList received;
    QStringList sent;
    QStringList events;
    QList<AtCommandLine> lines;
    QStringList calls;
    QByteArray audio;
    QStringList transmit;
    qint64 progressBytes = 0;
};

} // namespace quorvel::modemsim::test
