#pragma once

#include <QString>
#include <QStringList>

namespace quorvel {

class Clock;
class LineAudioRegistry;
class RegistryRoutines;

// How VoiceModemTelephony finds and drives its modems.
struct VoiceModemConfig {
    // Serial ports to use, in device-index order. Empty: probe `probePatterns` and keep the
    // ports that answer "AT" with "OK".
    QStringList ports;
    QStringList probePatterns { QStringLiteral("/dev/ttyACM*"), QStringLiteral("/dev/ttyUSB*") };

    // Bound for one command's reply. A modem answers in well under a second; resets and
    // caller-ID switches take longest.
    int commandTimeoutMs = 3000;
    // Bound for the "AT" that asks an unknown port whether a modem is there.
    int probeTimeoutMs = 1000;
    // The call is over when no RING came for this long (the ring cadence is 6 s in most
    // countries; a modem says nothing when the caller gives up).
    int ringTimeoutMs = 8000;
    // Caller-ID lines come in a burst; a call's caller ID is reported when name and number are
    // in, or when no further line came for this long.
    int callerIdSettleMs = 300;
    // ATA until VCON.
    int answerTimeoutMs = 10000;
    // ATD until the far end picks up (VCON).
    int dialAnswerTimeoutMs = 60000;
    // How often a lost device's path is looked for, and an open one's checked.
    int devicePollMs = 1000;
    // Audio handed to the modem ahead of the moment it is played: enough to ride out a busy
    // event loop, small enough that a stop is heard at once.
    int audioLeadMs = 300;
    int baudRate = 115200;
    bool hardwareFlowControl = false;
    // UUCP lock folder; empty = the system's.
    QString lockDirectory;
    // Where modem names are remembered, so a modem that another program holds right now still
    // shows under its own name. Empty = not remembered.
    QString identityCacheFile;

    // Not owned. Null clock: the system clock. Null registry: no voice output (getDeviceID(2)
    // is -1).
    Clock *clock = nullptr;
    LineAudioRegistry *audioRegistry = nullptr;

    // Section "Properties\TabDevices": "ModemPorts" (";"-separated paths) and
    // "ModemRingTimeout" (seconds). The identity cache goes next to the settings file.
    static VoiceModemConfig fromSettings(RegistryRoutines settings);
};

} // namespace quorvel
