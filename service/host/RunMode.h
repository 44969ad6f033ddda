#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace quorvel {

enum class RunMode {
    Exit,            // end at once, silently
    Process,         // a plain process started by the desktop program
    Service,         // a systemd service
    NotAService,     // service mode asked for, but systemd did not start us
};

// The command line as one text: the arguments after the program name joined by blanks, so
// "-gc " (with a trailing blank) is not "-gc".
QString commandLineText(const QStringList &arguments);

// `chkRunAsProc` is "Properties\TabGeneral" "ChkRunAsProc" (nullopt when absent);
// `startedBySystemd` is true when systemd's environment (NOTIFY_SOCKET or INVOCATION_ID) is set.
RunMode decideRunMode(const QString &commandLine, const std::optional<QString> &chkRunAsProc,
                      bool startedBySystemd);

bool startedBySystemd();

} // namespace quorvel
