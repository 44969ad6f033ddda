#include "shared/records/CallRecordFile.h"

#include "shared/common/DataHome.h"

#include <QDir>

namespace quorvel {

CallRecordFile::CallRecordFile(QString path)
    : m_file(std::move(path), CallRecord::kSize)
{
}

QString CallRecordFile::dayFolder(const QDate &date)
{
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return {};
    return QString::asprintf("Data/Log/%04d/%02d/%02d", date.year(), date.month(), date.day());
}

CallRecordFile CallRecordFile::forDay(const DataHome &home, const QDate &date)
{
    const QString folder = dayFolder(date);
    // An impossible date has no day folder; the path below cannot be created.
    return CallRecordFile(folder.isEmpty() ? QString()
                                           : home.path(folder + QStringLiteral("/Data")));
}

bool CallRecordFile::ensureDayFolder(const DataHome &home, const QDate &date)
{
    const QString folder = dayFolder(date);
    return !folder.isEmpty() && QDir().mkpath(home.path(folder));
}

QList<CallRecord> CallRecordFile::parse(const QByteArray &fileBytes)
{
    QList<CallRecord> out;
    const qint64 total = FixedRecordFile::countForLength(fileBytes.size(), CallRecord::kSize);
    out.reserve(total);
    for (qint64 i = 0; i < total; ++i)
        out.append(CallRecord::fromBytes(fileBytes.mid(i * CallRecord::kSize, CallRecord::kSize)));
    return out;
}

std::optional<CallRecord> CallRecordFile::read(qint64 n) const
{
    const auto bytes = m_file.read(n);
    if (!bytes)
        return std::nullopt;
    return CallRecord::fromBytes(*bytes);
}

QList<CallRecord> CallRecordFile::readAll() const
{
    QList<CallRecord> out;
    m_file.scan([&](qint64, const char *rec) {
        out.append(CallRecord::fromBytes(QByteArray(rec, CallRecord::kSize)));
    });
    return out;
}

qint64 CallRecordFile::append(const CallRecord &record)
{
    if (m_file.path().isEmpty())
        return 0;
    return m_file.append(record.bytes(), true);
}

bool CallRecordFile::rewrite(qint64 n, const CallRecord &record)
{
    return m_file.write(n, record.bytes());
}

bool CallRecordFile::setFlag(qint64 n, bool flagged)
{
    const auto l = CallRecord::layout(CallRecord::Field::UserFlag);
    return m_file.writeAt(n, l.offset, flagged ? QByteArrayLiteral("1") : QByteArrayLiteral("0"));
}

} // namespace quorvel
