// The desktop's side of the concurrent-writer test: while the test appends numbered call
// records, this process flags and deletes records of the same file until told to stop. It
// prints the numbers of the records it deleted and what it did.
//
// usage: stores_stress_helper RECORD_FILE STOP_FILE SEED

#include "shared/records/CallRecordFile.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QString>

#include <cstdio>

using namespace quorvel;

namespace {
// The record carries its number in the caller number; the rest follows from the number.
bool wellFormed(const CallRecord &r, int *id)
{
    bool ok = false;
    *id = r.callerNumber().toInt(&ok);
    if (!ok)
        return false;
    const char flag = r.bytes()[1];
    return (flag == '\0' || flag == '0' || flag == '1')
        && r.callerName() == QStringLiteral("Caller %1").arg(*id)
        && r.notes() == QStringLiteral("note %1 ").arg(*id).repeated(20).left(256).trimmed();
}
} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: stores_stress_helper RECORD_FILE STOP_FILE SEED\n");
        return 2;
    }
    CallRecordFile file(QString::fromLocal8Bit(argv[1]));
    const QString stop = QString::fromLocal8Bit(argv[2]);
    QRandomGenerator rng(quint32(std::atoi(argv[3])));
    std::printf("ready\n");
    std::fflush(stdout);

    long toggles = 0;
    long torn = 0;
    QList<int> deleted;
    while (!QFileInfo::exists(stop)) {
        const qint64 count = file.count();
        if (count == 0)
            continue;
        const qint64 n = 1 + qint64(rng.bounded(quint32(count)));
        const auto rec = file.read(n);
        if (!rec)
            continue;
        int id = -1;
        if (!wellFormed(*rec, &id)) {
            ++torn;
            continue;
        }
        if (rng.bounded(4) == 0) {
            // Only this process deletes, so record n is still the one just read.
            if (file.remove(n))
                deleted.append(id);
        } else if (file.setFlag(n, rec->userFlag() != QLatin1String("1"))) {
            ++toggles;
        }
    }
    std::printf("toggles %ld\ntorn %ld\ndeleted", toggles, torn);
    for (int id : deleted)
        std::printf(" %d", id);
    std::printf("\n");
    return 0;
}
