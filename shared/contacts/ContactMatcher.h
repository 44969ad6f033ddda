#pragma once

#include "shared/call/CallOptions.h"
#include "shared/contacts/ContactRecord.h"
#include "shared/records/FixedRecordFile.h"

#include <QString>

#include <memory>
#include <optional>

namespace quorvel {

class RegistryRoutines;

// Finds the contact of a caller: the first record in file order whose number (blanks
// stripped) occurs anywhere in the caller's number. Containment, not prefix: "800" stands for
// every number that holds 800. A blank number matches every caller number that is not empty
// (a catch-all kept at the end of the file); an empty caller number matches nothing.
//
// Block lists make the file large and the answer is needed before the second ring, so the
// matcher keeps an index of the numbers it read and reuses it for as long as the file's
// identity, size and times are unchanged; any change by the desktop makes it read the file
// again. The answer is always the one a scan of the file in order would give.
class ContactMatcher {
public:
    explicit ContactMatcher(QString contactsPath);
    ~ContactMatcher();
    ContactMatcher(const ContactMatcher &) = delete;
    ContactMatcher &operator=(const ContactMatcher &) = delete;

    struct Match {
        qint64 recordNumber = 0;
        ContactRecord contact;
    };
    std::optional<Match> match(const QString &callerNumber);

    // The service's look-up at a caller ID: the matching record number as decimal text, or
    // "-1". On a match `record` receives the contact and its options are laid over `options`.
    // `callerName` takes no part in the search.
    QString findContactByNumber(const QString &callerName, const QString &callerNumber,
                                CallOptions &options, ContactRecord &record,
                                const RegistryRoutines &settings);

    // The same answer by reading every record in order, without an index.
    static std::optional<qint64> scanMatch(const FixedRecordFile &file,
                                           const QString &callerNumber);
    // Whether a record's match text takes a caller number.
    static bool numberMatches(const std::optional<QString> &recordNumber,
                              const QString &callerNumber);

    // How often the file was read in full (the index was built).
    int indexBuilds() const { return m_builds; }

private:
    struct Index;
    void rebuild(const FixedRecordFile::ReadSession &session);

    FixedRecordFile m_file;
    std::unique_ptr<Index> m_index;
    int m_builds = 0;
};

} // namespace quorvel
