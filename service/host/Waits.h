#pragma once

#include <functional>

namespace quorvel {

// Pause of n tenths of a second that lets no event of the service run meanwhile. It sleeps on
// the monotonic clock instead of spinning, so a pause does not hold a core at 100%.
void pauseTenths(int tenths);

// Runs the event loop until `done` returns true or `timeoutMs` passed (-1 = no limit). Every
// event of the service (channels, modem, timers) is delivered meanwhile. True when `done` held.
bool waitWithMessages(int timeoutMs, const std::function<bool()> &done);

} // namespace quorvel
