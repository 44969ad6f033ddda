#include "shared/contacts/ContactsFile.h"

#include "shared/records/CallRecord.h"

namespace quorvel {

ContactsFile::ContactsFile(QString path)
    : m_file(std::move(path), ContactRecord::kSize)
{
}

std::optional<ContactRecord> ContactsFile::read(qint64 n) const
{
    const auto bytes = m_file.read(n);
    if (!bytes)
        return std::nullopt;
    return ContactRecord::fromBytes(*bytes);
}

QList<ContactRecord> ContactsFile::readAll() const
{
    QList<ContactRecord> out;
    m_file.scan([&](qint64, const char *rec) {
        out.append(ContactRecord::fromBytes(QByteArray(rec, ContactRecord::kSize)));
    });
    return out;
}

bool ContactsFile::write(qint64 n, const ContactRecord &record)
{
    return m_file.write(n, record.bytes());
}

qint64 ContactsFile::append(const ContactRecord &record)
{
    return m_file.append(record.bytes());
}

qint64 ContactsFile::appendMany(const QList<ContactRecord> &records)
{
    QList<QByteArray> bytes;
    bytes.reserve(records.size());
    for (const ContactRecord &r : records)
        bytes.append(r.bytes());
    return m_file.appendMany(bytes);
}

std::optional<qint64> ContactsFile::findField(ContactRecord::Field field, const QString &value,
                                              qint64 exceptRecord) const
{
    const auto l = ContactRecord::layout(field);
    std::optional<qint64> found;
    m_file.scan([&](qint64 n, const char *rec) {
        if (found || n == exceptRecord)
            return;
        if (CallRecord::readField(rec + l.offset, l.width) == value)
            found = n;
    });
    return found;
}

std::optional<qint64> ContactsFile::findByCallerNumber(const QString &number) const
{
    return findField(ContactRecord::Field::CallerNumber, number);
}

std::optional<qint64> ContactsFile::findByName(const QString &name) const
{
    return findField(ContactRecord::Field::Name, name);
}

std::optional<qint64> ContactsFile::findByGreeting(const QString &greeting) const
{
    return findField(ContactRecord::Field::Greeting, greeting);
}

std::optional<qint64> ContactsFile::findByPicture(const QString &picture, qint64 exceptRecord) const
{
    return findField(ContactRecord::Field::Picture, picture, exceptRecord);
}

} // namespace quorvel
