#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace quorvel {

class SettingsStore;

// The settings store: sections ("Properties\TabGeneral", "" for the root) of named text values,
// kept in one human-readable file in the data home. Each object addresses one section at a time
// (setSubkey) and opens, reads or writes and closes the file per operation, so a value written
// by the other program is seen at the next read.
//
// Absent and "" are different: getRegistryValue returns std::nullopt for a value that was never
// written. Section and value names compare case-insensitively and keep the case they were first
// written with; values enumerate in the order they were created.
class RegistryRoutines {
public:
    static constexpr int kRegSz = 1;
    static constexpr int kRegExpandSz = 2;
    static constexpr int kRegMultiSz = 7;
    static constexpr int kRegBinary = 3;
    static constexpr int kRegDword = 4;

    // Result codes of deleteValue / deleteKey, as the platform numbered them.
    static constexpr int kSuccess = 0;
    static constexpr int kNotFound = 2;
    static constexpr int kAccessDenied = 5; // the file could not be read or written
    static constexpr int kInvalidName = 123; // a section name the file cannot hold

    // `filePath` is the settings file (DataHome::settingsFile()).
    explicit RegistryRoutines(QString filePath);
    // Shares one store (and its parsed copy of the file) between several objects.
    explicit RegistryRoutines(std::shared_ptr<SettingsStore> store);

    // Kept for callers that address the platform-style root; the file store has one tree.
    QString keyRoot() const { return m_keyRoot; }
    void setKeyRoot(const QString &root) { m_keyRoot = root; }
    QString subkey() const { return m_subkey; }
    void setSubkey(const QString &section) { m_subkey = section; }

    bool keyExists() const;
    // "0" on success, "" on failure.
    QString createKey(const QString &keyName = QString()) const;
    // 0 when deleted, 2 when missing, 5 when it still has subsections, is the root, or the
    // file cannot be written.
    int deleteKey(const QString &keyName) const;
    // 0 when deleted, 2 (not found) when the value or section is missing, another code on an
    // I/O failure.
    int deleteValue(const QString &valueName) const;
    // Direct subsections of `keyName` ("" = root).
    QStringList enumRegistryKeys(const QString &keyName) const;
    QStringList enumRegistryValues(const QString &keyName) const;

    std::optional<QString> getRegistryValue(const QString &valueName) const;
    QString getRegistryValue(const QString &valueName, const QString &defaultValue) const;
    // Creates the section when it is missing. False when the file cannot be written.
    bool setRegistryValue(const QString &valueName, const QString &value, int dtype = kRegSz) const;

    static QString trimNull(const QString &item);

    // Problems met the last time the file was read (damaged lines, unreadable bytes), so the
    // service can journal them. Empty when the file read cleanly.
    QStringList lastReadProblems() const;
    // The same, but each version of the file reports its problems once (for the journal).
    QStringList takeReadProblems() const;
    // Why the last write failed, or where a damaged file was kept before it was replaced.
    QString lastWriteNote() const;
    std::shared_ptr<SettingsStore> store() const { return m_store; }

    QString filePath() const { return m_filePath; }

private:
    QString m_filePath;
    std::shared_ptr<SettingsStore> m_store;
    QString m_keyRoot = QStringLiteral("SOFTWARE\\Vendrak\\Quorvel 1.1");
    QString m_subkey;
};

// Converters the readers use. An absent value is 0 / false; "" or a text that is not a number
// fails the conversion (ok = false), as a reader that catches the error would see it.
int settingToInt(const std::optional<QString> &value, bool *ok = nullptr);
bool settingToBool(const std::optional<QString> &value, bool *ok = nullptr);

} // namespace quorvel
