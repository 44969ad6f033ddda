#include "shared/common/DataHome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {

namespace {
const char *const kFolders[] = {"Data", "Data/Log", "Journal", "Trans", "Greets", "Sound", "Pics"};

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}
} // namespace

DataHome::DataHome(QString root)
    : m_root(QDir::cleanPath(std::move(root)))
{
}

DataHome DataHome::fromEnvironment()
{
    QString home = env("QUORVEL_HOME");
    if (home.isEmpty()) {
        QString xdg = env("XDG_DATA_HOME");
        if (xdg.isEmpty())
            xdg = QDir::homePath() + "/.local/share";
        home = xdg + "/quorvel";
    }
    return DataHome(QDir(home).absolutePath());
}

QString DataHome::installedDataDir()
{
    const QString fromEnv = env("QUORVEL_DATA_DIR");
    if (!fromEnv.isEmpty())
        return fromEnv;
#ifdef QUORVEL_SOURCE_DATA_DIR
    if (QFileInfo::exists(QStringLiteral(QUORVEL_SOURCE_DATA_DIR)))
        return QStringLiteral(QUORVEL_SOURCE_DATA_DIR);
#endif
    return QStringLiteral("/usr/share/quorvel");
}

QString DataHome::path(const QString &relative) const
{
    if (relative.isEmpty())
        return m_root;
    return m_root + '/' + relative;
}

bool DataHome::contains(const QString &candidate, const QString &subfolder) const
{
    if (candidate.isEmpty())
        return false;
    QFileInfo info(QDir::isAbsolutePath(candidate) ? candidate : path(candidate));
    // Resolve the deepest existing ancestor so a symlink cannot lead out of the home, then
    // append what does not exist yet.
    QString tail;
    QString probe = QDir::cleanPath(info.absoluteFilePath());
    while (!QFileInfo::exists(probe)) {
        const int slash = probe.lastIndexOf('/');
        if (slash <= 0)
            return false;
        tail = probe.mid(slash) + tail;
        probe = probe.left(slash);
    }
    const QString resolved = QDir::cleanPath(QFileInfo(probe).canonicalFilePath() + tail);
    QString base = QFileInfo(path(subfolder)).canonicalFilePath();
    if (base.isEmpty())
        return false;
    return resolved.startsWith(base + '/');
}

bool DataHome::ensure(const QString &installedData) const
{
    if (!QDir().mkpath(m_root))
        return false;
    for (const char *folder : kFolders)
        QDir().mkpath(path(QString::fromLatin1(folder)));
    if (installedData.isEmpty() || !QFileInfo(installedData).isDir())
        return true;
    QDirIterator it(installedData, QDir::Files, QDirIterator::Subdirectories);
    const QDir source(installedData);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString rel = source.relativeFilePath(from);
        const QString to = path(rel);
        if (QFileInfo::exists(to))
            continue;
        QDir().mkpath(QFileInfo(to).absolutePath());
        if (QFile::copy(from, to))
            QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                          | QFile::ReadOther);
    }
    return true;
}

QString runtimeDir()
{
    QString dir = env("QUORVEL_RUNTIME_DIR");
    if (dir.isEmpty()) {
        const QString xdg = env("XDG_RUNTIME_DIR");
        dir = xdg.isEmpty() ? QStringLiteral("/tmp/quorvel-%1").arg(getuid()) : xdg + "/quorvel";
    }
    QDir().mkpath(dir);
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    return dir;
}

} // namespace quorvel
