#pragma once

#include "shared/common/Clock.h"
#include "shared/common/DataHome.h"
#include "shared/common/LocaleText.h"

#include <QString>

namespace quorvel {

class RegistryRoutines;

// The day journals in Journal/: one file per day and kind ("_Sys.txt", "_Calls.txt",
// "_WWW.txt"), named after the locale's short date with "/" made "-". Every line opens, appends
// and closes the file, so the viewer may read or delete a file at any moment and lines written
// after midnight land in the next day's file.
class Journal
{
public:
    Journal(DataHome home, const Clock &clock, LocaleText locale = LocaleText());

    // "Properties\TabLog": only the system switch guards a writer in the service.
    void loadSwitches(const RegistryRoutines &settings);
    void setSystemSwitch(bool on) { m_system = on; }
    void setCallsSwitch(bool on) { m_calls = on; }
    void setWebSwitch(bool on) { m_web = on; }
    bool systemSwitch() const { return m_system; }
    bool callsSwitch() const { return m_calls; }
    bool webSwitch() const { return m_web; }

    // Service line: time " : " tag "->" text "(" code ")".
    void journalWrite(const QString &text, long long code = 0, const QString &tag = QString()) const;
    // Desktop lines: time " : " text, into "_Sys.txt" / "_Calls.txt", each under its switch.
    void journalSystem(const QString &text) const;
    void journalCall(const QString &text) const;

    // The file a line written now would go to.
    QString dayFile(const QString &suffix) const;
    // Text of a service line as it would be written now (without the line end).
    QString serviceLine(const QString &text, long long code, const QString &tag) const;

    // Deletes journal files last modified before now minus `months` calendar months; months
    // <= 0 keeps everything. "LogDir" is never deleted. Returns the number of files deleted.
    int purgeJournal(int months) const;
    // Months kept for the stored "cmbLogFor" list position: "0" 1, "1" 2, "2" 3, else forever (0).
    static int monthsToKeep(const RegistryRoutines &settings);

private:
    void append(const QString &suffix, const QString &line) const;

    DataHome m_home;
    const Clock &m_clock;
    LocaleText m_locale;
    bool m_system = false;
    bool m_calls = false;
    bool m_web = false;
};

} // namespace quorvel
