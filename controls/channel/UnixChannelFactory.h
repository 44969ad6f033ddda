#pragma once

#include "shared/channel/Channel.h"

#include <QString>

namespace quorvel {

// Makes endpoints that reach the other program through Unix domain sockets.
class UnixChannelFactory final : public ChannelFactory
{
public:
    // `runtimeFolder` empty: the runtime folder of the environment, looked up at each open.
    explicit UnixChannelFactory(QString runtimeFolder = QString());

    std::unique_ptr<Channel> create(QObject *parent = nullptr) override;

private:
    QString m_runtimeFolder;
};

} // namespace quorvel
