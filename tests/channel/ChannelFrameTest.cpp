// The byte layer of the channel sockets: framing, the size limit, text that is not UTF-8, and
// the socket file names endpoints find each other by.

#include "controls/channel/ChannelFrame.h"
#include "controls/channel/ChannelFrameDecoder.h"
#include "controls/channel/ChannelSocketName.h"
#include "shared/channel/ChannelMessage.h"

#include <gtest/gtest.h>

using namespace quorvel;
using Result = ChannelFrameDecoder::Result;

namespace {

QByteArray header(quint32 n)
{
    QByteArray h;
    h.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    return h;
}

QByteArray rawFrame(const QByteArray &payload)
{
    return header(quint32(payload.size())) + payload;
}

struct Step
{
    Result result;
    QString text;
};

// Feeds `stream` in pieces of `chunk` bytes and collects everything the decoder reports.
std::vector<Step> decodeAll(const QByteArray &stream, qsizetype chunk, qsizetype *pending)
{
    ChannelFrameDecoder decoder;
    std::vector<Step> steps;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        decoder.append(stream.mid(at, chunk));
        for (;;) {
            QString text;
            const Result r = decoder.next(&text);
            if (r == Result::NeedMore)
                break;
            steps.push_back({ r, r == Result::Message ? text : QString() });
            if (r == Result::Oversize) {
                // The connection is closed at this point; nothing more is read.
                *pending = decoder.pendingBytes();
                return steps;
            }
        }
    }
    *pending = decoder.pendingBytes();
    return steps;
}

} // namespace

TEST(ChannelFrame, MessagesSurviveAnySplitOfTheStream)
{
    const QStringList messages = {
        QString(),
        "UNLOAD",
        ChannelMessage::join(
            { "Tapi_CID", "0", "", "0612345678", "Zoë Dupont", "zoe.jpg", "True", "2", "False" }),
        QString::fromUtf8("☎ \xF0\x9F\x93\x9E"), // a character outside the basic plane
        QString(QChar(0xFEFF)) + "starts with U+FEFF",
        QString("nul") + QChar(0) + "inside",
        QString(ChannelMessage::MaxBytes / 2, QChar(0xE9)), // exactly the limit in UTF-8
    };
    QByteArray stream;
    for (const QString &m : messages) {
        const auto frame = ChannelFrame::encode(m);
        ASSERT_TRUE(frame.has_value());
        stream += *frame;
    }
    for (qsizetype chunk : { qsizetype(1), qsizetype(3), qsizetype(4096), stream.size() }) {
        SCOPED_TRACE(chunk);
        qsizetype pending = -1;
        const auto steps = decodeAll(stream, chunk, &pending);
        ASSERT_EQ(steps.size(), size_t(messages.size()));
        for (qsizetype i = 0; i < messages.size(); ++i) {
            EXPECT_EQ(steps[i].result, Result::Message);
            EXPECT_EQ(steps[i].text, messages[i]) << i;
        }
        EXPECT_EQ(pending, 0);
    }
}

TEST(ChannelFrame, SenderRefusesMoreThanTheLimitCountedInUtf8)
{
    // 32,768 'é' are 65,536 bytes: the limit. One more character is over it, though the text
    // is only half as many characters long.
    const QString atLimit(32768, QChar(0xE9));
    const QString overLimit(32769, QChar(0xE9));
    EXPECT_TRUE(ChannelFrame::encode(atLimit).has_value());
    EXPECT_TRUE(ChannelMessage::fits(atLimit));
    EXPECT_FALSE(ChannelFrame::encode(overLimit).has_value());
    EXPECT_FALSE(ChannelMessage::fits(overLimit));
    EXPECT_FALSE(ChannelFrame::encode(QString(65537, 'a')).has_value());
    EXPECT_TRUE(ChannelFrame::encode(QString(65536, 'a')).has_value());
    EXPECT_FALSE(ChannelMessage::fits(QString(65537, 'a')));
}

TEST(ChannelFrame, BrokenStreams)
{
    struct Case
    {
        const char *name;
        QByteArray stream;
        std::vector<Result> results;
        qsizetype pending;
        QStringList texts;
    };
    const QByteArray ok = rawFrame("ok");
    const std::vector<Case> cases = {
        { "announces one byte over the limit",
          header(65537) + QByteArray(70000, 'x') + ok,
          { Result::Oversize },
          0,
          {} },
        { "announces 4 GiB", header(0xFFFFFFFFu) + ok, { Result::Oversize }, 0, {} },
        { "whole messages before an oversized one are kept",
          ok + header(1u << 20),
          { Result::Message, Result::Oversize },
          0,
          { "ok" } },
        { "bytes that are not UTF-8",
          rawFrame("\xFF\xFE") + ok,
          { Result::BadText, Result::Message },
          0,
          { "ok" } },
        { "a character cut at the end of the frame",
          rawFrame("caf\xC3") + ok,
          { Result::BadText, Result::Message },
          0,
          { "ok" } },
        { "an overlong encoding of '/'",
          rawFrame("\xC0\xAF") + ok,
          { Result::BadText, Result::Message },
          0,
          { "ok" } },
        { "an encoded surrogate",
          rawFrame("\xED\xA0\x80") + ok,
          { Result::BadText, Result::Message },
          0,
          { "ok" } },
        { "half a header", ok + header(5).left(2), { Result::Message }, 2, { "ok" } },
        { "header and part of the message",
          ok + header(10) + "abc",
          { Result::Message },
          7,
          { "ok" } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (qsizetype chunk : { qsizetype(1), c.stream.size() }) {
            qsizetype pending = -1;
            const auto steps = decodeAll(c.stream, chunk, &pending);
            std::vector<Result> results;
            QStringList texts;
            for (const Step &s : steps) {
                results.push_back(s.result);
                if (s.result == Result::Message)
                    texts.append(s.text);
            }
            EXPECT_EQ(results, c.results) << "chunk " << chunk;
            EXPECT_EQ(texts, c.texts);
            EXPECT_EQ(pending, c.pending);
        }
    }
}

TEST(ChannelFrame, OversizedStreamStaysRefused)
{
    // Once a length cannot be trusted, neither can any boundary after it.
    ChannelFrameDecoder decoder;
    decoder.append(header(65537));
    QString text;
    EXPECT_EQ(decoder.next(&text), Result::Oversize);
    decoder.append(rawFrame("UNLOAD"));
    EXPECT_EQ(decoder.next(&text), Result::Oversize);
    EXPECT_TRUE(text.isEmpty());
}

TEST(ChannelSocketName, Names)
{
    ChannelSocketName name { 405, 1234, 7 };
    EXPECT_EQ(name.fileName(), "ch405_1234_7.sock");
    EXPECT_TRUE(name.tempName().startsWith('.'));
    const auto back = ChannelSocketName::parse(name.fileName());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->number, 405);
    EXPECT_EQ(back->pid, 1234);
    EXPECT_EQ(back->binding, 7u);
    EXPECT_FALSE(ChannelSocketName::parse(name.tempName()).has_value());

    for (const char *bad : { "ch405_1234.sock", "ch0_1_1.sock", "ch-5_1_1.sock", "ch405_0_1.sock",
                             "ch0405_1_1.sock", "ch405_1_1.sock.old", "x405_1_1.sock",
                             "ch99999999999_1_1.sock", "ch405_1_1", "ch405_1_-1.sock" }) {
        EXPECT_FALSE(ChannelSocketName::parse(bad).has_value()) << bad;
    }
}
