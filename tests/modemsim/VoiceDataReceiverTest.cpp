#include "tools/quorvel-modemsim/VoiceDataReceiver.h"

#include <gtest/gtest.h>

using namespace quorvel::modemsim;
using End = VoiceDataReceiver::End;

TEST(VoiceDataReceiver, UnshieldsDataAndFindsTheEnd)
{
    struct Case {
        QByteArray input;
        QByteArray audio;
        qsizetype consumed;
        End end;
        QList<char> controls;
    };
    const Case cases[] = {
        { QByteArray("abc"), QByteArray("abc"), 3, End::None, {} },
        { QByteArray("a\x10\x10"
                     "b"),
          QByteArray("a\x10"
                     "b"),
          4,
          End::None,
          {} },
        { QByteArray("ab\x10\x03"
                     "ATH\r"),
          QByteArray("ab"),
          4,
          End::Finish,
          {} },
        { QByteArray("\x10\x10\x10\x03"), QByteArray("\x10"), 4, End::Finish, {} },
        { QByteArray("a\x10\x14"
                     "b"),
          QByteArray("a"),
          3,
          End::Abort,
          {} },
        { QByteArray("a\x10\x18"
                     "b"),
          QByteArray("ab"),
          4,
          End::None,
          { 0x18 } },
        { QByteArray("a\x10u\x10"
                     "db"),
          QByteArray("ab"),
          6,
          End::None,
          { 'u', 'd' } },
        { QByteArray("\x03\x03"), QByteArray("\x03\x03"), 2, End::None, {} },
    };
    for (const Case &c : cases) {
        VoiceDataReceiver r;
        const auto chunk = r.feed(c.input);
        EXPECT_EQ(chunk.audio, c.audio) << c.input.toHex().toStdString();
        EXPECT_EQ(chunk.consumed, c.consumed) << c.input.toHex().toStdString();
        EXPECT_EQ(chunk.end, c.end) << c.input.toHex().toStdString();
        EXPECT_EQ(chunk.controls, c.controls) << c.input.toHex().toStdString();
    }
}

TEST(VoiceDataReceiver, SameResultWhateverTheReadBoundaries)
{
    // Every byte value, DLE doubled, then the end marker and a command.
    QByteArray audio;
    for (int i = 0; i < 256; ++i)
        audio.append(char(i));
    audio.append("\x10\x10\x10", 3);
    QByteArray shielded = audio;
    shielded.replace("\x10", "\x10\x10");
    const QByteArray stream = shielded
        + QByteArray("\x10\x03"
                     "ATH\r");

    for (qsizetype split = 1; split < stream.size(); ++split) {
        VoiceDataReceiver r;
        QByteArray got;
        qsizetype used = 0;
        End end = End::None;
        for (qsizetype at = 0; at < stream.size() && end == End::None; at += split) {
            const auto chunk = r.feed(stream.mid(at, split));
            got += chunk.audio;
            used = at + chunk.consumed;
            end = chunk.end;
        }
        ASSERT_EQ(end, End::Finish) << "split " << split;
        EXPECT_EQ(got, audio) << "split " << split;
        EXPECT_EQ(stream.mid(used), QByteArray("ATH\r")) << "split " << split;
    }
}
