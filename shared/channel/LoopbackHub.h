#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace quorvel {

class LoopbackChannel;

// The switchboard behind in-process channel endpoints: who has which number open, and every
// text sent on each number. Lives as long as its factory or any endpoint, whichever is last.
class LoopbackHub
{
public:
    void attach(LoopbackChannel *endpoint);
    void detach(LoopbackChannel *endpoint);

    // Endpoints other than `self` that have `number` open.
    QList<LoopbackChannel *> peers(const LoopbackChannel *self, int number) const;
    int openCount(int number) const;

    // Records the text and queues it for every other endpoint that has the number open.
    void send(const LoopbackChannel *from, int number, const QString &text);

    QStringList sent(int number) const { return m_sent.value(number); }
    void clearSent() { m_sent.clear(); }

private:
    QList<LoopbackChannel *> m_endpoints;
    QHash<int, QStringList> m_sent;
};

} // namespace quorvel
