#include "shared/contacts/ContactRecord.h"
#include "shared/contacts/ContactsFile.h"
#include "tests/support/TempHome.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun tool(const QStringList &args)
{
    QProcess p;
    p.start(binPath("quorvel-contacts"), args);
    ToolRun r;
    if (!p.waitForFinished(30000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

using F = ContactRecord::Field;

} // namespace

TEST(ContactsTool, AddListMatchDeleteOnTheRealFile)
{
    TempHome home;
    EXPECT_EQ(tool({ "add", "--name", "Area", "--number", "800", "--rule", "hangup" }).out, "1\n");
    EXPECT_EQ(tool({ "add", "--name", "Mum", "--number", "8001234", "--rule", "answer",
                     "--greeting", "hello", "--rings", "2", "--beep" })
                  .out,
              "2\n");
    const ToolRun dup = tool({ "add", "--name", "Again", "--number", "800" });
    EXPECT_EQ(dup.exitCode, 0);
    EXPECT_TRUE(dup.err.contains("record 1 already has the number 800")) << dup.err.toStdString();

    // What the service will read.
    ContactsFile file(home.path("Contactes.txt"));
    ASSERT_EQ(file.count(), 3);
    const ContactRecord mum = *file.read(2);
    EXPECT_EQ(mum.name(), "Mum");
    EXPECT_EQ(mum.answerMode(), "4");
    EXPECT_EQ(mum.field(F::PickUp), "1");
    EXPECT_EQ(mum.greeting(), "hello");
    EXPECT_EQ(mum.field(F::Rings), "2");
    EXPECT_EQ(mum.field(F::BeepFlag), "1");
    EXPECT_EQ(mum.eventsMode(), "1");
    EXPECT_EQ(file.read(1)->answerMode(), "2");

    EXPECT_EQ(tool({ "list" }).out,
              "1\tArea\t800\thangup\n"
              "2\tMum\t8001234\tanswer\n"
              "3\tAgain\t800\tdefault\n");
    const ToolRun hit = tool({ "match", "018001234" });
    EXPECT_EQ(hit.exitCode, 0);
    EXPECT_EQ(hit.out, "1\tArea\n") << "the first contained number wins";
    const ToolRun miss = tool({ "match", "12345" });
    EXPECT_EQ(miss.exitCode, 1);
    EXPECT_EQ(miss.out, "");

    EXPECT_EQ(tool({ "delete", "1" }).exitCode, 0);
    EXPECT_EQ(tool({ "match", "018001234" }).out, "1\tMum\n");
    EXPECT_EQ(file.count(), 2);
    EXPECT_NE(tool({ "delete", "3" }).exitCode, 0);
    EXPECT_NE(tool({ "delete", "x" }).exitCode, 0);
    EXPECT_EQ(file.count(), 2);
}

TEST(ContactsTool, RefusesBadValuesWithoutTouchingTheFile)
{
    TempHome home;
    const QStringList bad[] = {
        { "add", "--name", "X" },
        { "add", "--name", "X", "--number", "1", "--rule", "maybe" },
        { "add", "--name", "X", "--number", "1", "--greeting", "g" },
        { "add", "--name", "X", "--number", "1", "--rule", "answer", "--rings", "100" },
        { "add", "--name", QString(33, 'n'), "--number", "1" },
        { "add", "--name", "X", "--number", QString(41, '1') },
        { "add", "--name", "X", "--number" },
        { "frobnicate" },
    };
    for (const QStringList &args : bad) {
        const ToolRun r = tool(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty()) << args.join(' ').toStdString();
    }
    EXPECT_EQ(readFile(home.path("Contactes.txt")).size(), 0);
}

TEST(ContactsTool, ImportReportsBadLinesByNumberAndKeepsTheRest)
{
    TempHome home;
    const QString csv = home.path("block.csv");
    writeFile(csv,
              "name,number,rule\r\n"
              "Spam,0900,hangup\r\n"
              "\"Doe, Jane\",555 , answer\r\n"
              "only one field\r\n"
              "\r\n"
              "Odd,123,explode\r\n"
              "Nobody,,hangup\r\n"
              "\"open,1,default\r\n"
              "Jos\xE9,777\r\n");
    const ToolRun r = tool({ "import", csv });
    EXPECT_EQ(r.exitCode, 1) << "lines were skipped";
    EXPECT_EQ(r.out, "imported 3 contacts, skipped 4 lines\n");
    for (const char *line : { ":4:", ":6:", ":7:", ":8:" })
        EXPECT_TRUE(r.err.contains(line)) << line << " in " << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(":2:") || r.err.contains(":3:") || r.err.contains(":9:"));

    ContactsFile file(home.path("Contactes.txt"));
    ASSERT_EQ(file.count(), 3);
    EXPECT_EQ(file.read(2)->name(), "Doe, Jane");
    EXPECT_EQ(file.read(2)->callerNumber(), "555");
    EXPECT_EQ(file.read(2)->answerMode(), "4");
    EXPECT_EQ(file.read(3)->name(), QString::fromUtf8("José")) << "an old Windows-1252 list";
    EXPECT_EQ(file.read(3)->answerMode(), "1");

    // Export gives the same form back, and importing it reproduces the contacts.
    const ToolRun exported = tool({ "export" });
    EXPECT_EQ(exported.exitCode, 0);
    EXPECT_EQ(exported.out,
              QString::fromUtf8("Spam,0900,hangup\n\"Doe, Jane\",555,answer\n"
                                "José,777,default\n"));
    writeFile(home.path("again.csv"), exported.out.toUtf8());
    const ToolRun again = tool({ "import", home.path("again.csv") });
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(file.count(), 6);
    EXPECT_EQ(file.read(5)->name(), "Doe, Jane");

    EXPECT_EQ(tool({ "import", home.path("missing.csv") }).exitCode, 2);
}
