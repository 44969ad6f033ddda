// The in-process channel switchboard other layers test against: it must behave like the real
// transport in what those tests can observe (open results, queued ordered delivery, size limit).

#include "shared/channel/ChannelMessage.h"
#include "shared/channel/LoopbackChannelFactory.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorvel;

namespace {

QStringList arrivals(QSignalSpy &spy)
{
    QStringList texts;
    for (const QList<QVariant> &call : spy)
        texts.append(call.at(0).toString());
    return texts;
}

} // namespace

TEST(LoopbackChannel, OpenIsTrueWhileAnotherEndpointHasTheNumber)
{
    LoopbackChannelFactory factory;
    auto service = factory.create();
    auto desktop = factory.create();

    EXPECT_FALSE(service->openChannel(405));
    EXPECT_EQ(service->number(), 405);
    EXPECT_TRUE(desktop->openChannel(405));
    EXPECT_TRUE(service->openChannel(405));
    EXPECT_EQ(factory.openCount(405), 2);

    desktop->openChannel(406); // moved away
    EXPECT_FALSE(service->openChannel(405));
    EXPECT_FALSE(desktop->openChannel(406));

    auto third = factory.create();
    third->openChannel(405);
    EXPECT_TRUE(service->openChannel(405));
    third.reset();
    EXPECT_FALSE(service->openChannel(405));

    QSignalSpy errors(service.get(), &Channel::transportError);
    EXPECT_FALSE(service->openChannel(0));
    EXPECT_FALSE(service->openChannel(-405));
    EXPECT_TRUE(errors.isEmpty()); // reported from the event loop
    QCoreApplication::processEvents();
    EXPECT_EQ(errors.size(), 2);
    EXPECT_EQ(service->number(), 405); // a refused number leaves the binding alone
}

TEST(LoopbackChannel, DeliveryIsQueuedInOrderToEveryOtherEndpointOfTheNumber)
{
    LoopbackChannelFactory factory;
    auto sender = factory.create();
    auto first = factory.create();
    auto second = factory.create();
    auto elsewhere = factory.create();
    first->openChannel(407);
    second->openChannel(407);
    elsewhere->openChannel(408);
    ASSERT_TRUE(sender->openChannel(407));

    QSignalSpy self(sender.get(), &Channel::textArrived);
    QSignalSpy a(first.get(), &Channel::textArrived);
    QSignalSpy b(second.get(), &Channel::textArrived);
    QSignalSpy other(elsewhere.get(), &Channel::textArrived);

    QStringList sent;
    for (int i = 0; i < 200; ++i) {
        sent.append(ChannelMessage::join({ "Tapi_Ring", "0", QString::number(i), "False" }));
        sender->sendText(sent.last());
    }
    EXPECT_TRUE(a.isEmpty()) << "delivery must wait for the event loop, as between programs";
    QCoreApplication::processEvents();
    EXPECT_EQ(arrivals(a), sent);
    EXPECT_EQ(arrivals(b), sent);
    EXPECT_TRUE(self.isEmpty());
    EXPECT_TRUE(other.isEmpty());
    EXPECT_EQ(factory.sent(407), sent);
    EXPECT_TRUE(factory.sent(408).isEmpty());
}

TEST(LoopbackChannel, RecordsWhatWasSentEvenWithoutAListener)
{
    LoopbackChannelFactory factory;
    auto desktop = factory.create();
    EXPECT_FALSE(desktop->openChannel(405));
    desktop->sendText("UNLOAD");
    desktop->openChannel(408);
    desktop->sendText("HELLO");
    EXPECT_EQ(factory.sent(405), QStringList { "UNLOAD" });
    EXPECT_EQ(factory.sent(408), QStringList { "HELLO" });

    QSignalSpy errors(desktop.get(), &Channel::transportError);
    desktop->sendText(QString(ChannelMessage::MaxBytes + 1, 'x'));
    QCoreApplication::processEvents();
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(factory.sent(408), QStringList { "HELLO" }) << "a refused text was not sent";

    factory.clearSent();
    EXPECT_TRUE(factory.sent(405).isEmpty());
}

TEST(LoopbackChannel, ArrivalsForANumberLeftBeforeDeliveryAreDropped)
{
    LoopbackChannelFactory factory;
    auto sender = factory.create();
    auto receiver = factory.create();
    receiver->openChannel(407);
    sender->openChannel(407);
    QSignalSpy spy(receiver.get(), &Channel::textArrived);
    sender->sendText("Tapi_Idle\r\n0\r\n0");
    receiver->openChannel(409);
    QCoreApplication::processEvents();
    EXPECT_TRUE(spy.isEmpty());
}

TEST(LoopbackChannel, HandlerMayDestroyItsEndpointAndEndpointsMayOutliveTheFactory)
{
    auto factory = std::make_unique<LoopbackChannelFactory>();
    auto sender = factory->create();
    Channel *receiver = factory->create().release();
    receiver->openChannel(405);
    sender->openChannel(405);
    int seen = 0;
    QObject::connect(receiver, &Channel::textArrived, [&seen, receiver](const QString &) {
        ++seen;
        delete receiver; // "UNLOAD" tears the form down while more messages wait
    });
    sender->sendText("UNLOAD");
    sender->sendText("GETSOUNDINDEX");
    factory.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, 1);
    EXPECT_FALSE(sender->openChannel(405));
    sender->sendText("after the factory went");
}
