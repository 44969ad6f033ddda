#pragma once

#include <QString>
#include <QStringList>

namespace quorvel {

// The numbered texts of the user-interface language: line N of a language file in Trans/ is
// entry N. The desktop holds entries 1..5000 (1..1000 from the file) and a right-to-left flag;
// the service holds entries 1..20.
class TranslationTable
{
public:
    static constexpr int kDesktopEntries = 5000;
    static constexpr int kDesktopFileLines = 1000;
    static constexpr int kServiceEntries = 20;
    // Returned when the file ends before the lines the loader needs (errno has no such code).
    static constexpr int kErrorEndOfFile = 62;

    // Desktop loader: reads 1000 lines; sets right-to-left when line 10 is exactly "RTL" and
    // all 1000 lines were read. 0 or an error number (errno of the failing file operation, or
    // kErrorEndOfFile). Entries read before a failure stay.
    int loadLanguageFile(const QString &path);
    // Service loader: 20 lines, same result convention.
    int loadServiceTexts(const QString &path);

    // Entry n (1-based); "" outside the table or for an empty line.
    QString entry(int n) const;
    bool rightToLeft() const { return m_rightToLeft; }
    int size() const { return static_cast<int>(m_entries.size()); }

    // The language file name stored in "Language" "Select"; the desktop falls back to "eng.txt".
    static QString desktopDefaultFile() { return QStringLiteral("eng.txt"); }

private:
    int load(const QString &path, int lines);

    QStringList m_entries;
    bool m_rightToLeft = false;
};

} // namespace quorvel
