#include "shared/translation/TranslationTable.h"

#include "shared/common/TextCodec.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace quorvel {

int TranslationTable::load(const QString &path, int lines)
{
    if (QFileInfo(path).isDir())
        return EISDIR;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        const int err = errno;
        return err ? err : ENOENT;
    }
    // A language file is a few tens of kilobytes; more than a megabyte is not one.
    const QByteArray bytes = file.read(1 << 20);
    const QStringList fileLines = TextCodec::splitLines(TextCodec::decode(bytes));
    const int have = static_cast<int>(std::min<qsizetype>(fileLines.size(), lines));
    for (int i = 0; i < have; ++i)
        m_entries[i] = fileLines[i];
    return have < lines ? kErrorEndOfFile : 0;
}

int TranslationTable::loadLanguageFile(const QString &path)
{
    while (m_entries.size() < kDesktopEntries)
        m_entries.append(QString());
    const int result = load(path, kDesktopFileLines);
    if (result == 0 && m_entries[9] == QLatin1String("RTL"))
        m_rightToLeft = true;
    return result;
}

int TranslationTable::loadServiceTexts(const QString &path)
{
    m_entries.resize(kServiceEntries);
    return load(path, kServiceEntries);
}

QString TranslationTable::entry(int n) const
{
    if (n < 1 || n > m_entries.size())
        return {};
    return m_entries[n - 1];
}

} // namespace quorvel
