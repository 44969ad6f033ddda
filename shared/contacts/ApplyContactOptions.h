#pragma once

#include "shared/call/CallOptions.h"
#include "shared/contacts/ContactRecord.h"

namespace quorvel {

class RegistryRoutines;

// Lays a matched contact's rules over the call options, which hold the stored defaults. Each
// field is taken with blanks stripped; a field that does not convert leaves its option as it
// was. A contact that asks for the default notifications has them read again from the
// "Events\TabInCommingCall" section of `settings`.
void applyContactOptions(const ContactRecord &contact, CallOptions &options,
                         const RegistryRoutines &settings);

} // namespace quorvel
