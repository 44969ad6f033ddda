#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace quorvel {

// One endpoint of a numbered text channel between the two programs.
// openChannel(n) binds the endpoint to number n (for receiving and for the next sends) and
// returns true exactly when another process has n open. sendText delivers one string to that
// process; textArrived is emitted on the receiver's main thread, once per string, in send order.
// Numbers are positive; number() is 0 while the endpoint has none open.
class Channel : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Channel() override = default;

    virtual bool openChannel(int number) = 0;
    // Drops the text silently when no peer has the number open (the caller opens first).
    // A text longer than ChannelMessage::MaxBytes in UTF-8 is refused (transportError).
    virtual void sendText(const QString &text) = 0;
    virtual int number() const = 0;

signals:
    void textArrived(const QString &text);
    // Something was refused or lost: a text too long to send, a peer of another user, a
    // message cut off or too long on arrival. Delivered from the event loop, never from
    // inside sendText or openChannel. The endpoint keeps working.
    void transportError(const QString &description);
};

// Makes channel endpoints; the programs get one through their constructors.
class ChannelFactory
{
public:
    virtual ~ChannelFactory() = default;
    virtual std::unique_ptr<Channel> create(QObject *parent = nullptr) = 0;
};

} // namespace quorvel
