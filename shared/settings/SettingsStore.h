#pragma once

#include "shared/settings/SettingsTree.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace quorvel {

// One settings file shared by both programs, which read and write it at any moment.
//
// Writing takes an exclusive lock on a lock file beside it (file + ".lock"), reads the file
// again, applies the change, writes the whole text to a temporary file in the same folder,
// flushes it to disk and renames it over the old one. So no write of the other program is lost,
// and a reader (which takes no lock) opens either the old file or the new one, never half of it.
//
// Reads keep the parsed file and check its identity (device, inode, size, modification time in
// nanoseconds) with one stat per read; the writer stamps each new file with a modification time
// later than the one it replaces, so every write is seen even when the file system reuses the
// inode within one clock tick.
class SettingsStore {
public:
    // What an edit did to the tree it was given.
    enum class Change {
        None, // nothing to write
        Changed, // write the tree
        Refused, // the edit cannot be done (missing value, bad name): write nothing
    };
    enum class Outcome { Written, Unchanged, Refused, Failed };
    using Edit = std::function<Change(SettingsTree &)>;

    explicit SettingsStore(QString filePath);
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    QString filePath() const { return m_filePath; }

    // The settings as the file holds them now. Never fails: a missing or unreadable file is an
    // empty tree (see lastReadProblems()).
    std::shared_ptr<const SettingsTree> tree();

    // Lock, re-read, edit, replace. Failed means the file could not be read or written; the old
    // file is then untouched. A damaged file is kept aside as file + ".damaged-<time>" before
    // it is replaced, so nothing in it is lost to the rewrite.
    Outcome update(const Edit &edit);

    // Problems of the file as last read (damaged lines, bytes read as Windows-1252, a file that
    // could not be opened). Empty when it read cleanly.
    QStringList lastReadProblems();
    // The same problems, but each version of the file reports them once, for the journal.
    QStringList takeReadProblems();
    // Why the last update failed, or where a damaged file was kept; empty otherwise.
    QString lastWriteNote() const;

private:
    struct FileKey {
        bool exists = false;
        quint64 dev = 0;
        quint64 ino = 0;
        qint64 size = 0;
        qint64 mtimeSec = 0;
        qint64 mtimeNsec = 0;
        bool operator==(const FileKey &) const = default;
    };
    struct Loaded {
        bool ok = true; // false: the file exists but could not be read
        FileKey key;
        std::shared_ptr<const SettingsTree> tree;
        QStringList problems;
        bool damaged = false;
        QString error;
    };

    static FileKey statKey(const QByteArray &path);
    static Loaded load(const QByteArray &path);
    void refreshLocked();
    QString writeTarget() const;

    const QString m_filePath;
    const QByteArray m_pathBytes; // encoded once: every read stats it
    mutable QMutex m_mutex;
    bool m_cached = false;
    FileKey m_key;
    std::shared_ptr<const SettingsTree> m_tree;
    QStringList m_problems;
    bool m_problemsTaken = false;
    QString m_writeNote;
};

} // namespace quorvel
