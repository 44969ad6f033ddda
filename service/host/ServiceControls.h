#pragma once

#include "shared/common/Clock.h"
#include "shared/common/DataHome.h"

#include <functional>
#include <memory>

namespace quorvel {

class ChannelFactory;
class Telephony;
class Wave;
class SpeechEngine;
class FrmMain;
class LineForm;
class SpeechForm;
class CommControl;
class SerialCallSink;

// Everything outside the service's own logic, handed in by the program's entry (real controls)
// or by a test (recording doubles). The service owns none of these.
struct ServiceControls
{
    DataHome home;
    const Clock *clock = nullptr;
    ChannelFactory *channels = nullptr;
    // The modem line; null when the machine has no telephony layer at all.
    Telephony *telephony = nullptr;
    // Plays into the telephone line (greetings, beep).
    Wave *lineWave = nullptr;
    // Plays on the computer's sound device (incoming-call sound, line-open beep); also lists
    // the playback devices.
    Wave *localWave = nullptr;
    SpeechEngine *speech = nullptr;

    // Forms the main form loads; empty when that form is not part of this build.
    std::function<std::unique_ptr<LineForm>(FrmMain &)> makeLineForm;
    std::function<std::unique_ptr<SpeechForm>(FrmMain &)> makeSpeechForm;
    // The serial caller-ID form, loaded by the line form in serial caller-ID mode.
    std::function<std::unique_ptr<CommControl>(FrmMain &, SerialCallSink &)> makeCommControl;
};

} // namespace quorvel
