// quorvel-contacts: the contacts file from the command line. Block lists of tens of thousands
// of numbers come in through `import`; `match` answers as the line service would at a caller
// ID.

#include "shared/common/DataHome.h"
#include "shared/common/TextCodec.h"
#include "shared/contacts/ContactMatcher.h"
#include "shared/contacts/ContactsFile.h"
#include "tools/quorvel-contacts/ContactsCsv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <cstdio>

using namespace quorvel;

namespace {

using F = ContactRecord::Field;

void out(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

void err(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stderr);
}

int usage()
{
    err(QStringLiteral("usage: quorvel-contacts list\n"
                       "       quorvel-contacts add --name NAME --number NUMBER\n"
                       "                            [--rule default|hangup|nothing|answer]\n"
                       "                            [--greeting GREETING --rings RINGS --beep]\n"
                       "       quorvel-contacts delete RECORD\n"
                       "       quorvel-contacts match NUMBER\n"
                       "       quorvel-contacts import FILE.csv\n"
                       "       quorvel-contacts export\n"
                       "The contacts file is Contactes.txt in the data home ($QUORVEL_HOME).\n"));
    return 2;
}

ContactsFile contactsFile(bool forWriting)
{
    const DataHome home = DataHome::fromEnvironment();
    if (forWriting)
        QDir().mkpath(home.root());
    return ContactsFile(home.contactsFile());
}

int cmdList()
{
    const ContactsFile file = contactsFile(false);
    const QList<ContactRecord> all = file.readAll();
    for (qsizetype i = 0; i < all.size(); ++i) {
        const ContactRecord &r = all[i];
        out(QStringLiteral("%1\t%2\t%3\t%4\n")
                .arg(i + 1)
                .arg(r.name(), r.callerNumber(), ContactsCsv::ruleForMode(r.answerMode())));
    }
    return 0;
}

int cmdAdd(const QStringList &args)
{
    ContactsCsv::NewContact c;
    bool haveName = false;
    bool haveNumber = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&](QString &target) {
            if (i + 1 >= args.size())
                return false;
            target = args[++i];
            return true;
        };
        bool ok = true;
        if (a == QLatin1String("--name"))
            ok = haveName = value(c.name);
        else if (a == QLatin1String("--number"))
            ok = haveNumber = value(c.number);
        else if (a == QLatin1String("--rule"))
            ok = value(c.rule);
        else if (a == QLatin1String("--greeting"))
            ok = value(c.greeting);
        else if (a == QLatin1String("--rings"))
            ok = value(c.rings);
        else if (a == QLatin1String("--beep"))
            c.beep = true;
        else {
            err(QStringLiteral("quorvel-contacts add: unknown option %1\n").arg(a));
            return usage();
        }
        if (!ok) {
            err(QStringLiteral("quorvel-contacts add: %1 needs a value\n").arg(a));
            return usage();
        }
    }
    if (!haveName || !haveNumber) {
        err(QStringLiteral("quorvel-contacts add: --name and --number are required\n"));
        return usage();
    }
    QString error;
    const auto record = ContactsCsv::makeRecord(c, &error);
    if (!record) {
        err(QStringLiteral("quorvel-contacts add: %1\n").arg(error));
        return 2;
    }
    ContactsFile file = contactsFile(true);
    if (c.number.trimmed().isEmpty())
        err(QStringLiteral("quorvel-contacts: note: a contact without a number takes every call "
                           "with a number that no earlier contact takes\n"));
    else if (const auto taken = file.findByCallerNumber(c.number.trimmed()))
        err(QStringLiteral("quorvel-contacts: note: record %1 already has the number %2\n")
                .arg(*taken)
                .arg(c.number.trimmed()));
    const qint64 n = file.append(*record);
    if (n == 0) {
        err(QStringLiteral("quorvel-contacts add: %1\n").arg(file.errorString()));
        return 1;
    }
    out(QStringLiteral("%1\n").arg(n));
    return 0;
}

int cmdDelete(const QStringList &args)
{
    if (args.size() != 1)
        return usage();
    bool ok = false;
    const qint64 n = args[0].toLongLong(&ok);
    ContactsFile file = contactsFile(false);
    if (!ok || n < 1) {
        err(QStringLiteral("quorvel-contacts delete: \"%1\" is not a record number\n")
                .arg(args[0]));
        return 2;
    }
    if (!file.remove(n)) {
        err(QStringLiteral("quorvel-contacts delete: %1\n").arg(file.errorString()));
        return 1;
    }
    return 0;
}

int cmdMatch(const QStringList &args)
{
    if (args.size() != 1)
        return usage();
    ContactMatcher matcher(DataHome::fromEnvironment().contactsFile());
    const auto m = matcher.match(args[0]);
    if (!m)
        return 1;
    out(QStringLiteral("%1\t%2\n").arg(m->recordNumber).arg(m->contact.name()));
    return 0;
}

int cmdImport(const QStringList &args)
{
    if (args.size() != 1)
        return usage();
    QFile csv(args[0]);
    if (!csv.open(QIODevice::ReadOnly)) {
        err(QStringLiteral("quorvel-contacts import: cannot read %1: %2\n")
                .arg(args[0], csv.errorString()));
        return 2;
    }
    QByteArray bytes = csv.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);

    QList<ContactRecord> records;
    int bad = 0;
    int lineNo = 0;
    for (QByteArray raw : bytes.split('\n')) {
        ++lineNo;
        if (raw.endsWith('\r'))
            raw.chop(1);
        const QString line = TextCodec::decode(raw);
        if (line.trimmed().isEmpty())
            continue;
        auto complain = [&](const QString &what) {
            err(QStringLiteral("%1:%2: %3\n").arg(args[0]).arg(lineNo).arg(what));
            ++bad;
        };
        const auto fields = ContactsCsv::splitLine(line);
        if (!fields) {
            complain(QStringLiteral("a quote is not closed"));
            continue;
        }
        if (lineNo == 1 && fields->size() == 3
            && fields->join(QLatin1Char(','))
                    .compare(QLatin1String("name,number,rule"), Qt::CaseInsensitive)
                == 0)
            continue; // a header line
        if (fields->size() < 2 || fields->size() > 3) {
            complain(QStringLiteral("expected name,number,rule"));
            continue;
        }
        ContactsCsv::NewContact c;
        c.name = fields->at(0);
        c.number = fields->at(1);
        c.rule = fields->size() > 2 ? fields->at(2) : QString();
        if (c.number.trimmed().isEmpty()) {
            complain(QStringLiteral("the number is empty (it would take every call)"));
            continue;
        }
        QString error;
        const auto record = ContactsCsv::makeRecord(c, &error);
        if (!record) {
            complain(error);
            continue;
        }
        records.append(*record);
    }

    if (!records.isEmpty()) {
        ContactsFile file = contactsFile(true);
        if (file.appendMany(records) == 0) {
            err(QStringLiteral("quorvel-contacts import: %1\n").arg(file.errorString()));
            return 1;
        }
    }
    out(QStringLiteral("imported %1 contacts, skipped %2 lines\n").arg(records.size()).arg(bad));
    return bad == 0 ? 0 : 1;
}

int cmdExport()
{
    const ContactsFile file = contactsFile(false);
    for (const ContactRecord &r : file.readAll()) {
        out(ContactsCsv::joinLine(
                { r.name(), r.callerNumber(), ContactsCsv::ruleForMode(r.answerMode()) })
            + QLatin1Char('\n'));
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("list") && args.isEmpty())
        return cmdList();
    if (command == QLatin1String("add"))
        return cmdAdd(args);
    if (command == QLatin1String("delete"))
        return cmdDelete(args);
    if (command == QLatin1String("match"))
        return cmdMatch(args);
    if (command == QLatin1String("import"))
        return cmdImport(args);
    if (command == QLatin1String("export") && args.isEmpty())
        return cmdExport();
    return usage();
}
