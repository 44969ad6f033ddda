#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quorvel::test {

TempHome::TempHome()
    : m_oldHome(qgetenv("QUORVEL_HOME"))
    , m_oldRuntime(qgetenv("QUORVEL_RUNTIME_DIR"))
    , m_hadHome(qEnvironmentVariableIsSet("QUORVEL_HOME"))
    , m_hadRuntime(qEnvironmentVariableIsSet("QUORVEL_RUNTIME_DIR"))
{
    m_home = m_dir.path() + "/home";
    m_runtime = m_dir.path() + "/run";
    QDir().mkpath(m_home);
    QDir().mkpath(m_runtime);
    QFile::setPermissions(m_runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("QUORVEL_HOME", QFile::encodeName(m_home));
    qputenv("QUORVEL_RUNTIME_DIR", QFile::encodeName(m_runtime));
}

TempHome::~TempHome()
{
    if (m_hadHome)
        qputenv("QUORVEL_HOME", m_oldHome);
    else
        qunsetenv("QUORVEL_HOME");
    if (m_hadRuntime)
        qputenv("QUORVEL_RUNTIME_DIR", m_oldRuntime);
    else
        qunsetenv("QUORVEL_RUNTIME_DIR");
}

QString binPath(const QString &program)
{
    return QStringLiteral(QUORVEL_BIN_DIR) + '/' + program;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

} // namespace quorvel::test
