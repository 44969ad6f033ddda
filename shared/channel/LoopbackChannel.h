#pragma once

#include "shared/channel/Channel.h"

#include <memory>

namespace quorvel {

class LoopbackHub;

// A channel endpoint that talks to the other endpoints of its hub inside one process. Arrivals
// are queued on the event loop like those of a real transport, so a test sees the same
// ordering and re-entrancy a program sees.
class LoopbackChannel final : public Channel
{
    Q_OBJECT
public:
    explicit LoopbackChannel(std::shared_ptr<LoopbackHub> hub, QObject *parent = nullptr);
    ~LoopbackChannel() override;

    // True when another endpoint of the hub has the number open.
    bool openChannel(int number) override;
    void sendText(const QString &text) override;
    int number() const override { return m_number; }

    // Called by the hub: emits textArrived from the event loop, unless this endpoint has
    // moved to another number by then.
    void queueArrival(int number, const QString &text);

private:
    void reportLater(const QString &description);

    std::shared_ptr<LoopbackHub> m_hub;
    int m_number = 0;
};

} // namespace quorvel
