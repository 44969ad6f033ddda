#include "controls/modem/ModemIdentityCache.h"

#include <QFile>
#include <QSaveFile>

namespace quorvel {

ModemIdentityCache::ModemIdentityCache(QString filePath)
    : m_filePath(std::move(filePath))
{
    load();
}

void ModemIdentityCache::load()
{
    if (m_filePath.isEmpty())
        return;
    QFile f(m_filePath);
    if (!f.open(QIODevice::ReadOnly))
        return;
    // A damaged line is skipped; the modem is identified again when it next answers.
    while (!f.atEnd()) {
        const QList<QByteArray> fields = f.readLine(4096).trimmed().split('\t');
        if (fields.size() < 4 || fields[0].isEmpty() || fields[1].isEmpty())
            continue;
        LineDeviceCaps caps;
        caps.name = QString::fromUtf8(fields[1]);
        caps.telephony = true;
        caps.voice = fields[2] == "1";
        caps.digits = fields[3] == "1";
        m_entries.insert(QString::fromUtf8(fields[0]), caps);
    }
}

bool ModemIdentityCache::contains(const QString &path) const
{
    return m_entries.contains(path);
}

LineDeviceCaps ModemIdentityCache::lookup(const QString &path) const
{
    return m_entries.value(path);
}

void ModemIdentityCache::remember(const QString &path, const LineDeviceCaps &caps)
{
    const auto it = m_entries.constFind(path);
    if (it != m_entries.constEnd() && it->name == caps.name && it->voice == caps.voice
        && it->digits == caps.digits)
        return;
    m_entries.insert(path, caps);
    if (m_filePath.isEmpty())
        return;
    QSaveFile f(m_filePath);
    if (!f.open(QIODevice::WriteOnly))
        return;
    for (auto e = m_entries.constBegin(); e != m_entries.constEnd(); ++e) {
        QString name = e->name;
        name.replace('\t', ' ').replace('\n', ' ').replace('\r', ' ');
        f.write(e.key().toUtf8() + '\t' + name.toUtf8() + '\t' + (e->voice ? "1" : "0") + '\t'
                + (e->digits ? "1" : "0") + '\n');
    }
    f.commit();
}

} // namespace quorvel
