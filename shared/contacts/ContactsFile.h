#pragma once

#include "shared/contacts/ContactRecord.h"
#include "shared/records/FixedRecordFile.h"

#include <QList>
#include <QString>

#include <optional>

namespace quorvel {

// The contacts file (Contactes.txt in the data home): records of 1794 bytes, numbered from 1.
// The desktop edits it while the service reads it at every caller ID; each operation holds a
// lock on the file for its duration, so nobody sees half a record.
class ContactsFile {
public:
    explicit ContactsFile(QString path);

    QString path() const { return m_file.path(); }

    qint64 count() const { return m_file.count(); }
    std::optional<ContactRecord> read(qint64 n) const;
    QList<ContactRecord> readAll() const;
    // Writes record n in place; n must exist.
    bool write(qint64 n, const ContactRecord &record);
    // Appends at count + 1 and returns that number; 0 on failure.
    qint64 append(const ContactRecord &record);
    // Appends all under one lock; returns the number of the first, 0 on failure.
    qint64 appendMany(const QList<ContactRecord> &records);
    // Moves the later records down and shortens the file by one record.
    bool remove(qint64 n) { return m_file.remove(n); }

    // Look-ups by exact, case-sensitive equality of a field with blanks stripped. Each gives
    // the first such record, or nullopt.
    std::optional<qint64> findByCallerNumber(const QString &number) const;
    std::optional<qint64> findByName(const QString &name) const;
    std::optional<qint64> findByGreeting(const QString &greeting) const;
    // Another record than `exceptRecord` that uses `picture`: whether the picture is still in
    // use.
    std::optional<qint64> findByPicture(const QString &picture, qint64 exceptRecord) const;

    QString errorString() const { return m_file.errorString(); }
    const FixedRecordFile &file() const { return m_file; }

private:
    std::optional<qint64> findField(ContactRecord::Field field, const QString &value,
                                    qint64 exceptRecord = 0) const;

    FixedRecordFile m_file;
};

} // namespace quorvel
