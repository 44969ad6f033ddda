// Speed of the shared stores: the contact search at every caller ID (block lists make the
// contacts file large), the calls journal, and the template expansion of each announcement.

#include "shared/call/CallInfo.h"
#include "shared/contacts/ContactMatcher.h"
#include "shared/contacts/ContactsFile.h"
#include "shared/records/CallRecordFile.h"
#include "shared/templates/DesktopTemplateExpander.h"
#include "shared/templates/ServiceTemplateExpander.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace quorvel;

namespace {

constexpr int kContacts = 100000;
constexpr int kRecords = 100000;

QString digits(QRandomGenerator &rng, int len)
{
    QString s;
    for (int i = 0; i < len; ++i)
        s.append(QChar('0' + int(rng.bounded(10))));
    return s;
}

// A block list of 100,000 contacts (179 MB), written once and left unchanged, its time in
// the past as a list saved by the desktop some time before the call.
struct ContactsFixture {
    QTemporaryDir dir;
    QString path;
    ContactsFixture()
    {
        path = dir.path() + "/Contactes.txt";
        QRandomGenerator rng(42);
        QList<ContactRecord> records;
        records.reserve(kContacts);
        for (int i = 0; i < kContacts; ++i) {
            ContactRecord r;
            r.setField(ContactRecord::Field::Name, QStringLiteral("Blocked %1").arg(i));
            r.setField(ContactRecord::Field::Picture, QString());
            r.setField(ContactRecord::Field::CallerName, QString());
            // Area prefixes and whole numbers, as block lists hold them.
            r.setField(ContactRecord::Field::CallerNumber,
                       QStringLiteral("9") + digits(rng, 5 + int(rng.bounded(7))));
            r.setField(ContactRecord::Field::AnswerMode, QStringLiteral("2"));
            r.setField(ContactRecord::Field::EventsMode, QStringLiteral("1"));
            r.setField(ContactRecord::Field::Notes, QString());
            records.append(r);
        }
        ContactsFile(path).appendMany(records);
        QFile f(path);
        f.open(QIODevice::ReadWrite);
        f.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                      QFileDevice::FileModificationTime);
    }
    static ContactsFixture &get()
    {
        static ContactsFixture fixture;
        return fixture;
    }
};

void reportLatencies(benchmark::State &state, std::vector<double> &us)
{
    if (us.empty())
        return;
    std::sort(us.begin(), us.end());
    state.counters["median_ms"] = us[us.size() / 2] / 1000.0;
    state.counters["p99_ms"] = us[std::min(us.size() - 1, us.size() * 99 / 100)] / 1000.0;
    state.counters["max_ms"] = us.back() / 1000.0;
}

// Lookups at caller IDs while the file stays as it is: the matcher's index is reused.
void BM_FindContactByNumber_Unchanged(benchmark::State &state)
{
    ContactsFixture &fx = ContactsFixture::get();
    ContactMatcher matcher(fx.path);
    matcher.match(QStringLiteral("0")); // the first lookup reads the file
    QRandomGenerator rng(7);
    std::vector<double> us;
    int hits = 0;
    for (auto _ : state) {
        const QString caller = QStringLiteral("0049") + digits(rng, 10);
        const auto t0 = std::chrono::steady_clock::now();
        const auto m = matcher.match(caller);
        const auto t1 = std::chrono::steady_clock::now();
        hits += m.has_value();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    reportLatencies(state, us);
    state.counters["hit_rate"] = double(hits) / double(us.size());
    state.counters["index_builds"] = matcher.indexBuilds();
}
BENCHMARK(BM_FindContactByNumber_Unchanged)->Unit(benchmark::kMicrosecond);

// The first lookup after the service starts or the desktop saved the file: reads it all.
void BM_FindContactByNumber_First(benchmark::State &state)
{
    ContactsFixture &fx = ContactsFixture::get();
    std::vector<double> us;
    for (auto _ : state) {
        ContactMatcher matcher(fx.path);
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(matcher.match(QStringLiteral("000000000000")));
        const auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    reportLatencies(state, us);
}
BENCHMARK(BM_FindContactByNumber_First)->Unit(benchmark::kMillisecond)->Iterations(7);

// The same search by reading every record in order, for comparison (a number no contact
// takes, so every record is read).
void BM_FindContactByNumber_Scan(benchmark::State &state)
{
    ContactsFixture &fx = ContactsFixture::get();
    FixedRecordFile file(fx.path, ContactRecord::kSize);
    for (auto _ : state)
        benchmark::DoNotOptimize(ContactMatcher::scanMatch(file, QStringLiteral("000000000000")));
}
BENCHMARK(BM_FindContactByNumber_Scan)->Unit(benchmark::kMillisecond)->Iterations(5);

CallRecord callRecord(int i)
{
    CallRecord r;
    r.setTime(QStringLiteral("10:15:30"));
    r.setCallerName(QStringLiteral("Caller %1").arg(i));
    r.setCallerNumber(QString::number(5550000 + i));
    r.setDate(QStringLiteral("1/5/26"));
    r.setDuration(QStringLiteral("0:00:00"));
    r.setLine(QStringLiteral("0"));
    r.setReserved(QStringLiteral("0"));
    r.setResult(QStringLiteral("Caller (Hang Up)"));
    r.setCallKind(QStringLiteral("0"));
    return r;
}

// 100,000 calls appended one by one, each with its own open, lock and close as at the end of
// every call.
void BM_AppendRecords(benchmark::State &state)
{
    std::vector<CallRecord> records;
    for (int i = 0; i < kRecords; ++i)
        records.push_back(callRecord(i));
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        CallRecordFile file(dir.path() + "/Data/Log/2026/01/05/Data");
        state.ResumeTiming();
        for (const CallRecord &r : records)
            file.append(r);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_AppendRecords)->Unit(benchmark::kMillisecond)->Iterations(3);

// Reading them back: the whole day file, and record by record.
void BM_ReadRecords(benchmark::State &state)
{
    QTemporaryDir dir;
    CallRecordFile file(dir.path() + "/Data");
    for (int i = 0; i < kRecords; ++i)
        file.append(callRecord(i));
    for (auto _ : state) {
        const QList<CallRecord> all = file.readAll();
        qint64 chars = 0;
        for (const CallRecord &r : all)
            chars += r.callerName().size();
        benchmark::DoNotOptimize(chars);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_ReadRecords)->Unit(benchmark::kMillisecond);

void BM_ReadRecordByNumber(benchmark::State &state)
{
    QTemporaryDir dir;
    CallRecordFile file(dir.path() + "/Data");
    for (int i = 0; i < 10000; ++i)
        file.append(callRecord(i));
    qint64 n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(file.read(1 + (n++ % 10000)));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadRecordByNumber);

CallInfo sampleCall()
{
    CallInfo c;
    c.sCallerName = QStringLiteral("Alice Example");
    c.sCallerNumber = QStringLiteral("004930123456");
    c.sTime = QStringLiteral("5:07:09 PM");
    c.sDate = QStringLiteral("1/5/26");
    c.sMessageFile = QStringLiteral("msg.wav");
    c.sDuration = QStringLiteral("0:01:02");
    c.sContactName = QStringLiteral("Alice");
    return c;
}

// 128 characters: every placeholder of a call, with words between them.
QString callTemplate()
{
    QString t = QStringLiteral("<CALL_TYPE> <CALLER_NAME> <CALLER_NUMBER> <CONTACT> <DATE> "
                               "<TIME> <LENGTH> <READ> <MESSAGEORCALL> <MESSAGE_PATH> ");
    t += QString(128 - t.size(), QLatin1Char('.'));
    return t;
}

void BM_ExpandTemplate_Service(benchmark::State &state)
{
    const ServiceTemplateExpander expander({}, QLocale(QLocale::English, QLocale::UnitedStates));
    const QString text = callTemplate();
    const CallInfo call = sampleCall();
    for (auto _ : state)
        benchmark::DoNotOptimize(expander.expandTemplate(text, call));
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(QStringLiteral("%1 chars").arg(text.size()).toStdString());
}
BENCHMARK(BM_ExpandTemplate_Service);

void BM_ExpandTemplate_ServiceAllSeventeen(benchmark::State &state)
{
    const ServiceTemplateExpander expander({ "1", "2", "3", "4", "5", "6", "7" },
                                           QLocale(QLocale::English, QLocale::UnitedStates));
    const QString text = QStringLiteral(
        "<CALLER_NUMBER><CALLER_NAME><MESSAGE_PATH><DATE><TIME><CONTACT><CALL_TYPE><LENGTH>"
        "<READ><MESSAGEORCALL><PLAY><PREV><EXIT><NEXT><FIRST><DELETE><MARK>");
    const CallInfo call = sampleCall();
    for (auto _ : state)
        benchmark::DoNotOptimize(expander.expandTemplate(text, call));
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(QStringLiteral("%1 chars").arg(text.size()).toStdString());
}
BENCHMARK(BM_ExpandTemplate_ServiceAllSeventeen);

void BM_ExpandTemplate_Desktop(benchmark::State &state)
{
    const DesktopTemplateExpander expander(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString text = callTemplate();
    const CallInfo call = sampleCall();
    for (auto _ : state)
        benchmark::DoNotOptimize(expander.expandTemplate(text, call));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ExpandTemplate_Desktop);

} // namespace

BENCHMARK_MAIN();
