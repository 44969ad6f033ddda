#include "shared/common/DataHome.h"
#include "shared/settings/RegistryRoutines.h"
#include "shared/settings/SettingsTree.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "tests/settings/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::binPath;
using quorvel::test::TempHome;

namespace {

// Two programs write the same section at once while this one keeps reading it: no write may be
// lost, and no read may ever see a half-written file.
void writeConcurrently(const QString &file, int perWriter)
{
    const QString section = QStringLiteral("Stress\\Shared");
    RegistryRoutines seed(file);
    seed.setSubkey(QStringLiteral("Language"));
    ASSERT_TRUE(seed.setRegistryValue(QStringLiteral("Select"), QStringLiteral("eng.txt")));

    QProcess a;
    QProcess b;
    a.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    b.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QString writer = binPath(QStringLiteral("settings_stress_writer"));
    const QString count = QString::number(perWriter);
    a.start(writer, { file, section, QStringLiteral("A"), count });
    b.start(writer, { file, section, QStringLiteral("B"), count });
    ASSERT_TRUE(a.waitForStarted(10000));
    ASSERT_TRUE(b.waitForStarted(10000));

    RegistryRoutines reader(file);
    reader.setSubkey(section);
    int lastCount = 0;
    int reads = 0;
    QElapsedTimer limit;
    limit.start();
    while ((a.state() != QProcess::NotRunning || b.state() != QProcess::NotRunning)
           && limit.elapsed() < 100000) {
        const QStringList names = reader.enumRegistryValues(section);
        ASSERT_TRUE(reader.lastReadProblems().isEmpty())
            << reader.lastReadProblems().join(u'\n').toStdString();
        ASSERT_GE(names.size(), lastCount) << "a value went missing";
        lastCount = int(names.size());
        reader.setSubkey(QStringLiteral("Language"));
        ASSERT_EQ(reader.getRegistryValue(QStringLiteral("Select")), QStringLiteral("eng.txt"));
        reader.setSubkey(section);
        ++reads;
        // Give the writers the processor between samples.
        // (QProcess only notices an exit inside a wait, so wait on each in turn.)
        if (a.state() != QProcess::NotRunning)
            a.waitForFinished(2);
        else
            b.waitForFinished(2);
    }
    for (QProcess *p : { &a, &b }) {
        if (p->state() != QProcess::NotRunning) {
            ASSERT_TRUE(p->waitForFinished(10000));
        }
    }
    EXPECT_EQ(a.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitCode(), 0);

    RegistryRoutines check(file);
    check.setSubkey(section);
    EXPECT_TRUE(check.lastReadProblems().isEmpty());
    const QStringList names = check.enumRegistryValues(section);
    EXPECT_EQ(names.size(), 2 * perWriter);
    int missing = 0;
    for (const char *prefix : { "A", "B" }) {
        for (int i = 0; i < perWriter; ++i) {
            const QString name = QString::fromLatin1(prefix) + QString::number(i);
            const auto v = check.getRegistryValue(name);
            if (v != QString::fromLatin1(prefix) + u'-' + QString::number(i))
                ++missing;
        }
    }
    EXPECT_EQ(missing, 0);
    // Each writer's own values stay in the order it wrote them.
    QStringList inOrder;
    for (int i = 0; i < perWriter; ++i)
        inOrder.append(QStringLiteral("A") + QString::number(i));
    EXPECT_EQ(names.filter(QRegularExpression(QStringLiteral("^A\\d+$"))), inOrder);
    EXPECT_GT(reads, 0);
    // No temporary file is left behind.
    EXPECT_FALSE(QFileInfo::exists(file + QStringLiteral(".tmp")));
}

TEST(SettingsConcurrency, TwoWritersThousandEachLoseNothingInMemoryFolder)
{
    // fsync on a real disk takes milliseconds; a memory-backed folder keeps the 2,000 locked
    // read-change-replace rounds to seconds while exercising the same locking.
    QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isDir()
                          ? QStringLiteral("/dev/shm/quorvel-settings-XXXXXX")
                          : QDir::tempPath() + QStringLiteral("/quorvel-settings-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    writeConcurrently(dir.filePath(QStringLiteral("settings.ini")), 1000);
}

TEST(SettingsConcurrency, TwoWritersOnDiskLoseNothing)
{
    TempHome home;
    writeConcurrently(DataHome::fromEnvironment().settingsFile(), 100);
}

} // namespace
