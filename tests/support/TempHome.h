#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace quorvel::test {

// A temporary data home and runtime folder for one test. Sets QUORVEL_HOME and
// QUORVEL_RUNTIME_DIR for this process (and so for every child it starts) and restores them.
class TempHome
{
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome &) = delete;
    TempHome &operator=(const TempHome &) = delete;

    QString home() const { return m_home; }
    QString runtime() const { return m_runtime; }
    QString path(const QString &relative) const { return m_home + '/' + relative; }

private:
    QTemporaryDir m_dir;
    QString m_home;
    QString m_runtime;
    QByteArray m_oldHome;
    QByteArray m_oldRuntime;
    bool m_hadHome;
    bool m_hadRuntime;
};

// Path of a program built into build/bin.
QString binPath(const QString &program);

// Reads a whole file; empty when missing.
QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);

} // namespace quorvel::test
