#pragma once

#include "shared/call/CallOptions.h"

namespace quorvel {

class RegistryRoutines;

// The call options every incoming call starts from: the answering and incoming-call defaults
// of the settings, read afresh for each call so a change in the desktop's dialogs takes effect
// at the next ring. A value that is missing or not a number reads as false, 0 or "".
class CallDefaults {
public:
    static CallOptions load(const RegistryRoutines &settings);
};

} // namespace quorvel
