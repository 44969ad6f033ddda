#include "shared/modem/AtResult.h"

#include <QByteArray>

namespace quorvel::AtResults {

namespace {
bool startsWithWord(const QByteArray &line, const char *word)
{
    const QByteArray w(word);
    return line.startsWith(w) && (line.size() == w.size() || line.at(w.size()) == ' ');
}
} // namespace

AtResult classify(QByteArrayView view)
{
    const QByteArray line = view.toByteArray().trimmed().toUpper();
    if (line == "OK")
        return AtResult::Ok;
    if (line == "ERROR" || line.startsWith("+CME ERROR") || line.startsWith("+CMS ERROR"))
        return AtResult::Error;
    if (line == "RINGING")
        return AtResult::Ringing;
    if (startsWithWord(line, "RING"))
        return AtResult::Ring;
    if (line.size() == 5 && line.startsWith("RING")) {
        const char c = line.at(4);
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'D'))
            return AtResult::Ring;
    }
    if (startsWithWord(line, "VCON"))
        return AtResult::Vcon;
    if (startsWithWord(line, "CONNECT"))
        return AtResult::Connect;
    if (line == "NO CARRIER")
        return AtResult::NoCarrier;
    if (line == "BUSY")
        return AtResult::Busy;
    if (line == "NO DIALTONE" || line == "NO DIAL TONE")
        return AtResult::NoDialtone;
    if (line == "NO ANSWER")
        return AtResult::NoAnswer;
    return AtResult::Text;
}

bool isFinal(AtResult result)
{
    switch (result) {
    case AtResult::Text:
    case AtResult::Ring:
    case AtResult::Ringing:
        return false;
    default:
        return true;
    }
}

bool isFailure(AtResult result)
{
    switch (result) {
    case AtResult::Error:
    case AtResult::NoCarrier:
    case AtResult::Busy:
    case AtResult::NoDialtone:
    case AtResult::NoAnswer:
        return true;
    default:
        return false;
    }
}

const char *name(AtResult result)
{
    switch (result) {
    case AtResult::Text:
        return "text";
    case AtResult::Ok:
        return "OK";
    case AtResult::Error:
        return "ERROR";
    case AtResult::Ring:
        return "RING";
    case AtResult::Ringing:
        return "RINGING";
    case AtResult::Vcon:
        return "VCON";
    case AtResult::Connect:
        return "CONNECT";
    case AtResult::NoCarrier:
        return "NO CARRIER";
    case AtResult::Busy:
        return "BUSY";
    case AtResult::NoDialtone:
        return "NO DIALTONE";
    case AtResult::NoAnswer:
        return "NO ANSWER";
    }
    return "?";
}

} // namespace quorvel::AtResults
