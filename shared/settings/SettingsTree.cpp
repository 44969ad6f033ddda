#include "shared/settings/SettingsTree.h"

namespace quorvel {

SettingsTree::SettingsTree()
{
    m_sections.push_back(Section {});
    m_valueIndex.push_back(SectionIndex {});
    m_sectionIndex.insert(QString(), 0);
}

QString SettingsTree::normalizeSection(const QString &section)
{
    // Fast path: the names in code are already clean.
    if (!section.startsWith(u'\\') && !section.endsWith(u'\\') && !section.contains(u"\\\\"))
        return section;
    return section.split(u'\\', Qt::SkipEmptyParts).join(u'\\');
}

bool SettingsTree::isValidSectionName(const QString &section)
{
    for (qsizetype i = 0; i < section.size(); ++i) {
        const QChar c = section[i];
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
        // A lone surrogate cannot be written as UTF-8.
        if (c.isHighSurrogate()) {
            if (i + 1 >= section.size() || !section[i + 1].isLowSurrogate())
                return false;
            ++i;
        } else if (c.isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

int SettingsTree::sectionPosition(const QString &section) const
{
    return m_sectionIndex.value(fold(section), -1);
}

const SettingsTree::Section *SettingsTree::findSection(const QString &section) const
{
    const int pos = sectionPosition(section);
    return pos < 0 ? nullptr : &m_sections[pos];
}

SettingsTree::Section *SettingsTree::findSectionMutable(const QString &section)
{
    const int pos = sectionPosition(section);
    return pos < 0 ? nullptr : &m_sections[pos];
}

bool SettingsTree::keyExists(const QString &section) const
{
    if (sectionPosition(section) >= 0)
        return true;
    return hasChildKeys(section);
}

bool SettingsTree::hasChildKeys(const QString &section) const
{
    const QString prefix = section.isEmpty() ? QString() : fold(section) + u'\\';
    for (const Section &s : m_sections) {
        if (s.name.isEmpty())
            continue;
        if (prefix.isEmpty() || fold(s.name).startsWith(prefix))
            return true;
    }
    return false;
}

QStringList SettingsTree::childKeys(const QString &section) const
{
    const QString prefix = section.isEmpty() ? QString() : fold(section) + u'\\';
    QStringList children;
    QStringList seen;
    for (const Section &s : m_sections) {
        if (s.name.isEmpty())
            continue;
        if (!prefix.isEmpty() && !fold(s.name).startsWith(prefix))
            continue;
        const QString rest = s.name.mid(prefix.size());
        const QString child = rest.section(u'\\', 0, 0);
        if (child.isEmpty())
            continue;
        const QString folded = fold(child);
        if (seen.contains(folded))
            continue;
        seen.append(folded);
        children.append(child);
    }
    return children;
}

std::optional<QString> SettingsTree::value(const QString &section, const QString &name) const
{
    const int pos = sectionPosition(section);
    if (pos < 0)
        return std::nullopt;
    const auto &index = m_valueIndex[pos].values;
    const auto it = index.constFind(fold(name));
    if (it == index.constEnd())
        return std::nullopt;
    return m_sections[pos].values[*it].data;
}

bool SettingsTree::ensureSection(const QString &section)
{
    if (sectionPosition(section) >= 0)
        return false;
    m_sections.push_back(Section { section, {} });
    m_valueIndex.push_back(SectionIndex {});
    m_sectionIndex.insert(fold(section), int(m_sections.size()) - 1);
    return true;
}

bool SettingsTree::setValue(const QString &section, const QString &name, const QString &value,
                            bool *existed)
{
    // Stored text is never null: a value that is there reads as "", not as absent.
    const QString data = value.isNull() ? QStringLiteral("") : value;
    const QString sectionKey = fold(section);
    int pos = m_sectionIndex.value(sectionKey, -1);
    if (pos < 0) {
        m_sections.push_back(Section { section, {} });
        m_valueIndex.push_back(SectionIndex {});
        pos = int(m_sections.size()) - 1;
        m_sectionIndex.insert(sectionKey, pos);
    }
    Section &s = m_sections[pos];
    auto &index = m_valueIndex[pos].values;
    const QString key = fold(name);
    const auto it = index.constFind(key);
    if (existed)
        *existed = it != index.constEnd();
    if (it == index.constEnd()) {
        s.values.push_back(Value { name, data });
        index.insert(key, int(s.values.size()) - 1);
        return true;
    }
    Value &v = s.values[*it];
    if (v.data == data)
        return false;
    v.data = data;
    return true;
}

bool SettingsTree::removeValue(const QString &section, const QString &name)
{
    const int pos = sectionPosition(section);
    if (pos < 0)
        return false;
    auto &index = m_valueIndex[pos].values;
    const auto it = index.constFind(fold(name));
    if (it == index.constEnd())
        return false;
    auto &values = m_sections[pos].values;
    values.erase(values.begin() + *it);
    index.clear();
    for (int i = 0; i < int(values.size()); ++i)
        index.insert(fold(values[i].name), i);
    return true;
}

bool SettingsTree::removeSection(const QString &section)
{
    const int pos = sectionPosition(section);
    if (pos <= 0) // the root stays
        return false;
    m_sections.erase(m_sections.begin() + pos);
    reindex();
    return true;
}

void SettingsTree::reindex()
{
    m_sectionIndex.clear();
    m_valueIndex.clear();
    for (int i = 0; i < int(m_sections.size()); ++i) {
        m_sectionIndex.insert(fold(m_sections[i].name), i);
        SectionIndex idx;
        const auto &values = m_sections[i].values;
        for (int k = 0; k < int(values.size()); ++k)
            idx.values.insert(fold(values[k].name), k);
        m_valueIndex.push_back(std::move(idx));
    }
}

int SettingsTree::valueCount() const
{
    int n = 0;
    for (const Section &s : m_sections)
        n += int(s.values.size());
    return n;
}

bool operator==(const SettingsTree &a, const SettingsTree &b)
{
    if (a.m_sections.size() != b.m_sections.size())
        return false;
    for (size_t i = 0; i < a.m_sections.size(); ++i) {
        const auto &x = a.m_sections[i];
        const auto &y = b.m_sections[i];
        if (x.name != y.name || x.values.size() != y.values.size())
            return false;
        for (size_t k = 0; k < x.values.size(); ++k) {
            if (x.values[k].name != y.values[k].name || x.values[k].data != y.values[k].data)
                return false;
        }
    }
    return true;
}

} // namespace quorvel
