#pragma once

#include "shared/records/CallRecord.h"
#include "shared/records/FixedRecordFile.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace quorvel {

class DataHome;

// The record file ("Data") of one folder of the calls journal. The calls of a day live in
// Data/Log/YYYY/MM/DD/Data. The service appends while the desktop reads, flags, edits and
// deletes, each operation under its own lock on the file.
class CallRecordFile {
public:
    explicit CallRecordFile(QString path);

    // "Data/Log/2026/01/05" for 5 January 2026, relative to the data home; empty for an
    // invalid date.
    static QString dayFolder(const QDate &date);
    // The record file of the day of `date`.
    static CallRecordFile forDay(const DataHome &home, const QDate &date);
    // Creates the day folder of `date` with every missing parent. False when it cannot.
    static bool ensureDayFolder(const DataHome &home, const QDate &date);
    // Records of a whole file's bytes, counted and zero-filled as the file operations do.
    static QList<CallRecord> parse(const QByteArray &fileBytes);

    QString path() const { return m_file.path(); }

    qint64 count() const { return m_file.count(); }
    std::optional<CallRecord> read(qint64 n) const;
    QList<CallRecord> readAll() const;
    // Appends at count + 1, creating the file and its folders; returns the record number, 0
    // when the record could not be written.
    qint64 append(const CallRecord &record);
    bool rewrite(qint64 n, const CallRecord &record);
    // Writes "1" or "0" into the user flag of record n: exactly one byte of the file changes.
    bool setFlag(qint64 n, bool flagged);
    // Moves the later records down and shortens the file by one record.
    bool remove(qint64 n) { return m_file.remove(n); }

    QString errorString() const { return m_file.errorString(); }

private:
    FixedRecordFile m_file;
};

} // namespace quorvel
