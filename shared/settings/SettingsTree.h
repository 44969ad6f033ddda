#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quorvel {

// The settings as sections of named text values, held in memory. Section and value names
// compare case-insensitively and keep the spelling they were first written with; sections and
// values keep the order they were created in, because that is the order they are listed and
// saved in. The root section "" always exists and comes first.
class SettingsTree {
public:
    struct Value {
        QString name;
        QString data;
    };
    struct Section {
        QString name;
        std::vector<Value> values;
    };

    SettingsTree();

    // "\Properties\\TabGeneral\" -> "Properties\TabGeneral": empty parts are dropped, as the
    // platform path parser did, so "" and "\" both name the root.
    static QString normalizeSection(const QString &section);
    // Section names may not hold line breaks or other control characters: the saved file could
    // not keep them apart from the surrounding lines.
    static bool isValidSectionName(const QString &section);
    static QString fold(const QString &name) { return name.toCaseFolded(); }

    const std::vector<Section> &sections() const { return m_sections; }
    // The section itself; nullptr when it was never created. `section` must be normalized.
    const Section *findSection(const QString &section) const;
    // True for a created section and for any section that has a created one below it.
    bool keyExists(const QString &section) const;
    // Direct subsections of `section`, each spelled as first written, in creation order.
    QStringList childKeys(const QString &section) const;
    bool hasChildKeys(const QString &section) const;

    std::optional<QString> value(const QString &section, const QString &name) const;

    // Creates the section when missing; true when the tree changed.
    bool ensureSection(const QString &section);
    // Sets a value, creating the section and the value as needed. A value that exists keeps
    // its name and place. True when the tree changed; `existed` tells whether the value was
    // there before.
    bool setValue(const QString &section, const QString &name, const QString &data,
                  bool *existed = nullptr);
    // True when the value existed and was removed.
    bool removeValue(const QString &section, const QString &name);
    // Removes the section and its values (not its subsections). True when it existed.
    bool removeSection(const QString &section);

    int valueCount() const;

    friend bool operator==(const SettingsTree &a, const SettingsTree &b);

private:
    struct SectionIndex {
        QHash<QString, int> values; // folded value name -> position in Section::values
    };
    Section *findSectionMutable(const QString &section);
    int sectionPosition(const QString &section) const;
    void reindex();

    std::vector<Section> m_sections;
    std::vector<SectionIndex> m_valueIndex; // parallel to m_sections
    QHash<QString, int> m_sectionIndex; // folded section name -> position
};

} // namespace quorvel
