#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace quorvel {

// One endpoint of a numbered text channel between the two programs.
// openChannel(n) binds the endpoint to number n (for receiving and for the next sends) and
// returns true exactly when another process has n open. sendText delivers one string to that
// process; textArrived is emitted on the receiver's main thread, once per string, in send order.
class Channel : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Channel() override = default;

    virtual bool openChannel(int number) = 0;
    // Drops the text silently when no peer has the number open (the caller opens first).
    virtual void sendText(const QString &text) = 0;
    virtual int number() const = 0;

signals:
    void textArrived(const QString &text);
};

// Makes channel endpoints; the programs get one through their constructors.
class ChannelFactory
{
public:
    virtual ~ChannelFactory() = default;
    virtual std::unique_ptr<Channel> create(QObject *parent = nullptr) = 0;
};

} // namespace quorvel
