#include "service/host/RunMode.h"

namespace quorvel {

QString commandLineText(const QStringList &arguments)
{
    return arguments.mid(1).join(' ');
}

RunMode decideRunMode(const QString &commandLine, const std::optional<QString> &chkRunAsProc,
                      bool bySystemd)
{
    const bool fromDesktop = commandLine == QLatin1String("-gc");
    if (chkRunAsProc && *chkRunAsProc == QLatin1String("0") && !fromDesktop)
        return RunMode::Exit;
    if (chkRunAsProc && *chkRunAsProc == QLatin1String("1"))
        return bySystemd ? RunMode::Service : RunMode::NotAService;
    return RunMode::Process;
}

bool startedBySystemd()
{
    return qEnvironmentVariableIsSet("NOTIFY_SOCKET") || qEnvironmentVariableIsSet("INVOCATION_ID");
}

} // namespace quorvel
