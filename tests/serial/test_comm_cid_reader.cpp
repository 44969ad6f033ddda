#include "service/serial/CommCidReader.h"

#include <QStringList>
#include <gtest/gtest.h>

using namespace quorvel;

namespace {

// What the line form hears, as one readable text: "offer", "cid(name|number)", "takeover@5".
QString render(const std::vector<CommCidReader::Step> &steps)
{
    QStringList out;
    for (const auto &step : steps) {
        switch (step.kind) {
        case CommCidReader::Step::Ring:
            break;
        case CommCidReader::Step::Offer:
            out << QStringLiteral("offer");
            break;
        case CommCidReader::Step::CallerId:
            out << QStringLiteral("cid(%1|%2)").arg(step.name, step.number);
            break;
        case CommCidReader::Step::Takeover:
            out << QStringLiteral("takeover@%1").arg(step.rings);
            break;
        }
    }
    return out.join(' ');
}

struct ReaderCase {
    const char *id;
    // Reads as they come off the port; a case may split a line or an escape across reads.
    std::vector<QByteArray> reads;
    QString expected;
    int rings;
};

// Captured from modems of both families (blank-equals-blank and tight spellings) and from
// exchanges that withhold the number, send the caller ID before the first ring, or report
// undecoded message data.
const ReaderCase kCases[] = {
    { "SpacedSpelling",
      { "\r\nRING\r\n", "\r\nDATE = 1211\r\nTIME = 0930\r\nNMBR = 5551234\r\nNAME = JOHN SMITH\r\n",
        "\r\nRING\r\n" },
      "offer cid(JOHN SMITH|5551234)",
      2 },
    { "TightSpelling",
      { "\r\nRING\r\n\r\nDATE=1211\r\nTIME=0930\r\nNMBR=5551234\r\nNAME=JOHN "
        "SMITH\r\n\r\nRING\r\n" },
      "offer cid(JOHN SMITH|5551234)",
      2 },
    { "WithheldNumber",
      { "\r\nRING\r\n\r\nDATE = 1211\r\nTIME = 0930\r\nNMBR = P\r\n\r\nRING\r\n" },
      "offer cid(UNKNOWN|P)",
      2 },
    { "OutOfArea",
      { "\r\nRING\r\n\r\nDATE=1211\r\nTIME=0930\r\nNMBR=O\r\nNAME=O\r\n\r\nRING\r\n" },
      "offer cid(O|O)",
      2 },
    { "FourDigitExtension",
      { "\r\nRING\r\n\r\nNMBR=1234\r\n\r\nRING\r\n" },
      "offer cid(UNKNOWN|1234)",
      2 },
    { "ElevenDigits",
      { "\r\nRING\r\n\r\nNMBR = 18005551234\r\nNAME = TOLL FREE\r\n\r\nRING\r\n" },
      "offer cid(TOLL FREE|18005551234)",
      2 },
    { "NameUtf8",
      { "\r\nRING\r\n\r\nNMBR = 5551234\r\nNAME = JOS\xC3\x89 M\xC3\x9CLLER\r\n\r\nRING\r\n" },
      QStringLiteral("offer cid(JOS\u00C9 M\u00DCLLER|5551234)"),
      2 },
    { "NameLatin1",
      { "\r\nRING\r\n\r\nNMBR=5551234\r\nNAME=JOS\xC9 M\xDCLLER\r\n\r\nRING\r\n" },
      QStringLiteral("offer cid(JOS\u00C9 M\u00DCLLER|5551234)"),
      2 },
    { "TimeOfFiveDigits",
      { "\r\nRING\r\n\r\nDATE = 1211\r\nTIME = 09305\r\nNMBR = 5551234\r\n\r\nRING\r\n" },
      "offer cid(UNKNOWN|5551234)",
      2 },
    { "DialableDirectoryNumber",
      { "\r\nRING\r\n\r\nDATE=1211\r\nTIME=0930\r\nDDN_NMBR= 5551234\r\n\r\nRING\r\n" },
      "offer cid(UNKNOWN|5551234)",
      2 },
    { "SeparatorWithoutEquals",
      { "\r\nRING\r\n\r\nNMBR:5551234\r\nNAME:JOHN\r\n\r\nRING\r\n" },
      "offer cid(JOHN|5551234)",
      2 },
    { "CallerIdBeforeFirstRing",
      { "\r\nDATE=1211\r\nTIME=0930\r\nNMBR=5551234\r\nNAME=EARLY BIRD\r\n", "\r\nRING\r\n",
        "\r\nRING\r\n" },
      "offer cid(EARLY BIRD|5551234)",
      2 },
    { "NoCallerIdBeforeSecondRing",
      { "\r\nRING\r\n", "\r\nRING\r\n" },
      "offer cid(UNKNOWN|UNKNOWN)",
      2 },
    { "TwoRingsInOneRead", { "\r\nRING\r\n\r\nRING\r\n" }, "offer cid(UNKNOWN|UNKNOWN)", 2 },
    { "CarriageReturnOnly", { "RING\rNMBR=5551234\rRING\r" }, "offer cid(UNKNOWN|5551234)", 2 },
    { "RingsUntilTakeover",
      { "\r\nRING\r\n", "\r\nRING\r\n", "\r\nRING\r\n", "\r\nRING\r\n", "\r\nRING\r\n" },
      "offer cid(UNKNOWN|UNKNOWN) takeover@4 takeover@5",
      5 },
    // "MESG=040150": reason-for-absence data of 11 characters, 12 with its line feed.
    { "MesgTwelveMarksNumberAbsent",
      { "\r\nRING\r\n\r\nMESG=040150\r\nNAME=JOHN\r\n\r\nRING\r\n" },
      "offer cid(JOHN|UNKNOWN)",
      2 },
    { "MesgTwelveAfterNumberKeepsIt",
      { "\r\nRING\r\n\r\nNMBR=5551234\r\nMESG=080150\r\n\r\nRING\r\n" },
      "offer cid(UNKNOWN|5551234)",
      2 },
    // A long MESG must not touch a name that was reported (single characters of the message
    // written over the name would leave one letter of it).
    { "MesgLongKeepsReportedName",
      { "\r\nRING\r\n\r\nNAME = JOHN SMITH\r\nNMBR = 5551234\r\nMESG = 0801500203414243\r\n"
        "\r\nRING\r\n" },
      "offer cid(JOHN SMITH|5551234)",
      2 },
    { "MesgLongWithoutName",
      { "\r\nRING\r\n\r\nMESG = 0801500203414243\r\n\r\nRING\r\n" },
      "offer cid(UNKNOWN|UNKNOWN)",
      2 },
    { "EscapeDropsShieldedByte",
      { "\r\nRI\x10XNG\r\n\r\nNMBR = 55\x10\x10"
        "51234\r\n\r\nRING\r\n" },
      "offer cid(UNKNOWN|5551234)",
      2 },
    { "EscapeAcrossReads",
      { "\r\nRING\r\n\r\nNAME = AB\x10", "ZC\r\n\r\nRING\r\n" },
      "offer cid(ABC|UNKNOWN)",
      2 },
    { "EscapedCarriageReturnDoesNotEndLine", { "\r\nRING\x10\r\nRING\r\n" }, "offer", 1 },
    { "ControlBytesLeaveTheValue",
      { "\r\nRING\r\n\r\nNAME = JO\x07HN\x01\r\nNMBR = \x1b"
        "5551234\r\n\r\nRING\r\n" },
      "offer cid(JOHN|5551234)",
      2 },
    { "ShortAndEmptyLinesAreHarmless",
      { "\r\nN\r\nNA\r\nNAM\r\nNAME\r\nNAME=\r\nNAME =   \r\nNMBR\r\nNMBR=\r\nMESG\r\nR\r\n"
        "\r\nRING\r\n\r\nRING\r\n" },
      "offer cid(UNKNOWN|UNKNOWN)",
      2 },
    { "ModemChatterIgnored",
      { "AT#CID=1\r\r\nOK\r\n\r\nERROR\r\n\r\nRING\r\n\r\nRING\r\n" },
      "offer cid(UNKNOWN|UNKNOWN)",
      2 },
    { "OverlongLineDroppedWhole",
      { "\r\nRING" + QByteArray(300, 'X') + "\r\n", "\r\nRING\r\n" },
      "offer",
      1 },
    { "NoiseWithoutCarriageReturn",
      { QByteArray(1000, '\x55'), QByteArray(1000, 'N'),
        "\r\nRING\r\n\r\nNMBR=5551234\r\n\r\nRING\r\n" },
      "offer cid(UNKNOWN|5551234)",
      2 },
};

std::vector<CommCidReader::Step> feedAll(CommCidReader &reader,
                                         const std::vector<QByteArray> &reads)
{
    std::vector<CommCidReader::Step> steps;
    for (const QByteArray &read : reads) {
        auto more = reader.feed(read);
        steps.insert(steps.end(), more.begin(), more.end());
    }
    return steps;
}

class ReaderTable : public ::testing::TestWithParam<ReaderCase> { };

TEST_P(ReaderTable, StepsAsReadByTheModem)
{
    const ReaderCase &c = GetParam();
    CommCidReader reader;
    EXPECT_EQ(render(feedAll(reader, c.reads)).toStdString(), c.expected.toStdString());
    EXPECT_EQ(reader.ringCount(), c.rings);
}

// The port may hand over one byte per read or everything at once: the steps are the same.
TEST_P(ReaderTable, SameStepsByteByByte)
{
    const ReaderCase &c = GetParam();
    std::vector<QByteArray> bytes;
    for (const QByteArray &read : c.reads) {
        for (const char b : read)
            bytes.push_back(QByteArray(1, b));
    }
    CommCidReader reader;
    EXPECT_EQ(render(feedAll(reader, bytes)).toStdString(), c.expected.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Spellings, ReaderTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ReaderCase> &info) {
                             return std::string(info.param.id);
                         });

TEST(CommCidReader, LineCapBoundary)
{
    // "\nNAME=" and 250 letters: 256 bytes, the longest line kept. One more byte drops it.
    const QByteArray longest = "\nNAME=" + QByteArray(250, 'A');
    ASSERT_EQ(longest.size(), CommCidReader::kMaxLine);
    CommCidReader kept;
    kept.feed("\r" + longest + "\r");
    EXPECT_EQ(kept.name(), QString(250, 'A'));
    EXPECT_EQ(kept.droppedLines(), 0);

    CommCidReader dropped;
    dropped.feed("\r" + longest + "B\r\nNAME=SHORT\r");
    EXPECT_EQ(dropped.name(), QStringLiteral("SHORT"));
    EXPECT_EQ(dropped.droppedLines(), 1);
}

TEST(CommCidReader, InitValsStartsTheNextCallClean)
{
    CommCidReader reader;
    reader.feed("\r\nRING\r\n\r\nNMBR=5551234\r\nNAME=JOHN\r\n\r\nRING\r\n\r\nRING\r\n");
    reader.initVals();
    EXPECT_EQ(reader.ringCount(), 0);
    EXPECT_EQ(reader.name(), QStringLiteral("UNKNOWN"));
    EXPECT_EQ(reader.number(), QStringLiteral("UNKNOWN"));
    EXPECT_EQ(render(reader.feed("\r\nRING\r\n\r\nRING\r\n")).toStdString(),
              "offer cid(UNKNOWN|UNKNOWN)");
}

TEST(CommCidReader, CallerIdWithoutRingIsPendingUntilTheFirstRing)
{
    CommCidReader reader;
    EXPECT_FALSE(reader.callerIdWithoutRing());
    EXPECT_TRUE(reader.feed("\r\nDATE=1211\r\nNMBR=5551234\r\n").empty());
    EXPECT_TRUE(reader.callerIdWithoutRing());
    reader.feed("\r\nRING\r\n");
    EXPECT_FALSE(reader.callerIdWithoutRing());
}

TEST(CommCidReader, LineValueCuts)
{
    struct Row {
        QByteArray line;
        int tag;
        QString value;
    };
    const Row rows[] = {
        { "NMBR = 5551234", 4, "5551234" },
        { "NMBR=5551234", 4, "5551234" },
        { "NMBR", 4, "" },
        { "NMBR=", 4, "" },
        { "NMB", 4, "" },
        { "NAME:JOHN", 4, "JOHN" },
        { "NAME JOHN SMITH", 4, "JOHN SMITH" },
        { "DDN_NMBR= 555", 8, "555" },
        { "NAME = A=B", 4, "A=B" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(CommCidReader::lineValue(row.line, row.tag), row.value) << row.line.constData();
}

} // namespace
