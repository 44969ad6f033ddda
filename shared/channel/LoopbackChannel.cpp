#include "shared/channel/LoopbackChannel.h"

#include "shared/channel/ChannelMessage.h"
#include "shared/channel/LoopbackHub.h"

#include <QPointer>

namespace quorvel {

LoopbackChannel::LoopbackChannel(std::shared_ptr<LoopbackHub> hub, QObject *parent)
    : Channel(parent)
    , m_hub(std::move(hub))
{
    m_hub->attach(this);
}

LoopbackChannel::~LoopbackChannel()
{
    m_hub->detach(this);
}

bool LoopbackChannel::openChannel(int number)
{
    if (number <= 0) {
        reportLater(QStringLiteral("channel number %1 refused: numbers are positive").arg(number));
        return false;
    }
    m_number = number;
    return !m_hub->peers(this, number).isEmpty();
}

void LoopbackChannel::sendText(const QString &text)
{
    if (!ChannelMessage::fits(text)) {
        reportLater(QStringLiteral("message of %1 bytes not sent on channel %2: the limit is %3")
                        .arg(text.toUtf8().size())
                        .arg(m_number)
                        .arg(ChannelMessage::MaxBytes));
        return;
    }
    if (m_number <= 0)
        return;
    m_hub->send(this, m_number, text);
}

void LoopbackChannel::queueArrival(int number, const QString &text)
{
    QMetaObject::invokeMethod(
        this,
        [this, number, text] {
            if (m_number == number)
                emit textArrived(text);
        },
        Qt::QueuedConnection);
}

void LoopbackChannel::reportLater(const QString &description)
{
    QMetaObject::invokeMethod(
        this, [this, description] { emit transportError(description); }, Qt::QueuedConnection);
}

} // namespace quorvel
