// quorvel-settings: reads and changes the settings file from a shell, the way an administrator
// sets the sections that no dialog writes ("RemoteAccess\TabPhoneAccess", "Language" "Select").
// It goes through the same store as both programs, so it is safe while they run.

#include "shared/common/DataHome.h"
#include "shared/settings/RegistryRoutines.h"
#include "shared/settings/SettingsFormat.h"
#include "shared/settings/SettingsStore.h"
#include "shared/settings/SettingsTree.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdio>

using namespace quorvel;

namespace {

enum Exit { kDone = 0, kAbsent = 1, kUsage = 2, kFailed = 3 };

const char kUsageText[]
    = "usage: quorvel-settings [--file PATH] COMMAND\n"
      "  get SECTION NAME          print the value (exit 1 when it is absent)\n"
      "  set SECTION NAME VALUE    store the value, creating the section when missing\n"
      "  unset SECTION NAME        remove the value (exit 1 when it is absent)\n"
      "  list [SECTION]            print SECTION and the sections below it (default: all)\n"
      "SECTION is written as the programs name it, e.g. \"Properties\\TabGeneral\" (\"/\" may\n"
      "stand for \"\\\"); \"\" is the root. Names compare without regard to case.\n"
      "--file PATH addresses another settings file; the default is settings.ini in the data\n"
      "home ($QUORVEL_HOME, else $XDG_DATA_HOME/quorvel, else ~/.local/share/quorvel).\n"
      "list prints [Section] headers and Name=Value lines escaped as in the file.\n"
      "Exit status: 0 found or done, 1 absent, 2 usage error, 3 the file could not be written.\n";

void out(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void err(const QString &text)
{
    const QByteArray bytes = (QStringLiteral("quorvel-settings: ") + text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

int usage(const QString &why = QString())
{
    if (!why.isEmpty())
        err(why);
    std::fputs(kUsageText, stderr);
    return kUsage;
}

QString sectionArg(const QString &arg)
{
    QString s = arg;
    s.replace(u'/', u'\\');
    return SettingsTree::normalizeSection(s);
}

void reportProblems(const RegistryRoutines &reg)
{
    for (const QString &p : reg.takeReadProblems())
        err(QStringLiteral("warning: %1: %2").arg(reg.filePath(), p));
}

int list(const RegistryRoutines &reg, const QString &section)
{
    const auto tree = reg.store()->tree();
    reportProblems(reg);
    if (!tree->keyExists(section))
        return kAbsent;
    const QString prefix = section.isEmpty() ? QString() : SettingsTree::fold(section) + u'\\';
    for (const SettingsTree::Section &s : tree->sections()) {
        const QString folded = SettingsTree::fold(s.name);
        const bool wanted = section.isEmpty() || folded == SettingsTree::fold(section)
            || folded.startsWith(prefix);
        if (!wanted)
            continue;
        // The root is shown only when it holds something or was asked for by itself.
        if (s.name.isEmpty() && s.values.empty() && tree->sections().size() > 1)
            continue;
        out(u'[' + s.name + QStringLiteral("]\n"));
        for (const SettingsTree::Value &v : s.values) {
            out(SettingsFormat::escapeName(v.name) + u'=' + SettingsFormat::escapeValue(v.data)
                + u'\n');
        }
    }
    return kDone;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    QString file;
    while (!args.isEmpty() && args.first().startsWith(u"--")) {
        const QString opt = args.takeFirst();
        if (opt == u"--help") {
            std::fputs(kUsageText, stdout);
            return kDone;
        }
        if (opt == u"--file") {
            if (args.isEmpty())
                return usage(QStringLiteral("--file needs a path"));
            file = args.takeFirst();
        } else if (opt.startsWith(u"--file=")) {
            file = opt.mid(7);
        } else if (opt == u"--") {
            break;
        } else {
            return usage(QStringLiteral("unknown option %1").arg(opt));
        }
        if (file.isEmpty())
            return usage(QStringLiteral("--file needs a path"));
    }
    if (args.isEmpty())
        return usage(QStringLiteral("no command given"));
    if (file.isEmpty())
        file = DataHome::fromEnvironment().settingsFile();

    const QString command = args.takeFirst();
    RegistryRoutines reg(file);

    if (command == u"get") {
        if (args.size() != 2)
            return usage(QStringLiteral("get needs SECTION NAME"));
        reg.setSubkey(sectionArg(args[0]));
        const auto value = reg.getRegistryValue(args[1]);
        reportProblems(reg);
        if (!value) {
            err(QStringLiteral("no value \"%1\" in section \"%2\"").arg(args[1], reg.subkey()));
            return kAbsent;
        }
        out(*value + u'\n');
        return kDone;
    }
    if (command == u"set") {
        if (args.size() != 3)
            return usage(QStringLiteral("set needs SECTION NAME VALUE"));
        const QString section = sectionArg(args[0]);
        if (!SettingsTree::isValidSectionName(section))
            return usage(QStringLiteral("a section name cannot hold control characters"));
        reg.setSubkey(section);
        const bool ok = reg.setRegistryValue(args[1], args[2]);
        reportProblems(reg);
        const QString note = reg.lastWriteNote();
        if (!ok) {
            err(QStringLiteral("cannot write %1: %2").arg(file, note));
            return kFailed;
        }
        if (!note.isEmpty())
            err(note);
        return kDone;
    }
    if (command == u"unset") {
        if (args.size() != 2)
            return usage(QStringLiteral("unset needs SECTION NAME"));
        reg.setSubkey(sectionArg(args[0]));
        const int code = reg.deleteValue(args[1]);
        reportProblems(reg);
        if (code == RegistryRoutines::kNotFound) {
            err(QStringLiteral("no value \"%1\" in section \"%2\"").arg(args[1], reg.subkey()));
            return kAbsent;
        }
        if (code != RegistryRoutines::kSuccess) {
            err(QStringLiteral("cannot write %1: %2").arg(file, reg.lastWriteNote()));
            return kFailed;
        }
        const QString note = reg.lastWriteNote();
        if (!note.isEmpty())
            err(note);
        return kDone;
    }
    if (command == u"list") {
        if (args.size() > 1)
            return usage(QStringLiteral("list takes at most one SECTION"));
        return list(reg, args.isEmpty() ? QString() : sectionArg(args[0]));
    }
    return usage(QStringLiteral("unknown command %1").arg(command));
}
