#include "shared/records/CallRecordFile.h"
#include "tests/support/TempHome.h"

#include <QProcess>
#include <QSet>
#include <gtest/gtest.h>

using namespace quorvel;
using namespace quorvel::test;

// The service appends while the desktop flags and deletes in the same day file: no call may be
// lost, doubled or torn.
TEST(RecordsStress, AppendsFlagsAndDeletesFromTwoProcesses)
{
    TempHome home;
    const QString path = home.path("Data/Log/2026/01/05/Data");
    const QString stop = home.path("stop");
    CallRecordFile file(path);

    QProcess desktop;
    desktop.start(binPath("stores_stress_helper"), { path, stop, "7" });
    ASSERT_TRUE(desktop.waitForReadyRead(30000));
    ASSERT_EQ(desktop.readLine().trimmed(), "ready");

    constexpr int kRecords = 5000;
    for (int id = 0; id < kRecords; ++id) {
        CallRecord r;
        r.setCallerName(QStringLiteral("Caller %1").arg(id));
        r.setCallerNumber(QString::number(id));
        r.setDate("1/5/26");
        r.setTime("10:00:00");
        r.setNotes(QStringLiteral("note %1 ").arg(id).repeated(20));
        ASSERT_GT(file.append(r), 0) << file.errorString().toStdString();
    }
    writeFile(stop, "stop");
    ASSERT_TRUE(desktop.waitForFinished(60000));
    ASSERT_EQ(desktop.exitCode(), 0);

    const QStringList report = QString::fromUtf8(desktop.readAllStandardOutput()).split('\n');
    ASSERT_GE(report.size(), 3);
    EXPECT_EQ(report[1], "torn 0") << "the desktop side never saw half a record";
    QSet<int> deleted;
    for (const QString &text : report[2].split(' ', Qt::SkipEmptyParts).mid(1)) {
        const int id = text.toInt();
        EXPECT_FALSE(deleted.contains(id)) << "deleted twice: " << id;
        deleted.insert(id);
    }
    EXPECT_GT(deleted.size(), 0);
    EXPECT_NE(report[0], "toggles 0");

    const QByteArray bytes = readFile(path);
    EXPECT_EQ(bytes.size() % CallRecord::kSize, 0);
    const QList<CallRecord> records = file.readAll();
    QList<int> expected;
    for (int id = 0; id < kRecords; ++id) {
        if (!deleted.contains(id))
            expected.append(id);
    }
    ASSERT_EQ(records.size(), expected.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        const CallRecord &r = records[i];
        const int id = expected[i];
        ASSERT_EQ(r.callerNumber(), QString::number(id)) << "position " << i;
        ASSERT_EQ(r.callerName(), QStringLiteral("Caller %1").arg(id));
        ASSERT_EQ(r.notes(), QStringLiteral("note %1 ").arg(id).repeated(20).left(256).trimmed());
        const char flag = r.bytes()[1];
        ASSERT_TRUE(flag == '\0' || flag == '0' || flag == '1');
    }
    std::printf("%s, %lld deleted, %lld left\n", qPrintable(report[0]),
                static_cast<long long>(deleted.size()), static_cast<long long>(records.size()));
}
