#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace quorvel {

// Identity and state of a file as the last operation saw it: enough to tell that nobody has
// written it since.
struct FileStamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;

    bool exists() const { return size >= 0; }
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

// A file of fixed-length records without header, numbered from 1. Both programs work on the
// same files at once (the service appends while the desktop flags and deletes), so every
// operation opens the file, takes an advisory lock on it (shared to read, exclusive to
// write), counts the records under that lock, does its work and closes it again.
//
// The record count is the length divided by the record size, rounded to the nearest whole
// number: a tail of at least half a record is one more, partly empty, record, read with zero
// bytes where the file ends.
class FixedRecordFile {
public:
    FixedRecordFile(QString path, int recordSize);

    QString path() const { return m_path; }
    int recordSize() const { return m_size; }

    static qint64 countForLength(qint64 length, int recordSize);

    // 0 for a missing file.
    qint64 count() const;
    // Record n (1-based), zero-filled where the file ends; nullopt when n is out of range.
    std::optional<QByteArray> read(qint64 n) const;
    std::optional<QByteArray> read(qint64 n, FileStamp *stamp) const;
    // Every record, in file order.
    QList<QByteArray> readAll() const;
    // Calls `visit` for every record in file order with a pointer to its bytes (always
    // recordSize bytes, zero-filled past the end). Returns the stamp the scan saw, which
    // describes exactly the bytes visited; a missing file gives a stamp with size -1.
    FileStamp scan(const std::function<void(qint64 n, const char *record)> &visit) const;
    // The file's stamp right now (no lock: a hint only).
    FileStamp stamp() const;

    // Writes record n in place; n must be 1..count. `bytes` is cut or zero-filled to size.
    bool write(qint64 n, const QByteArray &bytes);
    // Writes `bytes` at `offset` inside record n, leaving every other byte alone.
    bool writeAt(qint64 n, int offset, const QByteArray &bytes);
    // Writes the record at number count + 1; returns that number, or 0 on failure. Creates the
    // file, and its folders when `createFolders` is true.
    qint64 append(const QByteArray &bytes, bool createFolders = false);
    // Appends many records under one lock; returns the number of the first, 0 on failure.
    qint64 appendMany(const QList<QByteArray> &records, bool createFolders = false);
    // Moves every later record one place down and shortens the file by one record.
    bool remove(qint64 n);

    // Why the last failing operation failed.
    QString errorString() const { return m_error; }

    // One read operation made of several steps that must see the same file: opens the file
    // and holds a shared lock until destroyed.
    class ReadSession {
    public:
        explicit ReadSession(const FixedRecordFile &file);
        ~ReadSession();
        ReadSession(const ReadSession &) = delete;
        ReadSession &operator=(const ReadSession &) = delete;

        // False when the file is missing or cannot be read; it then has no records.
        bool isOpen() const { return m_fd >= 0 && m_stamp.exists(); }
        FileStamp stamp() const { return m_stamp; }
        qint64 count() const;
        std::optional<QByteArray> read(qint64 n) const;
        // Every record in order; false when reading failed part way.
        bool scan(const std::function<void(qint64 n, const char *record)> &visit) const;

    private:
        const FixedRecordFile &m_file;
        int m_fd = -1;
        FileStamp m_stamp;
    };

private:
    int openForRead() const;
    int openForWrite(bool create, bool createFolders) const;
    bool fail(const QString &what) const;

    QString m_path;
    int m_size;
    mutable QString m_error;
};

} // namespace quorvel
