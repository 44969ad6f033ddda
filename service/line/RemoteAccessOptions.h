#pragma once

#include "shared/templates/ServiceTemplateExpander.h"

#include <QString>

namespace quorvel {

class RegistryRoutines;

// Access to the line from another telephone: who may use it and the keypad keys. Loaded once
// when the line form loads; a change needs a restart of the service.
struct RemoteAccessOptions {
    QString digitsToEnter;
    QString confirmDigit;
    bool allowRemoteAccess = false; // keypad detection while the greeting plays
    bool allowCallerIDAccess = false; // the owner recognised by caller name and number
    QString accessName;
    QString accessNumber;

    QString welcomeText;
    QString beforeText;
    QString afterText;

    RemoteAccessKeys keys;

    static RemoteAccessOptions load(const RegistryRoutines &settings);
};

} // namespace quorvel
