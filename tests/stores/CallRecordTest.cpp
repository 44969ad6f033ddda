#include "shared/records/CallRecord.h"
#include "shared/common/DataHome.h"
#include "shared/records/CallRecordFile.h"
#include "tests/stores/StoresFixtures.h"
#include "tests/support/TempHome.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// A record as the service fills it at the end of a call.
CallRecord serviceRecord(const QString &name, const QString &number)
{
    CallRecord r;
    r.setTime("10:15:30");
    r.setCallerName(name);
    r.setCallerNumber(number);
    r.setDate("1/5/26");
    r.setDuration("0:00:00");
    r.setLine("0");
    r.setReserved("0");
    r.setResult(name + " (Hang Up)");
    r.setCallKind("0");
    return r;
}

QByteArray serviceImage()
{
    return zeros(1) // message mark: never written
        + zeros(1) // user flag: never written
        + "0 " // call kind
        + padded("Alice", 32) // caller name
        + padded("5551234", 32) // caller number
        + padded("1/5/26", 50) // date
        + padded("10:15:30", 16) // time
        + padded("0:00:00", 10) // duration
        + "0 " // line
        + "0" // reserved mark
        + padded("Alice (Hang Up)", 64) // result
        + zeros(256); // notes: never written
}

QByteArray fileOf(const QList<QByteArray> &records)
{
    QByteArray out;
    for (const QByteArray &r : records)
        out += r;
    return out;
}

CallRecord numbered(int i)
{
    return serviceRecord(QStringLiteral("Caller %1").arg(i), QString::number(1000 + i));
}

} // namespace

TEST(CallRecord, ServiceRecordMatchesTheStoredLayoutByteForByte)
{
    const QByteArray image = serviceImage();
    ASSERT_EQ(image.size(), CallRecord::kSize);
    EXPECT_EQ(serviceRecord("Alice", "5551234").bytes(), image);

    const CallRecord back = CallRecord::fromBytes(image);
    EXPECT_EQ(back.callerName(), "Alice");
    EXPECT_EQ(back.callerNumber(), "5551234");
    EXPECT_EQ(back.date(), "1/5/26");
    EXPECT_EQ(back.time(), "10:15:30");
    EXPECT_EQ(back.duration(), "0:00:00");
    EXPECT_EQ(back.line(), "0");
    EXPECT_EQ(back.result(), "Alice (Hang Up)");
    EXPECT_EQ(back.callKind(), "0");
    EXPECT_EQ(back.messageMark(), "");
    EXPECT_FALSE(back.isWritten(CallRecord::Field::Notes));
    EXPECT_TRUE(back.isWritten(CallRecord::Field::Result));
}

TEST(CallRecord, ReadersStripBlanksAndZeroBytesAndReadOldFilesAsWindows1252)
{
    // An older installation's record: Windows-1252 text, blanks in front, zero bytes behind.
    QByteArray image = zeros(CallRecord::kSize);
    image.replace(4, 8, QByteArray("  Jos\xE9\0\0", 8));
    image.replace(147, 10, QByteArray("\x80 5 paid ", 10));
    image.replace(211, 5, QByteArray("  \0 x", 5));
    const CallRecord r = CallRecord::fromBytes(image);
    EXPECT_EQ(r.callerName(), QString::fromUtf8("José"));
    EXPECT_EQ(r.result(), QString::fromUtf8("€ 5 paid"));
    EXPECT_EQ(r.notes(), QString::fromUtf8("x")) << "leading blanks and zero bytes both go";

    // A short image (the torn end of a file) reads with zero bytes where it ends.
    const CallRecord shortOne = CallRecord::fromBytes(serviceImage().left(68));
    EXPECT_EQ(shortOne.callerNumber(), "5551234");
    EXPECT_EQ(shortOne.date(), "");
    EXPECT_EQ(shortOne.bytes().size(), CallRecord::kSize);
}

TEST(CallRecord, TextIsCutAtACharacterBoundaryAndNotesAtTheirWidth)
{
    CallRecord r;
    // 31 ASCII bytes and a two-byte character: the character does not fit and goes whole.
    const QString name = QString(31, 'a') + QString::fromUtf8("é");
    r.setCallerName(name);
    const QByteArray stored = r.bytes().mid(4, 32);
    EXPECT_EQ(stored, QByteArray(31, 'a') + ' ');
    EXPECT_EQ(r.callerName(), QString(31, 'a'));

    r.setNotes(QString(300, 'n'));
    EXPECT_EQ(r.notes().size(), 256);
    EXPECT_EQ(r.bytes().size(), CallRecord::kSize)
        << "a long value never spills into the next field";

    // Three-byte characters: 256 / 3 = 85 whole ones and one blank.
    r.setNotes(QString(100, QChar(0x20AC)));
    EXPECT_EQ(r.notes(), QString(85, QChar(0x20AC)));
    EXPECT_EQ(r.bytes().right(1), " ");
}

TEST(CallRecord, MessageFileNameFollowsTheNamingRuleAndStaysInItsFolder)
{
    CallRecord r;
    r.setCallerName("Alice");
    r.setCallerNumber("5551234");
    r.setDate("1/5/2026");
    r.setTime("10:15:30 PM");
    EXPECT_EQ(r.messageFileName(), "Alice_5551234_1-5-2026_10-15-30 PM.wav");

    // Caller-ID text is outside input: it must not name a path elsewhere.
    r.setCallerName("../../etc");
    r.setCallerNumber("a/b\\c");
    EXPECT_EQ(r.messageFileName(), "..-..-etc_a-b-c_1-5-2026_10-15-30 PM.wav");
    EXPECT_FALSE(r.messageFileName().contains('/'));
}

TEST(CallRecordFile, DayFolderComesFromTheDateAndIsCreatedWithItsParents)
{
    EXPECT_EQ(CallRecordFile::dayFolder(QDate(2026, 1, 5)), "Data/Log/2026/01/05");
    EXPECT_EQ(CallRecordFile::dayFolder(QDate(999, 12, 31)), "Data/Log/0999/12/31");
    EXPECT_EQ(CallRecordFile::dayFolder(QDate()), "");

    TempHome home;
    const DataHome dataHome(home.home()); // no Data/Log yet: nothing is made in advance
    CallRecordFile file = CallRecordFile::forDay(dataHome, QDate(2026, 1, 5));
    EXPECT_EQ(file.path(), home.path("Data/Log/2026/01/05/Data"));
    EXPECT_EQ(file.append(serviceRecord("Alice", "5551234")), 1);
    EXPECT_EQ(readFile(file.path()), serviceImage())
        << "the first call of a day: one record, 467 bytes";

    EXPECT_TRUE(CallRecordFile::ensureDayFolder(dataHome, QDate(2026, 2, 1)));
    EXPECT_TRUE(QFileInfo(home.path("Data/Log/2026/02/01")).isDir());
    EXPECT_FALSE(CallRecordFile::ensureDayFolder(dataHome, QDate()));
    EXPECT_EQ(CallRecordFile::forDay(dataHome, QDate()).append(CallRecord()), 0);
}

TEST(CallRecordFile, AppendReadRewriteInFileOrder)
{
    TempHome home;
    CallRecordFile file(home.path("Data/Data"));
    EXPECT_EQ(file.count(), 0);
    EXPECT_FALSE(file.read(1).has_value());
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(file.append(numbered(i)), i);
    EXPECT_EQ(file.count(), 3);
    EXPECT_EQ(file.read(2)->callerName(), "Caller 2");
    EXPECT_FALSE(file.read(0).has_value());
    EXPECT_FALSE(file.read(4).has_value());

    CallRecord edited = *file.read(2);
    edited.setNotes(QString(300, 'x'));
    ASSERT_TRUE(file.rewrite(2, edited));
    EXPECT_EQ(file.read(2)->notes(), QString(256, 'x'));
    EXPECT_EQ(file.read(3)->callerName(), "Caller 3");
    EXPECT_EQ(readFile(file.path()).size(), 3 * CallRecord::kSize);

    const QByteArray before = readFile(file.path());
    EXPECT_FALSE(file.rewrite(4, numbered(9))) << "rewrite is in place only";
    EXPECT_EQ(readFile(file.path()), before);
    EXPECT_EQ(file.readAll().size(), 3);
    EXPECT_EQ(CallRecordFile::parse(before), file.readAll());
}

TEST(CallRecordFile, SettingTheFlagChangesExactlyOneByte)
{
    TempHome home;
    CallRecordFile file(home.path("Data/Data"));
    for (int i = 1; i <= 3; ++i)
        file.append(numbered(i));
    const QByteArray before = readFile(file.path());
    ASSERT_TRUE(file.setFlag(2, true));
    const QByteArray after = readFile(file.path());
    ASSERT_EQ(after.size(), before.size());
    int changed = 0;
    for (int i = 0; i < after.size(); ++i)
        changed += after[i] != before[i];
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(after[CallRecord::kSize + 1], '1');
    EXPECT_EQ(file.read(2)->userFlag(), "1");
    ASSERT_TRUE(file.setFlag(2, false));
    EXPECT_EQ(file.read(2)->userFlag(), "0");
    EXPECT_FALSE(file.setFlag(4, true));
}

TEST(CallRecordFile, DeleteMovesLaterRecordsDownAndShortensTheFile)
{
    const QList<QByteArray> r = { numbered(1).bytes(), numbered(2).bytes(), numbered(3).bytes() };
    struct Case {
        int remove;
        QList<QByteArray> left;
    };
    const Case cases[] = {
        { 1, { r[1], r[2] } },
        { 2, { r[0], r[2] } },
        { 3, { r[0], r[1] } },
    };
    for (const Case &c : cases) {
        TempHome home;
        const QString path = home.path("Data/Data");
        writeFile(path, fileOf(r));
        CallRecordFile file(path);
        ASSERT_TRUE(file.remove(c.remove)) << c.remove;
        EXPECT_EQ(readFile(path), fileOf(c.left)) << "deleting record " << c.remove;
    }

    TempHome home;
    CallRecordFile file(home.path("Data/Data"));
    EXPECT_FALSE(file.remove(1)) << "missing file";
    file.append(numbered(1));
    EXPECT_FALSE(file.remove(2));
    ASSERT_TRUE(file.remove(1));
    EXPECT_EQ(readFile(file.path()).size(), 0);
}

TEST(CallRecordFile, PartialRecordsCountToTheNearestWholeRecord)
{
    const QByteArray one = numbered(1).bytes();
    const QByteArray two = numbered(2).bytes();
    struct Case {
        int tail; // bytes of record 2 present after record 1
        qint64 count; // records the file holds
        qint64 appendsAt; // where the next record goes
    };
    const Case cases[]
        = { { 0, 1, 2 }, { 100, 1, 2 }, { 233, 1, 2 }, { 234, 2, 3 }, { 466, 2, 3 } };
    for (const Case &c : cases) {
        TempHome home;
        const QString path = home.path("Data/Data");
        writeFile(path, one + two.left(c.tail));
        CallRecordFile file(path);
        EXPECT_EQ(file.count(), c.count) << "tail " << c.tail;
        EXPECT_EQ(file.readAll().size(), c.count);
        if (c.count == 2) {
            // The partly written record reads with zero bytes where the file ends.
            const CallRecord partial = *file.read(2);
            EXPECT_EQ(partial.bytes(), two.left(c.tail) + zeros(CallRecord::kSize - c.tail));
        }
        EXPECT_EQ(file.append(numbered(3)), c.appendsAt) << "tail " << c.tail;
        const QByteArray after = readFile(path);
        EXPECT_EQ(after.size(), c.appendsAt * CallRecord::kSize);
        EXPECT_EQ(after.right(CallRecord::kSize), numbered(3).bytes());
        EXPECT_EQ(after.left(CallRecord::kSize), one);
    }

    // Deleting before a partial last record completes it with zero bytes, never with stale ones.
    TempHome home;
    const QString path = home.path("Data/Data");
    writeFile(path, one + two + numbered(3).bytes().left(300));
    CallRecordFile file(path);
    ASSERT_TRUE(file.remove(1));
    EXPECT_EQ(readFile(path), two + numbered(3).bytes().left(300) + zeros(CallRecord::kSize - 300));

    // The partial record itself can be deleted too.
    ASSERT_EQ(file.count(), 2);
    writeFile(path, one + two.left(300));
    ASSERT_TRUE(file.remove(2));
    EXPECT_EQ(readFile(path), one);
}
