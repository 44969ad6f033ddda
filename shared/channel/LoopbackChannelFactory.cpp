#include "shared/channel/LoopbackChannelFactory.h"

#include "shared/channel/LoopbackChannel.h"
#include "shared/channel/LoopbackHub.h"

namespace quorvel {

LoopbackChannelFactory::LoopbackChannelFactory()
    : m_hub(std::make_shared<LoopbackHub>())
{ }

LoopbackChannelFactory::~LoopbackChannelFactory() = default;

std::unique_ptr<Channel> LoopbackChannelFactory::create(QObject *parent)
{
    return std::make_unique<LoopbackChannel>(m_hub, parent);
}

QStringList LoopbackChannelFactory::sent(int number) const
{
    return m_hub->sent(number);
}

void LoopbackChannelFactory::clearSent()
{
    m_hub->clearSent();
}

int LoopbackChannelFactory::openCount(int number) const
{
    return m_hub->openCount(number);
}

} // namespace quorvel
