#pragma once

#include <QString>

namespace quorvel {

// What to do with one incoming call. Reset from the stored defaults at the start of every call,
// overlaid by the matched contact once the caller is known.
struct CallOptions
{
    bool bAnswerMachine = false;
    int nRings = 0;
    QString sGreetingFile;   // file name under Greets/, with ".wav"
    bool bBeepAndWait = false;
    bool bHangUp = false;
    bool bDoNothing = false;
    bool bShowCall = false;
    int nCallDisplayStyle = 0;
    bool bShowLineControl = false;
    bool bPlaySound_IC = false;
    QString sSoundFile;
    bool bSayCall = false;
    QString sSayText;

    // Per-call settings read with the defaults.
    bool bWaitForCallerID = false;
    bool bDesktopRunning = false;
    bool bEventsOnlyWithDesktop = false;

    // Stored with a contact but acting on nothing in the line service: the specific-answer
    // option flag and the further group of the contact record.
    bool bOptionFlag = false;
    int nEventsMode = 0;
    bool bGroupSwitch = false;
    int nGroupNumber1 = 0;
    QString sGroupName;
    bool bGroupFlag = false;
    int nGroupNumber2 = 0;
    QString sGroupText;
};

} // namespace quorvel
