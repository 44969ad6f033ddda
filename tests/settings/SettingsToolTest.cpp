#include "shared/common/DataHome.h"
#include "shared/settings/RegistryRoutines.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QProcess>

#include "tests/settings/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::binPath;
using quorvel::test::readFile;
using quorvel::test::TempHome;

namespace {

struct ToolRun {
    int code = -1;
    QString out;
    QString err;
};

ToolRun tool(const QStringList &args)
{
    QProcess p;
    p.start(binPath(QStringLiteral("quorvel-settings")), args);
    ToolRun r;
    if (!p.waitForStarted(10000) || !p.waitForFinished(30000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

TEST(SettingsTool, CommandsAndExitCodes)
{
    TempHome home;
    const QString file = DataHome::fromEnvironment().settingsFile();
    const QString phone = QStringLiteral("RemoteAccess\\TabPhoneAccess");

    struct Step {
        QStringList args;
        int code;
        QString out; // exact stdout; null = not checked
    };
    const Step steps[] = {
        { { QStringLiteral("get"), phone, QStringLiteral("txtDigitsToEnter") }, 1, QString() },
        { { QStringLiteral("set"), phone, QStringLiteral("txtDigitsToEnter"),
            QStringLiteral("1234") },
          0,
          QStringLiteral("") },
        { { QStringLiteral("set"), QStringLiteral("RemoteAccess/TabPhoneAccess"),
            QStringLiteral("chkAllowRemoteAccess"), QStringLiteral("1") },
          0,
          QString() },
        { { QStringLiteral("set"), QStringLiteral("Language"), QStringLiteral("Select"),
            QStringLiteral("eng.txt") },
          0,
          QString() },
        { { QStringLiteral("set"), QString(), QStringLiteral("bRun"), QStringLiteral("0") },
          0,
          QString() },
        { { QStringLiteral("set"), QStringLiteral("Language"), QStringLiteral("Note"),
            QStringLiteral(" two\nlines ") },
          0,
          QString() },
        { { QStringLiteral("get"), QStringLiteral("remoteaccess\\tabphoneaccess"),
            QStringLiteral("TXTDIGITSTOENTER") },
          0,
          QStringLiteral("1234\n") },
        { { QStringLiteral("get"), QStringLiteral("Language"), QStringLiteral("Note") },
          0,
          QStringLiteral(" two\nlines \n") },
        { { QStringLiteral("list"), QStringLiteral("RemoteAccess") },
          0,
          QStringLiteral("[RemoteAccess\\TabPhoneAccess]\ntxtDigitsToEnter=1234\n"
                         "chkAllowRemoteAccess=1\n") },
        { { QStringLiteral("list") },
          0,
          QStringLiteral("[]\nbRun=0\n"
                         "[RemoteAccess\\TabPhoneAccess]\ntxtDigitsToEnter=1234\n"
                         "chkAllowRemoteAccess=1\n"
                         "[Language]\nSelect=eng.txt\nNote=\\stwo\\nlines\\s\n") },
        { { QStringLiteral("list"), QStringLiteral("Access") }, 1, QStringLiteral("") },
        { { QStringLiteral("unset"), phone, QStringLiteral("chkallowremoteaccess") },
          0,
          QString() },
        { { QStringLiteral("unset"), phone, QStringLiteral("chkAllowRemoteAccess") },
          1,
          QString() },
        { { QStringLiteral("get"), phone, QStringLiteral("chkAllowRemoteAccess") },
          1,
          QStringLiteral("") },
        // Usage errors.
        { {}, 2, QStringLiteral("") },
        { { QStringLiteral("fetch"), phone, QStringLiteral("x") }, 2, QStringLiteral("") },
        { { QStringLiteral("get"), phone }, 2, QStringLiteral("") },
        { { QStringLiteral("set"), phone, QStringLiteral("x") }, 2, QStringLiteral("") },
        { { QStringLiteral("unset"), phone }, 2, QStringLiteral("") },
        { { QStringLiteral("list"), QStringLiteral("a"), QStringLiteral("b") },
          2,
          QStringLiteral("") },
        { { QStringLiteral("--file") }, 2, QStringLiteral("") },
        { { QStringLiteral("--verbose"), QStringLiteral("list") }, 2, QStringLiteral("") },
        { { QStringLiteral("set"), QStringLiteral("Bad\nSection"), QStringLiteral("x"),
            QStringLiteral("1") },
          2,
          QStringLiteral("") },
    };
    for (const Step &s : steps) {
        const ToolRun r = tool(s.args);
        const std::string label = s.args.join(u' ').toStdString();
        EXPECT_EQ(r.code, s.code) << label << "\n" << r.err.toStdString();
        if (!s.out.isNull()) {
            EXPECT_EQ(r.out, s.out) << label;
        }
        if (s.code == 2) {
            EXPECT_TRUE(r.err.contains(QStringLiteral("usage: quorvel-settings"))) << label;
        }
    }

    // What the tool wrote is what the programs read.
    RegistryRoutines reg(file);
    reg.setSubkey(phone);
    EXPECT_EQ(reg.getRegistryValue(QStringLiteral("txtDigitsToEnter")), QStringLiteral("1234"));
    EXPECT_EQ(reg.getRegistryValue(QStringLiteral("chkAllowRemoteAccess")), std::nullopt);
}

TEST(SettingsTool, OtherFileDamageAndWriteFailure)
{
    TempHome home;
    const QString other = home.path(QStringLiteral("other/custom.ini"));
    EXPECT_EQ(tool({ QStringLiteral("--file"), other, QStringLiteral("set"), QStringLiteral("A"),
                     QStringLiteral("x"), QStringLiteral("1") })
                  .code,
              0);
    EXPECT_TRUE(readFile(other).contains("[A]\r\nx=1\r\n"));
    EXPECT_FALSE(QFile::exists(DataHome::fromEnvironment().settingsFile()));
    const ToolRun got = tool({ QStringLiteral("--file=") + other, QStringLiteral("get"),
                               QStringLiteral("a"), QStringLiteral("X") });
    EXPECT_EQ(got.code, 0);
    EXPECT_EQ(got.out, QStringLiteral("1\n"));

    // A damaged file still answers, with a warning on stderr.
    quorvel::test::writeFile(other, "[A]\r\nx=1\r\n\x01\x02garbage\r\n");
    const ToolRun warned = tool({ QStringLiteral("--file"), other, QStringLiteral("get"),
                                  QStringLiteral("A"), QStringLiteral("x") });
    EXPECT_EQ(warned.code, 0);
    EXPECT_EQ(warned.out, QStringLiteral("1\n"));
    EXPECT_TRUE(warned.err.contains(QStringLiteral("warning"))) << warned.err.toStdString();

    // A file that cannot be written: exit 3 and an explanation.
    const QString blocked = home.path(QStringLiteral("blocked.ini"));
    ASSERT_TRUE(QDir().mkpath(blocked));
    const ToolRun failed = tool({ QStringLiteral("--file"), blocked, QStringLiteral("set"),
                                  QStringLiteral("A"), QStringLiteral("x"), QStringLiteral("1") });
    EXPECT_EQ(failed.code, 3);
    EXPECT_TRUE(failed.err.contains(QStringLiteral("cannot"))) << failed.err.toStdString();
}

} // namespace
