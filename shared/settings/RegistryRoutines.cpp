#include "shared/settings/RegistryRoutines.h"

#include "shared/settings/SettingsStore.h"
#include "shared/settings/SettingsTree.h"

namespace quorvel {

namespace {

// Decimal text to a 32-bit number, blanks around it allowed; "" and any other text fail.
std::optional<int> parseInt(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    qsizetype i = 0;
    bool negative = false;
    if (t[0] == u'+' || t[0] == u'-') {
        negative = t[0] == u'-';
        ++i;
    }
    if (i >= t.size())
        return std::nullopt;
    qint64 v = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        v = v * 10 + (c - u'0');
        if (v > qint64(2147483648LL))
            return std::nullopt;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL || v < -2147483648LL)
        return std::nullopt;
    return int(v);
}

} // namespace

RegistryRoutines::RegistryRoutines(QString filePath)
    : m_filePath(std::move(filePath))
    , m_store(std::make_shared<SettingsStore>(m_filePath))
{
}

RegistryRoutines::RegistryRoutines(std::shared_ptr<SettingsStore> store)
    : m_filePath(store->filePath())
    , m_store(std::move(store))
{
}

bool RegistryRoutines::keyExists() const
{
    return m_store->tree()->keyExists(SettingsTree::normalizeSection(m_subkey));
}

QString RegistryRoutines::createKey(const QString &keyName) const
{
    const QString section = SettingsTree::normalizeSection(keyName.isNull() ? m_subkey : keyName);
    if (!SettingsTree::isValidSectionName(section))
        return QString();
    if (section.isEmpty())
        return QStringLiteral("0");
    const auto outcome = m_store->update([&](SettingsTree &tree) {
        if (tree.keyExists(section))
            return SettingsStore::Change::None;
        tree.ensureSection(section);
        return SettingsStore::Change::Changed;
    });
    return outcome == SettingsStore::Outcome::Failed ? QString() : QStringLiteral("0");
}

int RegistryRoutines::deleteKey(const QString &keyName) const
{
    const QString section = SettingsTree::normalizeSection(keyName);
    if (section.isEmpty())
        return kAccessDenied;
    int code = kSuccess;
    const auto outcome = m_store->update([&](SettingsTree &tree) {
        if (tree.hasChildKeys(section)) {
            code = kAccessDenied;
            return SettingsStore::Change::Refused;
        }
        if (!tree.removeSection(section)) {
            code = kNotFound;
            return SettingsStore::Change::Refused;
        }
        // Deleting "A\B" leaves "A" standing, as it did in the platform's tree.
        const QString parent = section.section(u'\\', 0, -2);
        if (!parent.isEmpty() && !tree.keyExists(parent))
            tree.ensureSection(parent);
        return SettingsStore::Change::Changed;
    });
    if (outcome == SettingsStore::Outcome::Failed)
        return kAccessDenied;
    return code;
}

int RegistryRoutines::deleteValue(const QString &valueName) const
{
    const QString section = SettingsTree::normalizeSection(m_subkey);
    const auto outcome = m_store->update([&](SettingsTree &tree) {
        return tree.removeValue(section, valueName) ? SettingsStore::Change::Changed
                                                    : SettingsStore::Change::Refused;
    });
    switch (outcome) {
    case SettingsStore::Outcome::Written:
    case SettingsStore::Outcome::Unchanged:
        return kSuccess;
    case SettingsStore::Outcome::Refused:
        return kNotFound;
    case SettingsStore::Outcome::Failed:
        break;
    }
    return kAccessDenied;
}

QStringList RegistryRoutines::enumRegistryKeys(const QString &keyName) const
{
    return m_store->tree()->childKeys(SettingsTree::normalizeSection(keyName));
}

QStringList RegistryRoutines::enumRegistryValues(const QString &keyName) const
{
    const auto tree = m_store->tree();
    const SettingsTree::Section *s = tree->findSection(SettingsTree::normalizeSection(keyName));
    QStringList names;
    if (!s)
        return names;
    names.reserve(qsizetype(s->values.size()));
    for (const auto &v : s->values)
        names.append(v.name);
    return names;
}

std::optional<QString> RegistryRoutines::getRegistryValue(const QString &valueName) const
{
    return m_store->tree()->value(SettingsTree::normalizeSection(m_subkey), valueName);
}

QString RegistryRoutines::getRegistryValue(const QString &valueName,
                                           const QString &defaultValue) const
{
    return getRegistryValue(valueName).value_or(defaultValue);
}

bool RegistryRoutines::setRegistryValue(const QString &valueName, const QString &value,
                                        int dtype) const
{
    QString text;
    switch (dtype) {
    case kRegSz:
    case kRegExpandSz:
    case kRegMultiSz:
    case kRegBinary:
        text = value;
        break;
    case kRegDword: {
        // A number is kept as its decimal text; text that is no number is not written.
        const auto n = parseInt(value);
        if (!n)
            return false;
        text = QString::number(*n);
        break;
    }
    default:
        return false;
    }
    const QString section = SettingsTree::normalizeSection(m_subkey);
    if (!SettingsTree::isValidSectionName(section))
        return false;
    // Null and empty are the same stored text "".
    if (text.isNull())
        text = QStringLiteral("");
    const auto outcome = m_store->update([&](SettingsTree &tree) {
        return tree.setValue(section, valueName, text) ? SettingsStore::Change::Changed
                                                       : SettingsStore::Change::None;
    });
    return outcome == SettingsStore::Outcome::Written
        || outcome == SettingsStore::Outcome::Unchanged;
}

QString RegistryRoutines::trimNull(const QString &item)
{
    const qsizetype nul = item.indexOf(QChar(0));
    return nul < 0 ? item : item.left(nul);
}

QStringList RegistryRoutines::lastReadProblems() const
{
    return m_store->lastReadProblems();
}

QStringList RegistryRoutines::takeReadProblems() const
{
    return m_store->takeReadProblems();
}

QString RegistryRoutines::lastWriteNote() const
{
    return m_store->lastWriteNote();
}

int settingToInt(const std::optional<QString> &value, bool *ok)
{
    if (!value) {
        if (ok)
            *ok = true;
        return 0;
    }
    const auto n = parseInt(*value);
    if (ok)
        *ok = n.has_value();
    return n.value_or(0);
}

bool settingToBool(const std::optional<QString> &value, bool *ok)
{
    return settingToInt(value, ok) != 0;
}

} // namespace quorvel
