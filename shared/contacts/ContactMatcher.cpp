#include "shared/contacts/ContactMatcher.h"

#include "shared/contacts/ApplyContactOptions.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvel {

namespace {

// File times tick coarsely (a kernel tick, a whole second on some file systems): a write that
// lands in the same tick as our read leaves size and times as they were. An index is only
// reused once the file's time lies clearly before the moment it was read.
constexpr qint64 kTimeGrainNs = 2'000'000'000;

qint64 realtimeNs()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

struct ViewHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view v) const { return std::hash<std::u16string_view> {}(v); }
};
struct ViewEq {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const { return a == b; }
};

std::u16string_view viewOf(const QString &s)
{
    return { reinterpret_cast<const char16_t *>(s.utf16()), size_t(s.size()) };
}

} // namespace

struct ContactMatcher::Index {
    FileStamp stamp;
    bool reusable = false;
    // Each distinct number with the first record that holds it.
    std::unordered_map<std::u16string, qint64, ViewHash, ViewEq> first;
    // The first record with a blank number; 0 when there is none.
    qint64 firstBlank = 0;
    // The lengths the numbers come in, ascending.
    std::vector<size_t> lengths;
};

ContactMatcher::ContactMatcher(QString contactsPath)
    : m_file(std::move(contactsPath), ContactRecord::kSize)
{
}

ContactMatcher::~ContactMatcher() = default;

bool ContactMatcher::numberMatches(const std::optional<QString> &recordNumber,
                                   const QString &callerNumber)
{
    if (!recordNumber || callerNumber.isEmpty())
        return false;
    return recordNumber->isEmpty() || callerNumber.contains(*recordNumber);
}

std::optional<qint64> ContactMatcher::scanMatch(const FixedRecordFile &file,
                                                const QString &callerNumber)
{
    std::optional<qint64> found;
    if (callerNumber.isEmpty())
        return found;
    file.scan([&](qint64 n, const char *rec) {
        if (!found && numberMatches(ContactRecord::matchNumberOf(rec), callerNumber))
            found = n;
    });
    return found;
}

void ContactMatcher::rebuild(const FixedRecordFile::ReadSession &session)
{
    auto index = std::make_unique<Index>();
    const qint64 readAt = realtimeNs();
    index->stamp = session.stamp();
    std::vector<bool> seenLength(1, false);
    const bool complete = session.scan([&](qint64 n, const char *rec) {
        const std::optional<QString> number = ContactRecord::matchNumberOf(rec);
        if (!number)
            return;
        if (number->isEmpty()) {
            if (index->firstBlank == 0)
                index->firstBlank = n;
            return;
        }
        // Records come in order, so the first insertion of a number is its lowest record.
        index->first.try_emplace(std::u16string(viewOf(*number)), n);
        const size_t len = size_t(number->size());
        if (len >= seenLength.size())
            seenLength.resize(len + 1, false);
        seenLength[len] = true;
    });
    for (size_t len = 1; len < seenLength.size(); ++len) {
        if (seenLength[len])
            index->lengths.push_back(len);
    }
    // Every write moves the modification time to the present, so once that time is clearly
    // past a later write can no longer hide behind it; the change time (kept in the stamp)
    // still catches a modification time put back by hand.
    index->reusable = complete && index->stamp.mtimeNs + kTimeGrainNs < readAt;
    m_index = std::move(index);
    ++m_builds;
}

std::optional<ContactMatcher::Match> ContactMatcher::match(const QString &callerNumber)
{
    if (callerNumber.isEmpty())
        return std::nullopt;
    const FixedRecordFile::ReadSession session(m_file);
    if (!session.isOpen()) {
        m_index.reset();
        return std::nullopt;
    }
    if (!m_index || !m_index->reusable || !(m_index->stamp == session.stamp()))
        rebuild(session);

    const Index &ix = *m_index;
    qint64 best = ix.firstBlank;
    const std::u16string_view caller = viewOf(callerNumber);
    // Every piece of the caller's number that is as long as some stored number: a few hundred
    // look-ups for a real number, whatever the size of the file.
    for (const size_t len : ix.lengths) {
        if (len > caller.size() || best == 1)
            break;
        for (size_t at = 0; at + len <= caller.size(); ++at) {
            const auto it = ix.first.find(caller.substr(at, len));
            if (it != ix.first.end() && (best == 0 || it->second < best))
                best = it->second;
        }
    }
    if (best == 0)
        return std::nullopt;
    const std::optional<QByteArray> bytes = session.read(best);
    if (!bytes)
        return std::nullopt;
    return Match { best, ContactRecord::fromBytes(*bytes) };
}

QString ContactMatcher::findContactByNumber(const QString &callerName, const QString &callerNumber,
                                            CallOptions &options, ContactRecord &record,
                                            const RegistryRoutines &settings)
{
    Q_UNUSED(callerName);
    const std::optional<Match> m = match(callerNumber);
    if (!m)
        return QStringLiteral("-1");
    record = m->contact;
    applyContactOptions(record, options, settings);
    return QString::number(m->recordNumber);
}

} // namespace quorvel
