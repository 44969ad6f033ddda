#include "shared/channel/LoopbackHub.h"

#include "shared/channel/LoopbackChannel.h"

namespace quorvel {

void LoopbackHub::attach(LoopbackChannel *endpoint)
{
    if (!m_endpoints.contains(endpoint))
        m_endpoints.append(endpoint);
}

void LoopbackHub::detach(LoopbackChannel *endpoint)
{
    m_endpoints.removeAll(endpoint);
}

QList<LoopbackChannel *> LoopbackHub::peers(const LoopbackChannel *self, int number) const
{
    QList<LoopbackChannel *> found;
    if (number <= 0)
        return found;
    for (LoopbackChannel *endpoint : m_endpoints) {
        if (endpoint != self && endpoint->number() == number)
            found.append(endpoint);
    }
    return found;
}

int LoopbackHub::openCount(int number) const
{
    return peers(nullptr, number).size();
}

void LoopbackHub::send(const LoopbackChannel *from, int number, const QString &text)
{
    m_sent[number].append(text);
    for (LoopbackChannel *peer : peers(from, number))
        peer->queueArrival(number, text);
}

} // namespace quorvel
