#pragma once

#include <QByteArrayView>

namespace quorvel {

// What one line from a modem in command mode means.
enum class AtResult {
    Text, // information text: an identification, a list, a caller-ID line, an echo
    Ok,
    Error, // "ERROR", "+CME ERROR: n", "+CMS ERROR: n"
    Ring, // "RING", also "RING 1" / "RING A" (distinctive ringing)
    Ringing, // ring-back heard while dialling
    Vcon, // voice connection: off hook in voice mode
    Connect, // "CONNECT" (voice transmission may start) or "CONNECT 33600"
    NoCarrier,
    Busy,
    NoDialtone, // "NO DIALTONE" or "NO DIAL TONE"
    NoAnswer,
};

namespace AtResults {

// Classifies a line as the line splitter hands it over (trimmed, without CR LF). Verbose result
// codes only: the driver switches numeric codes off, and a lone digit is too often part of an
// answer to be taken for a result.
AtResult classify(QByteArrayView line);
// True for the results that end a command.
bool isFinal(AtResult result);
// True when the command failed.
bool isFailure(AtResult result);
const char *name(AtResult result);

} // namespace AtResults
} // namespace quorvel
