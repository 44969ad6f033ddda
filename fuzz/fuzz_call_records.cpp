// Call record files as found on disk: any bytes, any length.

#include "shared/records/CallRecordFile.h"

#include <QByteArray>
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
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<CallRecord> parsed = CallRecordFile::parse(bytes);
    check(parsed.size() == (qsizetype(size) + CallRecord::kSize / 2) / CallRecord::kSize);

    for (const CallRecord &r : parsed) {
        check(r.bytes().size() == CallRecord::kSize);
        CallRecord copy = r;
        for (int f = 0; f <= static_cast<int>(CallRecord::Field::Notes); ++f) {
            const auto field = static_cast<CallRecord::Field>(f);
            const QString text = r.field(field);
            copy.setField(field, text);
            check(copy.bytes().size() == CallRecord::kSize);
            // What a writer stores reads back as a prefix of what it was given.
            check(text.startsWith(copy.field(field)) || copy.field(field).isEmpty());
        }
        const QString name = r.messageFileName();
        check(!name.contains(QLatin1Char('/')));
    }

    // The same bytes as a file: the file operations agree with the parser and keep their sizes.
    const QString path = workDir().path() + QStringLiteral("/Data");
    {
        QFile f(path);
        check(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    CallRecordFile file(path);
    check(file.count() == parsed.size());
    check(file.readAll() == parsed);
    if (!parsed.isEmpty()) {
        const qint64 n = 1 + qint64(size % size_t(parsed.size()));
        check(file.read(n).has_value());
        check(file.setFlag(n, size % 2 == 0));
        check(file.remove(n));
        check(QFile(path).size() == (parsed.size() - 1) * CallRecord::kSize);
    }
    check(file.append(CallRecord()) == file.count());
    return 0;
}
