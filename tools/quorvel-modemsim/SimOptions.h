#pragma once

#include <QString>
#include <QStringList>

namespace quorvel::modemsim {

// The command line of quorvel-modemsim. Pure.
struct SimOptions {
    QString link;
    QString script; // empty: commands come on stdin
    QString log;
    QString capture;
    QString profile = QStringLiteral("usr");
    double ringPeriod = 6.0;
    bool fastAudio = false;
    bool help = false;

    enum class Status { Ok, Help, Error };
    // `arguments` without the program name; "--name value" and "--name=value" both work.
    static Status parse(const QStringList &arguments, SimOptions *options, QString *error);
    static QString usage();
};

} // namespace quorvel::modemsim
