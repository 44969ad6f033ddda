#pragma once

#include "service/host/ServiceControls.h"

#include <QStringList>
#include <functional>

namespace quorvel {

// Builds the controls the service runs on; the program's entry supplies the real ones.
using ControlsBuilder = std::function<ServiceControls(const DataHome &)>;

// Program entry of the line service: run-mode decision, second-instance lock, systemd
// notification, stop by SIGTERM/SIGINT, and the main form's life.
class ServiceHost
{
public:
    static inline const char *const kNotAServiceMessage = "This program must be started as a service.";

    // Returns the process exit code. Needs a QCoreApplication.
    static int run(const QStringList &arguments, const ControlsBuilder &buildControls);
};

} // namespace quorvel
