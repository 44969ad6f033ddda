#include "controls/channel/UnixChannelFactory.h"

#include "controls/channel/UnixChannel.h"

namespace quorvel {

UnixChannelFactory::UnixChannelFactory(QString runtimeFolder)
    : m_runtimeFolder(std::move(runtimeFolder))
{ }

std::unique_ptr<Channel> UnixChannelFactory::create(QObject *parent)
{
    return std::make_unique<UnixChannel>(parent, m_runtimeFolder);
}

} // namespace quorvel
