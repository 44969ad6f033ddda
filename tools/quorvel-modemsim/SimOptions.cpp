#include "tools/quorvel-modemsim/SimOptions.h"

#include "tools/quorvel-modemsim/ModemProfile.h"

#include <cmath>

namespace quorvel::modemsim {

QString SimOptions::usage()
{
    return QStringLiteral(
        "usage: quorvel-modemsim --link PATH [--script FILE] [--log FILE] [--capture DIR]\n"
        "                        [--profile usr|conexant] [--ring-period SECONDS] [--fast-audio]\n"
        "A voice modem on a pseudo-terminal published as the symlink PATH.\n"
        "  --script FILE      line script (without it, the same commands are read on stdin)\n"
        "  --log FILE         one JSON line per event: {\"t\":<CLOCK_MONOTONIC s>,\n"
        "                     \"dir\":\"rx\"|\"tx\"|\"event\",\"text\":...}\n"
        "  --capture DIR      audio the host played, one call-NNNN.wav per call (16-bit 8 kHz)\n"
        "  --profile          usr (default) or conexant\n"
        "  --ring-period S    seconds between rings of `ringing` (default 6)\n"
        "  --fast-audio       take voice data as fast as it comes, not at line speed\n"
        "Script commands, one a line, '#' at the start of a line for comments:\n"
        "  ring | ringing N | send TEXT | cid NUMBER [NAME] | wait SECONDS | hangup |\n"
        "  dtmf DIGITS | dle CHAR | expect COMMAND SECONDS | answer | mute | unmute | exit [CODE]\n"
        "Exit codes: 0 normal end, 2 usage error, 3 an expect timed out, 4 pseudo-terminal "
        "failure.\n");
}

SimOptions::Status SimOptions::parse(const QStringList &arguments, SimOptions *options,
                                     QString *error)
{
    SimOptions o;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        QString value;
        bool hasValue = false;
        const qsizetype eq = name.indexOf(u'=');
        if (name.startsWith(QStringLiteral("--")) && eq > 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            value = arguments.at(++i);
            return true;
        };
        if (name == u"--help" || name == u"-h") {
            *options = o;
            options->help = true;
            return Status::Help;
        }
        if (name == u"--fast-audio") {
            if (hasValue) {
                *error = QStringLiteral("--fast-audio takes no value");
                return Status::Error;
            }
            o.fastAudio = true;
            continue;
        }
        QString *target = nullptr;
        if (name == u"--link")
            target = &o.link;
        else if (name == u"--script")
            target = &o.script;
        else if (name == u"--log")
            target = &o.log;
        else if (name == u"--capture")
            target = &o.capture;
        else if (name == u"--profile")
            target = &o.profile;
        if (target) {
            if (!takeValue())
                return Status::Error;
            if (value.isEmpty()) {
                *error = QStringLiteral("%1 needs a value").arg(name);
                return Status::Error;
            }
            *target = value;
            continue;
        }
        if (name == u"--ring-period") {
            if (!takeValue())
                return Status::Error;
            bool ok = false;
            const double seconds = value.toDouble(&ok);
            if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 3600) {
                *error = QStringLiteral("--ring-period: '%1' is not a number of seconds above 0")
                             .arg(value);
                return Status::Error;
            }
            o.ringPeriod = seconds;
            continue;
        }
        *error = QStringLiteral("unknown argument '%1'").arg(arguments.at(i));
        return Status::Error;
    }
    if (o.link.isEmpty()) {
        *error = QStringLiteral("--link PATH is required");
        return Status::Error;
    }
    if (!ModemProfile::byName(o.profile)) {
        *error = QStringLiteral("--profile: '%1' is not one of %2")
                     .arg(o.profile, ModemProfile::names().join(QStringLiteral(", ")));
        return Status::Error;
    }
    *options = o;
    return Status::Ok;
}

} // namespace quorvel::modemsim
