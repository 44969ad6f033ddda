#include "service/host/ServiceHost.h"

#include "service/host/FrmMain.h"
#include "service/host/RunMode.h"
#include "shared/settings/RegistryRoutines.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace quorvel {

namespace {
int g_signalPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

// Held for the life of the process; a second copy cannot take it and ends silently.
bool takeInstanceLock()
{
    const QByteArray path = QFile::encodeName(runtimeDir() + QStringLiteral("/quorline.lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    return true; // the descriptor stays open until the process ends
}

void installStopSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}
} // namespace

int ServiceHost::run(const QStringList &arguments, const ControlsBuilder &buildControls)
{
    const DataHome home = DataHome::fromEnvironment();
    home.ensure();

    if (!takeInstanceLock())
        return 0;

    RegistryRoutines settings(home.settingsFile());
    settings.setSubkey(QStringLiteral("Properties\\TabGeneral"));
    const RunMode mode = decideRunMode(commandLineText(arguments),
                                       settings.getRegistryValue(QStringLiteral("ChkRunAsProc")),
                                       startedBySystemd());
    if (mode == RunMode::Exit)
        return 0;
    if (mode == RunMode::NotAService) {
        std::fprintf(stderr, "%s\n", kNotAServiceMessage);
        return 1;
    }

    installStopSignals();
    const ServiceControls controls = buildControls(home);
    FrmMain main(controls);
    bool stopping = false;

    auto stop = [&]() {
        if (stopping)
            return;
        stopping = true;
        if (mode == RunMode::Service)
            sd_notify(0, "STOPPING=1");
        main.unload();
        QCoreApplication::quit();
    };

    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&]() {
        char buf[16];
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], buf, sizeof buf);
        stop();
    });

    // In process mode the program's life is its main form's; a service stays up, formless,
    // until systemd stops it.
    if (mode == RunMode::Process)
        QObject::connect(&main, &FrmMain::unloaded, [&]() { stop(); });

    main.load();
    if (mode == RunMode::Service)
        sd_notify(0, "READY=1");
    if (!main.isLoaded() && mode == RunMode::Process)
        return 0;
    return QCoreApplication::exec();
}

} // namespace quorvel
