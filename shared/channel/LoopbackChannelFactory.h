#pragma once

#include "shared/channel/Channel.h"

#include <QStringList>
#include <memory>

namespace quorvel {

class LoopbackHub;

// Makes endpoints that talk to each other inside one process, for tests of the layers above
// the transport. Every endpoint it makes shares one hub; the hub records each text sent, per
// number, whether or not anyone had the number open.
class LoopbackChannelFactory final : public ChannelFactory
{
public:
    LoopbackChannelFactory();
    ~LoopbackChannelFactory() override;

    std::unique_ptr<Channel> create(QObject *parent = nullptr) override;

    // Every text passed to sendText on an endpoint bound to `number`, in call order.
    QStringList sent(int number) const;
    void clearSent();
    // How many endpoints have `number` open.
    int openCount(int number) const;

private:
    std::shared_ptr<LoopbackHub> m_hub;
};

} // namespace quorvel
