#pragma once

#include <QString>

namespace quorvel {

// The data home ("program folder"): one folder that holds everything the system keeps.
// $QUORVEL_HOME, else $XDG_DATA_HOME/quorvel, else ~/.local/share/quorvel.
class DataHome
{
public:
    DataHome() = default;
    explicit DataHome(QString root);

    // Resolves the data home from the environment; both programs call this.
    static DataHome fromEnvironment();
    // Where the shipped data lives: $QUORVEL_DATA_DIR, else data/ of the source tree this was
    // built from, else /usr/share/quorvel.
    static QString installedDataDir();

    QString root() const { return m_root; }
    // root + "/" + relative; relative uses "/" separators ("Data/Log/", "Contactes.txt").
    QString path(const QString &relative) const;

    QString dataDir() const { return path("Data"); }
    QString logDir() const { return path("Data/Log"); }
    QString journalDir() const { return path("Journal"); }
    QString transDir() const { return path("Trans"); }
    QString greetsDir() const { return path("Greets"); }
    QString soundDir() const { return path("Sound"); }
    QString picsDir() const { return path("Pics"); }
    QString contactsFile() const { return path("Contactes.txt"); }
    QString beepFile() const { return path("Beep.wav"); }
    QString atCommandsFile() const { return path("AT_Commands.txt"); }
    QString settingsFile() const { return path("settings.ini"); }

    // True when `candidate` (absolute or relative to the root) resolves to a path inside
    // `subfolder` of the data home, after "..", symlinks of existing parts and "." are resolved.
    bool contains(const QString &candidate, const QString &subfolder = QString()) const;

    // Creates missing folders and copies shipped files that are missing (language files,
    // sounds, greetings, Beep.wav). Never overwrites a file the user has. Returns false when
    // the root itself cannot be created.
    bool ensure(const QString &installedData = installedDataDir()) const;

private:
    QString m_root;
};

// The runtime folder for sockets and locks: $QUORVEL_RUNTIME_DIR, else $XDG_RUNTIME_DIR/quorvel,
// else /tmp/quorvel-<uid>. Created with mode 0700.
QString runtimeDir();

} // namespace quorvel
