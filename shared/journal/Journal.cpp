#include "shared/journal/Journal.h"

#include "shared/settings/RegistryRoutines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quorvel {

Journal::Journal(DataHome home, const Clock &clock, LocaleText locale)
    : m_home(std::move(home))
    , m_clock(clock)
    , m_locale(std::move(locale))
{
}

void Journal::loadSwitches(const RegistryRoutines &settings)
{
    RegistryRoutines reg(settings.filePath());
    reg.setSubkey(QStringLiteral("Properties\\TabLog"));
    auto on = [&reg](const char *name) {
        bool ok = false;
        const bool value = settingToBool(reg.getRegistryValue(QString::fromLatin1(name)), &ok);
        return ok && value;
    };
    m_system = on("chkLogSys");
    m_calls = on("chkLogCalls");
    m_web = on("chkLogWWW");
}

QString Journal::dayFile(const QString &suffix) const
{
    QString tag = m_locale.shortDate(m_clock.now().date());
    tag.replace('/', '-');
    return m_home.journalDir() + '/' + tag + suffix;
}

QString Journal::serviceLine(const QString &text, long long code, const QString &tag) const
{
    return m_locale.longTime(m_clock.now().time()) + QStringLiteral(" : ") + tag
        + QStringLiteral("->") + text + '(' + QString::number(code) + ')';
}

void Journal::append(const QString &suffix, const QString &line) const
{
    // One open-append-close per line: the viewer and the retention may touch the file between
    // lines. A line that cannot be written is lost; the caller goes on.
    QFile file(dayFile(suffix));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write((line + QStringLiteral("\r\n")).toUtf8());
}

void Journal::journalWrite(const QString &text, long long code, const QString &tag) const
{
    if (!m_system)
        return;
    append(QStringLiteral("_Sys.txt"), serviceLine(text, code, tag));
}

void Journal::journalSystem(const QString &text) const
{
    if (!m_system)
        return;
    append(QStringLiteral("_Sys.txt"), m_locale.longTime(m_clock.now().time()) + " : " + text);
}

void Journal::journalCall(const QString &text) const
{
    if (!m_calls)
        return;
    append(QStringLiteral("_Calls.txt"), m_locale.longTime(m_clock.now().time()) + " : " + text);
}

int Journal::purgeJournal(int months) const
{
    if (months <= 0)
        return 0;
    const QDateTime limit = m_clock.now().addMonths(-months);
    int deleted = 0;
    const QFileInfoList entries = QDir(m_home.journalDir()).entryInfoList(QDir::Files | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        if (entry.fileName() == QLatin1String("LogDir"))
            continue;
        if (entry.lastModified() < limit && QFile::remove(entry.absoluteFilePath()))
            ++deleted;
    }
    return deleted;
}

int Journal::monthsToKeep(const RegistryRoutines &settings)
{
    RegistryRoutines reg(settings.filePath());
    reg.setSubkey(QStringLiteral("Properties\\TabLog"));
    const auto value = reg.getRegistryValue(QStringLiteral("cmbLogFor"));
    if (!value)
        return 0;
    if (*value == QLatin1String("0"))
        return 1;
    if (*value == QLatin1String("1"))
        return 2;
    if (*value == QLatin1String("2"))
        return 3;
    return 0;
}

} // namespace quorvel
