#include "shared/modem/AtResult.h"
#include "shared/modem/CallerIdLine.h"
#include "shared/modem/CallerIdRecord.h"
#include "shared/modem/DleDecoder.h"
#include "shared/modem/FaxClassList.h"
#include "shared/modem/ModemIdentification.h"
#include "shared/modem/ModemLineSplitter.h"
#include "shared/modem/VoiceFormatList.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace quorvel;

namespace {

QList<QByteArray> splitAll(const QByteArray &bytes, int chunk = 0)
{
    ModemLineSplitter splitter;
    QList<QByteArray> lines;
    if (chunk <= 0)
        return splitter.feed(bytes);
    for (int i = 0; i < bytes.size(); i += chunk)
        lines += splitter.feed(bytes.mid(i, chunk));
    return lines;
}

// Runs captured modem output through splitter, caller-ID parser and record, as the driver does.
CallerIdRecord recordOf(const QByteArray &output)
{
    CallerIdRecord record;
    for (const QByteArray &line : splitAll(output))
        if (const auto cid = CallerIdLine::parse(line))
            record.apply(*cid);
    return record;
}

} // namespace

TEST(ModemLineSplitter, CutsCapturedOutputIntoLines)
{
    struct Case {
        const char *what;
        QByteArray bytes;
        QList<QByteArray> lines;
    };
    const Case cases[] = {
        { "verbose results with CR LF before and after",
          "\r\nOK\r\n\r\nRING\r\n",
          { "OK", "RING" } },
        { "CR only", "AT\rOK\r", { "AT", "OK" } },
        { "LF only", "RING\nRING\n", { "RING", "RING" } },
        { "padding blanks and tabs trimmed", "  NMBR = 5551234 \t\r\n", { "NMBR = 5551234" } },
        { "NUL and XON/XOFF around a reset dropped", QByteArray("\0O\x11K\x13\r\n", 7), { "OK" } },
        { "line with control noise skipped whole", "\r\nRI\x01\x02NG\r\nRING\r\n", { "RING" } },
        { "DEL counts as noise", "O\x7fK\r\nOK\r\n", { "OK" } },
        { "Latin-1 and UTF-8 bytes kept",
          "NAME = JOS\xC9\r\nNAME = JOS\xC3\x89\r\n",
          { "NAME = JOS\xC9", "NAME = JOS\xC3\x89" } },
        { "unfinished line waits", "OK\r\nRIN", { "OK" } },
    };
    for (const Case &c : cases) {
        EXPECT_EQ(splitAll(c.bytes), c.lines) << c.what;
        // The same bytes arriving one at a time give the same lines.
        EXPECT_EQ(splitAll(c.bytes, 1), c.lines) << c.what << " (byte by byte)";
    }
}

TEST(ModemLineSplitter, BoundsLineLengthAndCountsSkippedLines)
{
    ModemLineSplitter splitter(16);
    auto lines = splitter.feed(QByteArray(5000, 'x') + "\r\nOK\r\n");
    EXPECT_EQ(lines, QList<QByteArray> { "OK" });
    EXPECT_EQ(splitter.skippedLines(), 1);
    lines = splitter.feed("\x05garbage\r\n");
    EXPECT_TRUE(lines.isEmpty());
    EXPECT_EQ(splitter.skippedLines(), 2);
    splitter.feed("partial");
    EXPECT_TRUE(splitter.hasPartialLine());
    splitter.reset();
    EXPECT_EQ(splitter.feed("\r\nRING\r\n"), QList<QByteArray> { "RING" });
}

TEST(ModemAtResults, ClassifiesResultCodes)
{
    struct Case {
        const char *line;
        AtResult result;
    };
    const Case cases[] = {
        { "OK", AtResult::Ok },
        { "ok", AtResult::Ok },
        { "ERROR", AtResult::Error },
        { "+CME ERROR: 3", AtResult::Error },
        { "RING", AtResult::Ring },
        { "RING 1", AtResult::Ring },
        { "RINGA", AtResult::Ring },
        { "RINGING", AtResult::Ringing },
        { "VCON", AtResult::Vcon },
        { "CONNECT", AtResult::Connect },
        { "CONNECT 33600/ARQ", AtResult::Connect },
        { "NO CARRIER", AtResult::NoCarrier },
        { "BUSY", AtResult::Busy },
        { "NO DIALTONE", AtResult::NoDialtone },
        { "NO DIAL TONE", AtResult::NoDialtone },
        { "NO ANSWER", AtResult::NoAnswer },
        { "NMBR = 5551234", AtResult::Text },
        { "U.S. Robotics 56K FAX USB V1.2.23", AtResult::Text },
        { "OKAY", AtResult::Text },
        { "RINGER", AtResult::Text },
        { "0", AtResult::Text },
        { "CONNECTED", AtResult::Text },
    };
    for (const Case &c : cases)
        EXPECT_EQ(AtResults::classify(c.line), c.result) << c.line;
    EXPECT_FALSE(AtResults::isFinal(AtResult::Ring));
    EXPECT_FALSE(AtResults::isFinal(AtResult::Text));
    EXPECT_TRUE(AtResults::isFinal(AtResult::Vcon));
    EXPECT_TRUE(AtResults::isFailure(AtResult::NoCarrier));
    EXPECT_FALSE(AtResults::isFailure(AtResult::Connect));
}

TEST(ModemCallerIdLine, ParsesEveryTagInEverySpelling)
{
    using Tag = CallerIdLine::Tag;
    struct Case {
        const char *line;
        Tag tag;
        QByteArray value;
    };
    const Case cases[] = {
        { "NMBR = 5551234", Tag::Number, "5551234" }, // USR 5637
        { "NMBR=5551234", Tag::Number, "5551234" }, // Conexant CX93001
        { "NMBR= 5551234", Tag::Number, "5551234" }, // Agere
        { "NMBR: 5551234", Tag::Number, "5551234" },
        { "NMBR =   5551234   ", Tag::Number, "5551234" },
        { "DDN_NMBR= 18005551234", Tag::DdnNumber, "18005551234" },
        { "DDN_NMBR = 4165551234", Tag::DdnNumber, "4165551234" },
        { "NAME = JOHN SMITH", Tag::Name, "JOHN SMITH" },
        { "NAME=JOHN SMITH", Tag::Name, "JOHN SMITH" },
        { "DATE = 1211", Tag::Date, "1211" },
        { "DATE=1211", Tag::Date, "1211" },
        { "TIME = 0930", Tag::Time, "0930" },
        { "TIME=09301", Tag::Time, "09301" },
        { "MESG = 080150", Tag::Message, "080150" },
        { "NMBR = ", Tag::Number, "" },
        { "nmbr = 5551234", Tag::Number, "5551234" },
    };
    for (const Case &c : cases) {
        const auto parsed = CallerIdLine::parse(c.line);
        ASSERT_TRUE(parsed.has_value()) << c.line;
        EXPECT_EQ(parsed->tag, c.tag) << c.line;
        EXPECT_EQ(parsed->value, c.value) << c.line;
    }
    for (const char *notCid : { "RING", "OK", "NMBR", "NMBRX = 1", "NAMEJOHN", "NUMBER = 5551234",
                                "CONNECT", "ANAME = X" })
        EXPECT_FALSE(CallerIdLine::parse(notCid).has_value()) << notCid;
}

TEST(ModemCallerIdRecord, GathersCapturedCallerIdBlocks)
{
    struct Case {
        const char *what;
        QByteArray output;
        QString name;
        QString number;
        bool complete;
    };
    const Case cases[] = {
        { "USR 5637",
          "\r\nRING\r\n\r\nDATE = 1211\r\nTIME = 0930\r\nNMBR = 5551234\r\n"
          "NAME = JOHN SMITH\r\n\r\nRING\r\n",
          "JOHN SMITH", "5551234", true },
        { "Conexant",
          "\r\nRING\r\n\r\nDATE=1211\r\nTIME=0930\r\nNMBR=5551234\r\nNAME=JOHN SMITH\r\n",
          "JOHN SMITH", "5551234", true },
        { "Agere with DDN_NMBR",
          "RING\r\n\r\nDATE= 0321\r\nTIME= 1405\r\nDDN_NMBR= 18005551234\r\n"
          "NAME= ACME CORP\r\n",
          "ACME CORP", "18005551234", true },
        { "withheld number, no name", "NMBR = P\r\n", "PRIVATE", "UNKNOWN", false },
        { "out of area number and name", "NMBR = O\r\nNAME = O\r\n", "OUT OF AREA", "UNKNOWN",
          true },
        { "number but name withheld", "NMBR=5551234\r\nNAME=P\r\n", "PRIVATE", "5551234", true },
        { "name absent reason in MESG", "NMBR = 5551234\r\nMESG = 080150\r\n", "PRIVATE", "5551234",
          true },
        { "number absent reason in MESG", "MESG = 04014F\r\nNAME = JOHN SMITH\r\n", "JOHN SMITH",
          "UNKNOWN", true },
        { "MESG that is not a parameter block", "NMBR = 5551234\r\nMESG = HELLO\r\n", "UNKNOWN",
          "5551234", false },
        { "four digits", "NMBR = 1234\r\n", "UNKNOWN", "1234", false },
        { "eleven digits", "NMBR = 14165551234\r\n", "UNKNOWN", "14165551234", false },
        { "separators dropped", "NMBR = (416) 555-1234\r\n", "UNKNOWN", "4165551234", false },
        { "NMBR preferred to DDN_NMBR", "DDN_NMBR = 14165551234\r\nNMBR = 5551234\r\n", "UNKNOWN",
          "5551234", false },
        { "UTF-8 accented name", "NMBR=5551234\r\nNAME=JOS\xC3\x89 M\xC3\x9CLLER\r\n",
          QString::fromUtf8("JOS\xC3\x89 M\xC3\x9CLLER"), "5551234", true },
        { "Latin-1 accented name", "NMBR=5551234\r\nNAME=JOS\xC9 M\xDCLLER\r\n",
          QString::fromUtf8("JOS\xC3\x89 M\xC3\x9CLLER"), "5551234", true },
        { "garbage around the block",
          "\x8f\xfe\x01\x02\r\nNMBR = 5551234\r\n\x03\x04junk\r\n"
          "NAME = JOHN SMITH\r\n",
          "JOHN SMITH", "5551234", true },
        { "empty values mean nothing", "NMBR = \r\nNAME = \r\n", "UNKNOWN", "UNKNOWN", false },
    };
    for (const Case &c : cases) {
        const CallerIdRecord r = recordOf(c.output);
        EXPECT_EQ(r.callerName(), c.name) << c.what;
        EXPECT_EQ(r.callerNumber(), c.number) << c.what;
        EXPECT_EQ(r.isComplete(), c.complete) << c.what;
    }
}

TEST(ModemCallerIdRecord, ChecksDateAndTimeWithoutLosingTheCaller)
{
    CallerIdRecord r = recordOf("DATE = 1211\r\nTIME = 0930\r\nNMBR = 5551234\r\n");
    EXPECT_TRUE(r.dateValid());
    EXPECT_TRUE(r.timeValid());
    // A five-digit time (a line hit) is kept as sent and flagged; the number still counts.
    r = recordOf("DATE = 1341\r\nTIME = 09301\r\nNMBR = 5551234\r\n");
    EXPECT_EQ(r.time(), "09301");
    EXPECT_FALSE(r.timeValid());
    EXPECT_FALSE(r.dateValid());
    EXPECT_EQ(r.callerNumber(), "5551234");
    r = recordOf("TIME = 2460\r\n");
    EXPECT_FALSE(r.timeValid());
    EXPECT_FALSE(r.isEmpty());
    EXPECT_TRUE(CallerIdRecord().isEmpty());
}

TEST(ModemDleDecoder, SeparatesEventsFromBytesAcrossReads)
{
    DleDecoder decoder;
    auto items = decoder.feed("OK\r\n\x10"
                              "5\x10#");
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].event, 0);
    EXPECT_EQ(items[0].data, "OK\r\n");
    EXPECT_EQ(items[1].event, '5');
    EXPECT_EQ(items[2].event, '#');

    // DLE at the end of one read, its character in the next.
    items = decoder.feed("ab\x10");
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].data, "ab");
    EXPECT_TRUE(decoder.hasPendingDle());
    items = decoder.feed("bRING");
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].event, 'b');
    EXPECT_EQ(items[1].data, "RING");

    // DLE DLE is a data byte, also when split; DLE ETX ends data.
    decoder.feed("x\x10");
    items = decoder.feed(QByteArray("\x10y\x10\x03", 4));
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].data, QByteArray("\x10y"));
    EXPECT_EQ(items[1].event, Dle::kEtx);

    EXPECT_TRUE(Dle::isHangupEvent('b'));
    EXPECT_TRUE(Dle::isHangupEvent('d'));
    EXPECT_TRUE(Dle::isHangupEvent('s'));
    EXPECT_TRUE(Dle::isHangupEvent('q'));
    EXPECT_FALSE(Dle::isHangupEvent('5'));
    for (const char d : QByteArray("0123456789*#ABCD"))
        EXPECT_TRUE(Dle::isDtmfDigit(d)) << d;
    EXPECT_FALSE(Dle::isDtmfDigit('b'));
}

TEST(ModemDleEncoder, DoublesDleAndSurvivesTheDecoder)
{
    EXPECT_EQ(Dle::escape(QByteArray("\x01\x10\x02", 3)), QByteArray("\x01\x10\x10\x02", 4));
    EXPECT_EQ(Dle::escape(QByteArray("\x10\x10", 2)), QByteArray("\x10\x10\x10\x10", 4));
    EXPECT_EQ(Dle::endOfData(), QByteArray("\x10\x03", 2));

    // Any audio, escaped and ended, decodes to the same audio in any read sizes.
    QByteArray audio(20000, '\0');
    QRandomGenerator rng(42);
    for (char &c : audio)
        c = static_cast<char>(rng.bounded(256));
    audio[100] = Dle::kDle;
    audio[101] = Dle::kEtx;
    const QByteArray wire = Dle::escape(audio) + Dle::endOfData();
    for (const int chunk : { 1, 2, 7, 4096 }) {
        DleDecoder decoder;
        QByteArray decoded;
        int etx = 0;
        for (int i = 0; i < wire.size(); i += chunk)
            for (const auto &item : decoder.feed(wire.mid(i, chunk))) {
                if (item.event == Dle::kEtx)
                    ++etx;
                else
                    decoded += item.data;
                EXPECT_TRUE(item.event == 0 || item.event == Dle::kEtx);
            }
        EXPECT_EQ(decoded, audio) << chunk;
        EXPECT_EQ(etx, 1) << chunk;
    }
}

TEST(ModemVoiceFormatList, ChoosesTheBestEightKilohertzFormat)
{
    struct Case {
        const char *what;
        QList<QByteArray> lines;
        int chosenId; // -1: none usable
        std::optional<VoiceFormat> format;
    };
    const Case cases[] = {
        { "USR 5637",
          { "128,\"8-BIT LINEAR\",8,0,(8000),(0),(0)", "129,\"16-BIT LINEAR\",16,0,(8000),(0),(0)",
            "130,\"8-BIT ALAW\",8,0,(8000),(0),(0)", "131,\"8-BIT ULAW\",8,0,(8000),(0),(0)",
            "OK" },
          129,
          VoiceFormat::Linear16 },
        { "USR short form",
          { "128,\"8-BIT LINEAR\",(7200,8000,11025)", "129,\"16-BIT LINEAR\",(7200,8000,11025)",
            "132,\"IMA ADPCM\",(7200,8000,11025)" },
          129,
          VoiceFormat::Linear16 },
        { "Conexant",
          { "0,\"SIGNED PCM\",8,0,(7200,8000,11025),(0),(0)",
            "1,\"UNSIGNED PCM\",8,0,(7200,8000,11025),(0),(0)", "4,\"ULAW\",8,0,(8000),(0),(0)",
            "5,\"ALAW\",8,0,(8000),(0),(0)", "129,\"IMA ADPCM\",4,0,(7200,8000,11025),(0),(0)" },
          4,
          VoiceFormat::MuLaw },
        { "G.711 spelling, A-law only",
          { "5,\"G.711A\",8,0,(8000),(0),(0)", "1,\"UNSIGNED PCM\",8,0,(8000),(0),(0)" },
          5,
          VoiceFormat::ALaw },
        { "8-bit linear only",
          { "+VSM: 128,\"8-BIT LINEAR\",8,0,(7200-11025),(0),(0)" },
          128,
          VoiceFormat::Linear8 },
        { "16-bit signed PCM by bits",
          { "0,\"SIGNED PCM\",16,0,(8000),(0),(0)" },
          0,
          VoiceFormat::Linear16 },
        { "only ADPCM", { "132,\"IMA ADPCM\",4,0,(8000),(0),(0)" }, -1, std::nullopt },
        { "no 8 kHz", { "129,\"16-BIT LINEAR\",16,0,(7200,11025),(0),(0)" }, -1, std::nullopt },
        { "signed 8-bit only", { "0,\"SIGNED PCM\",8,0,(8000),(0),(0)" }, -1, std::nullopt },
        { "noise",
          { "AT+VSM=?", "garbage", "ERROR", ",,,", "x,\"16-BIT LINEAR\",(8000)" },
          -1,
          std::nullopt },
    };
    for (const Case &c : cases) {
        const auto chosen = VoiceFormatList::choose(VoiceFormatList::parse(c.lines));
        if (c.chosenId < 0) {
            EXPECT_FALSE(chosen.has_value()) << c.what;
            continue;
        }
        ASSERT_TRUE(chosen.has_value()) << c.what;
        EXPECT_EQ(chosen->id, c.chosenId) << c.what;
        EXPECT_EQ(chosen->format, c.format) << c.what;
    }
    const auto usr = VoiceFormatList::parseLine("128,\"8-BIT LINEAR\",(7200,8000,11025)");
    ASSERT_TRUE(usr);
    EXPECT_EQ(usr->name, "8-BIT LINEAR");
    EXPECT_EQ(usr->bits, 8);
    EXPECT_TRUE(usr->supportsRate(11025));
    EXPECT_FALSE(usr->supportsRate(9600));
}

TEST(ModemFaxClassList, ParsesClassLists)
{
    struct Case {
        QList<QByteArray> lines;
        QStringList classes;
        bool voice;
    };
    const Case cases[] = {
        { { "0,1,8", "OK" }, { "0", "1", "8" }, true },
        { { "0,1,1.0,2,8" }, { "0", "1", "1.0", "2", "8" }, true },
        { { "(0-2,8)" }, { "0", "1", "2", "8" }, true },
        { { "+FCLASS: 0,1,2" }, { "0", "1", "2" }, false },
        { { "0,1,2.0,8.0" }, { "0", "1", "2.0", "8.0" }, true },
        { { "AT+FCLASS=?", "0,1,8" }, { "0", "1", "8" }, true },
        { { "ERROR" }, {}, false },
        { { "0-99999" }, {}, false },
    };
    for (const Case &c : cases) {
        const QStringList classes = FaxClassList::parse(c.lines);
        EXPECT_EQ(classes, c.classes) << c.lines.join('|').constData();
        EXPECT_EQ(FaxClassList::hasVoice(classes), c.voice) << c.lines.join('|').constData();
    }
}

TEST(ModemIdentification, NamesTheModemWithItsPort)
{
    using namespace ModemIdentification;
    EXPECT_EQ(answerText({ "U.S. Robotics" }), "U.S. Robotics");
    EXPECT_EQ(answerText({ "+FMI: \"CONEXANT\"" }), "CONEXANT");
    EXPECT_EQ(answerText({ "  ", "---", "  CONEXANT   ACF  " }), "CONEXANT ACF");
    EXPECT_EQ(answerText({ "OK" }), "");
    EXPECT_EQ(answerText({ QByteArray(200, 'A') }).size(), 64);

    const QString path = "/dev/ttyACM0";
    EXPECT_EQ(deviceName("U.S. Robotics", "USR5637", "", "", path),
              "U.S. Robotics USR5637 (/dev/ttyACM0)");
    EXPECT_EQ(deviceName("CONEXANT", "CONEXANT CX93001", "", "", path),
              "CONEXANT CX93001 (/dev/ttyACM0)");
    EXPECT_EQ(deviceName("", "", "CX93001-EIS_V0.2002-V92", "56000", path),
              "CX93001-EIS_V0.2002-V92 (/dev/ttyACM0)");
    EXPECT_EQ(deviceName("", "", "", "5601", path), "5601 (/dev/ttyACM0)");
    EXPECT_EQ(deviceName("", "", "", "", path), "Voice modem (/dev/ttyACM0)");
}
