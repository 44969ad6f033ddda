#include "shared/contacts/ContactMatcher.h"
#include "shared/call/CallOptions.h"
#include "shared/contacts/ContactsFile.h"
#include "shared/settings/RegistryRoutines.h"
#include "tests/stores/StoresFixtures.h"
#include "tests/support/TempHome.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

using F = ContactRecord::Field;

ContactRecord contact(const QString &name, const QString &number, const QString &mode = "1")
{
    ContactRecord r;
    r.setField(F::Name, name);
    r.setField(F::CallerNumber, number);
    r.setField(F::AnswerMode, mode);
    r.setField(F::EventsMode, "1");
    return r;
}

// Puts the file's time well in the past, as it is when the desktop saved it long before.
void age(const QString &path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                              QFileDevice::FileModificationTime));
}

std::optional<qint64> matched(ContactMatcher &m, const QString &number)
{
    const auto r = m.match(number);
    return r ? std::optional<qint64>(r->recordNumber) : std::nullopt;
}

} // namespace

TEST(ContactMatcher, FirstContainedNumberInFileOrderWins)
{
    TempHome home;
    const QString path = home.path("Contactes.txt");
    ContactsFile file(path);
    file.appendMany({
        contact("Area", "800"), // 1
        contact("Exact", "800123"), // 2: never wins, record 1 is earlier
        contact("Shop", "555"), // 3
        contact("Padded", "  4711 "), // 4
        contact("Office", "0301234"), // 5
        contact("Anyone", ""), // 6: blank number, the catch-all at the end
    });
    // A record nobody wrote (zero bytes) after the catch-all takes nothing.
    writeFile(path, readFile(path) + zeros(ContactRecord::kSize));

    struct Case {
        const char *caller;
        std::optional<qint64> record;
    };
    const Case cases[] = {
        { "800123", 1 }, // the shorter, earlier number wins over the exact one
        { "1800999", 1 }, // containment, not prefix
        { "95551234", 3 }, // 555 after the first digit
        { "0471100", 4 }, // blanks around the stored number do not count
        { "0301234", 5 },
        { "030123", 6 }, // a stored number longer than the caller's: only the catch-all
        { "UNKNOWN", 6 }, // the catch-all takes every non-empty number
        { "", std::nullopt }, // no number: nothing matches, not even the catch-all
    };
    ContactMatcher matcher(path);
    for (const Case &c : cases) {
        EXPECT_EQ(matched(matcher, c.caller), c.record) << c.caller;
        EXPECT_EQ(ContactMatcher::scanMatch(file.file(), c.caller), c.record) << c.caller;
    }

    ContactRecord withoutCatchAll = *file.read(6);
    withoutCatchAll.setField(F::CallerNumber, "999");
    file.write(6, withoutCatchAll);
    EXPECT_EQ(matched(matcher, "030123"), std::nullopt);
    EXPECT_EQ(matched(matcher, "1999"), 6);
}

TEST(ContactMatcher, MissingOrEmptyFileMatchesNothing)
{
    TempHome home;
    ContactMatcher matcher(home.path("Contactes.txt"));
    EXPECT_EQ(matched(matcher, "123"), std::nullopt);
    writeFile(home.path("Contactes.txt"), {});
    EXPECT_EQ(matched(matcher, "123"), std::nullopt);
}

TEST(ContactMatcher, FindContactByNumberFillsTheRecordAndAppliesIt)
{
    TempHome home;
    ContactsFile file(home.path("Contactes.txt"));
    file.appendMany({ contact("Nuisance", "0900", "2"), contact("Friend", "4711", "3") });
    RegistryRoutines settings(home.path("settings.ini"));
    ContactMatcher matcher(file.path());

    CallOptions options;
    ContactRecord record;
    EXPECT_EQ(matcher.findContactByNumber("ACME", "0900111", options, record, settings), "1");
    EXPECT_EQ(record.name(), "Nuisance");
    EXPECT_TRUE(options.bHangUp);

    CallOptions untouched;
    ContactRecord none = contact("keep", "1");
    EXPECT_EQ(matcher.findContactByNumber("", "123", untouched, none, settings), "-1");
    EXPECT_EQ(none.name(), "keep");
    EXPECT_FALSE(untouched.bHangUp || untouched.bDoNothing);
    EXPECT_EQ(matcher.findContactByNumber("", "", untouched, none, settings), "-1");
}

TEST(ContactMatcher, KeepsItsIndexWhileTheFileIsUnchangedAndSeesEveryChange)
{
    TempHome home;
    const QString path = home.path("Contactes.txt");
    ContactsFile file(path);
    file.appendMany({ contact("A", "111"), contact("B", "222"), contact("C", "333") });
    age(path);

    ContactMatcher matcher(path);
    EXPECT_EQ(matched(matcher, "x222"), 2);
    EXPECT_EQ(matched(matcher, "x333"), 3);
    EXPECT_EQ(matched(matcher, "x444"), std::nullopt);
    EXPECT_EQ(matcher.indexBuilds(), 1) << "an unchanged file is read once";

    // The desktop rewrites a record in place: same size. Even with the old time put back,
    // the change is seen.
    ContactRecord b = *file.read(2);
    b.setField(F::CallerNumber, "444");
    ASSERT_TRUE(file.write(2, b));
    age(path);
    EXPECT_EQ(matched(matcher, "x444"), 2);
    EXPECT_EQ(matched(matcher, "x222"), std::nullopt);

    // Written just now (the time may not have moved within one tick): read it each time.
    b.setField(F::CallerNumber, "555");
    ASSERT_TRUE(file.write(2, b));
    EXPECT_EQ(matched(matcher, "x555"), 2);
    b.setField(F::CallerNumber, "666");
    ASSERT_TRUE(file.write(2, b));
    EXPECT_EQ(matched(matcher, "x666"), 2);

    // A file replaced by another of the same size.
    const QByteArray other
        = contact("Z", "999").bytes() + contact("Y", "111").bytes() + contact("X", "222").bytes();
    writeFile(path + ".new", other);
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(path + ".new", path));
    EXPECT_EQ(matched(matcher, "x222"), 3);
    const auto m = matcher.match("999");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->contact.name(), "Z");

    ASSERT_TRUE(QFile::remove(path));
    EXPECT_EQ(matched(matcher, "999"), std::nullopt);
}

TEST(ContactMatcher, IndexAnswersAsAScanOfTheFileOnRandomFiles)
{
    // Short numbers over few digits make many overlaps, repeats and nested numbers.
    QRandomGenerator rng(20260105);
    auto randomNumber = [&](int maxLen) {
        QString s;
        const int len = int(rng.bounded(maxLen + 1));
        for (int i = 0; i < len; ++i)
            s.append(QChar('0' + int(rng.bounded(4))));
        return s;
    };
    TempHome home;
    const QString path = home.path("Contactes.txt");
    ContactsFile file(path);
    ContactMatcher matcher(path);
    for (int round = 0; round < 20; ++round) {
        QByteArray bytes;
        const int records = 1 + int(rng.bounded(60));
        for (int i = 0; i < records; ++i) {
            const int kind = int(rng.bounded(20));
            if (kind == 0)
                bytes += zeros(ContactRecord::kSize); // never written
            else if (kind == 1)
                bytes += contact("blank", blanks(int(rng.bounded(3)))).bytes();
            else
                bytes += contact(QString("c%1").arg(i),
                                 blanks(int(rng.bounded(2))).append(randomNumber(5).toLatin1()))
                             .bytes();
        }
        // Sometimes a torn tail.
        if (rng.bounded(3) == 0)
            bytes.chop(int(rng.bounded(ContactRecord::kSize)));
        writeFile(path, bytes);
        for (int q = 0; q < 50; ++q) {
            const QString caller = randomNumber(9);
            ASSERT_EQ(matched(matcher, caller), ContactMatcher::scanMatch(file.file(), caller))
                << "round " << round << " caller " << caller.toStdString();
        }
    }
}
