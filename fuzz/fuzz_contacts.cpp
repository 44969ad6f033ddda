// The contacts file and the number matching. Input: the caller's number, a line feed, then the
// bytes of the contacts file.

#include "shared/call/CallOptions.h"
#include "shared/common/TextCodec.h"
#include "shared/contacts/ApplyContactOptions.h"
#include "shared/contacts/ContactMatcher.h"
#include "shared/contacts/ContactsFile.h"
#include "shared/settings/RegistryRoutines.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace quorvel;

namespace {
void check(bool ok)
{
    if (!ok)
        std::abort();
}

const QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype cut = input.indexOf('\n');
    const QString caller = TextCodec::decode(cut < 0 ? input : input.left(cut));
    const QByteArray contents = cut < 0 ? QByteArray() : input.mid(cut + 1);

    const QString path = workDir().path() + QStringLiteral("/Contactes.txt");
    {
        QFile f(path);
        check(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(contents);
        // Old enough for the matcher to keep its index between the look-ups below.
        f.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                      QFileDevice::FileModificationTime);
    }

    // One matcher for the whole run: each new file must replace what it learned before.
    static ContactMatcher matcher(path);
    ContactsFile file(path);
    const QString probes[] = { caller, caller.mid(1), caller.left(caller.size() / 2) };
    for (const QString &number : probes) {
        const auto m = matcher.match(number);
        const auto expected = ContactMatcher::scanMatch(file.file(), number);
        check(m.has_value() == expected.has_value());
        if (!m)
            continue;
        check(m->recordNumber == *expected);
        check(ContactMatcher::numberMatches(m->contact.matchNumber(), number));

        const RegistryRoutines settings(workDir().path() + QStringLiteral("/settings.ini"));
        CallOptions options;
        ContactRecord record;
        check(matcher.findContactByNumber(QString(), number, options, record, settings)
              == QString::number(*expected));
        applyContactOptions(m->contact, options, settings);
    }

    const QList<ContactRecord> all = file.readAll();
    check(all.size() == file.count());
    for (const ContactRecord &r : all) {
        for (int f = 0; f < ContactRecord::kFieldCount; ++f)
            (void)r.field(static_cast<ContactRecord::Field>(f));
    }
    (void)file.findByCallerNumber(caller);
    (void)file.findByName(caller);
    (void)file.findByPicture(caller, 1);
    return 0;
}
