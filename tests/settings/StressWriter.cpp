// settings_stress_writer FILE SECTION PREFIX COUNT
// Writes PREFIX0..PREFIX<COUNT-1> = "<PREFIX>-<i>" one at a time through the store, as one of
// two programs changing the same file at once. Exit 0 when every write reported success.

#include "shared/settings/RegistryRoutines.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fputs("usage: settings_stress_writer FILE SECTION PREFIX COUNT\n", stderr);
        return 2;
    }
    quorvel::RegistryRoutines reg(QString::fromLocal8Bit(argv[1]));
    reg.setSubkey(QString::fromLocal8Bit(argv[2]));
    const QString prefix = QString::fromLocal8Bit(argv[3]);
    const int count = QByteArray(argv[4]).toInt();
    for (int i = 0; i < count; ++i) {
        const QString name = prefix + QString::number(i);
        if (!reg.setRegistryValue(name, prefix + u'-' + QString::number(i))) {
            std::fprintf(stderr, "write %d failed: %s\n", i, qPrintable(reg.lastWriteNote()));
            return 1;
        }
    }
    return 0;
}
