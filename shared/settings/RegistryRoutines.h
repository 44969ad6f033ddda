#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace quorvel {

// The settings store: sections ("Properties\TabGeneral", "" for the root) of named text values,
// kept in one human-readable file in the data home. Each object addresses one section at a time
// (setSubkey) and opens, reads or writes and closes the file per operation, so a value written
// by the other program is seen at the next read.
//
// Absent and "" are different: getRegistryValue returns std::nullopt for a value that was never
// written. Section and value names compare case-insensitively and keep the case they were first
// written with; values enumerate in the order they were created.
class RegistryRoutines
{
public:
    static constexpr int kRegSz = 1;
    static constexpr int kRegExpandSz = 2;
    static constexpr int kRegMultiSz = 7;

    // `filePath` is the settings file (DataHome::settingsFile()).
    explicit RegistryRoutines(QString filePath);

    // Kept for callers that address the platform-style root; the file store has one tree.
    QString keyRoot() const { return m_keyRoot; }
    void setKeyRoot(const QString &root) { m_keyRoot = root; }
    QString subkey() const { return m_subkey; }
    void setSubkey(const QString &section) { m_subkey = section; }

    bool keyExists() const;
    // "0" on success, "" on failure.
    QString createKey(const QString &keyName = QString()) const;
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

    QString filePath() const { return m_filePath; }

private:
    QString m_filePath;
    QString m_keyRoot = QStringLiteral("SOFTWARE\\Vendrak\\Quorvel 1.1");
    QString m_subkey;
};

// Converters the readers use. An absent value is 0 / false; "" or a text that is not a number
// fails the conversion (ok = false), as a reader that catches the error would see it.
int settingToInt(const std::optional<QString> &value, bool *ok = nullptr);
bool settingToBool(const std::optional<QString> &value, bool *ok = nullptr);

} // namespace quorvel
