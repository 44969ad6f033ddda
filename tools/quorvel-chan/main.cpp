// quorvel-chan: sends and prints channel messages from the command line, standing in for either
// program (scripts, tests, an administrator checking what the service says).

#include "controls/channel/UnixChannel.h"
#include "shared/channel/ChannelMessage.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

using quorvel::UnixChannel;

namespace {

constexpr int kSent = 0;
constexpr int kNoListener = 1;
constexpr int kUsage = 2;

const char kHelp[] = R"(Usage:
  quorvel-chan send N FIELD...
      Opens channel N and sends one message: the fields joined with CR LF.
      Exit 0 when the message was handed to the program that has N open, 1 when no other
      program has N open (or it went away before taking the message), 2 on a usage error or
      a message longer than 65536 bytes of UTF-8.
  quorvel-chan probe N
      Exit 0 when another program has channel N open, 1 when none has.
  quorvel-chan listen [--ready-file PATH] [--count K] N [N...]
      Opens each channel N and prints every message that arrives as one JSON line:
        {"channel":N,"fields":["Name","0",...],"t":12345.678901}
      where t is the arrival time in seconds of CLOCK_MONOTONIC. Each line is flushed at
      once. Once every channel is open it prints {"ready":true} on stderr and, with
      --ready-file, creates PATH. Runs until SIGTERM or SIGINT (exit 0), or until K
      messages have arrived with --count K. Problems of the transport (refused peers,
      broken messages) are printed on stderr as {"error":"..."}.

Channels live in $QUORVEL_RUNTIME_DIR, else $XDG_RUNTIME_DIR/quorvel.
)";

int usage(const char *problem = nullptr)
{
    if (problem)
        std::fprintf(stderr, "quorvel-chan: %s\n", problem);
    std::fputs(kHelp, stderr);
    return kUsage;
}

bool parseNumber(const QString &text, int *number)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n <= 0)
        return false;
    *number = n;
    return true;
}

double monotonicSeconds()
{
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void printErrorLine(const QString &description)
{
    const QByteArray json
        = QJsonDocument(QJsonArray { description }).toJson(QJsonDocument::Compact);
    // Strip the array brackets: {"error":"..."}.
    std::fprintf(stderr, "{\"error\":%s}\n", json.mid(1, json.size() - 2).constData());
    std::fflush(stderr);
}

int sendCommand(const QStringList &args)
{
    if (args.size() < 2)
        return usage("send needs a channel number and at least one field");
    int number = 0;
    if (!parseNumber(args[0], &number))
        return usage("the channel number must be a positive whole number");
    const QString text = quorvel::ChannelMessage::join(args.mid(1));
    if (!quorvel::ChannelMessage::fits(text)) {
        std::fprintf(stderr, "quorvel-chan: the message is %lld bytes; the limit is %lld\n",
                     static_cast<long long>(text.toUtf8().size()),
                     static_cast<long long>(quorvel::ChannelMessage::MaxBytes));
        return kUsage;
    }
    UnixChannel channel;
    QObject::connect(&channel, &UnixChannel::transportError, printErrorLine);
    if (!channel.openChannel(number)) {
        std::fprintf(stderr, "quorvel-chan: no program has channel %d open\n", number);
        return kNoListener;
    }
    channel.sendText(text);
    if (!channel.flush(10000) || channel.peerCount() == 0) {
        std::fprintf(stderr, "quorvel-chan: the program on channel %d did not take the message\n",
                     number);
        return kNoListener;
    }
    return kSent;
}

int probeCommand(const QStringList &args)
{
    int number = 0;
    if (args.size() != 1 || !parseNumber(args[0], &number))
        return usage("probe needs one channel number");
    UnixChannel channel;
    return channel.openChannel(number) ? kSent : kNoListener;
}

// SIGTERM and SIGINT end the event loop from a pipe, so the endpoints close their sockets.
int g_signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

int listenCommand(QStringList args)
{
    QString readyFile;
    long long count = -1;
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--ready-file") && !args.isEmpty()) {
            readyFile = args.takeFirst();
        } else if (option == QLatin1String("--count") && !args.isEmpty()) {
            bool ok = false;
            count = args.takeFirst().toLongLong(&ok);
            if (!ok || count <= 0)
                return usage("--count needs a positive number");
        } else {
            return usage(qPrintable(QStringLiteral("unknown option %1").arg(option)));
        }
    }
    if (args.isEmpty())
        return usage("listen needs at least one channel number");
    std::vector<int> numbers;
    for (const QString &arg : args) {
        int number = 0;
        if (!parseNumber(arg, &number))
            return usage("channel numbers must be positive whole numbers");
        numbers.push_back(number);
    }

    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("quorvel-chan: pipe");
        return 1;
    }
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated,
                     [] { QCoreApplication::quit(); });

    long long received = 0;
    std::vector<std::unique_ptr<UnixChannel>> channels;
    for (int number : numbers) {
        auto channel = std::make_unique<UnixChannel>();
        UnixChannel *raw = channel.get();
        QObject::connect(raw, &UnixChannel::transportError, printErrorLine);
        QObject::connect(
            raw, &UnixChannel::textArrived, [number, count, &received](const QString &text) {
                if (count > 0 && received >= count)
                    return;
                const double t = monotonicSeconds();
                QJsonArray fields;
                for (const QString &field : quorvel::ChannelMessage::split(text))
                    fields.append(field);
                const QByteArray json = QJsonDocument(fields).toJson(QJsonDocument::Compact);
                std::printf("{\"channel\":%d,\"fields\":%s,\"t\":%.6f}\n", number, json.constData(),
                            t);
                std::fflush(stdout);
                if (count > 0 && ++received >= count)
                    QCoreApplication::quit();
            });
        raw->openChannel(number);
        if (raw->socketPath().isEmpty()) {
            std::fprintf(stderr, "quorvel-chan: cannot listen on channel %d\n", number);
            return 1;
        }
        channels.push_back(std::move(channel));
    }
    if (!readyFile.isEmpty()) {
        QSaveFile ready(readyFile);
        if (!ready.open(QIODevice::WriteOnly) || ready.write("ready\n") < 0 || !ready.commit()) {
            std::fprintf(stderr, "quorvel-chan: cannot write %s\n", qPrintable(readyFile));
            return 1;
        }
    }
    std::fputs("{\"ready\":true}\n", stderr);
    std::fflush(stderr);
    QCoreApplication::exec();
    channels.clear();
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")
        || command == QLatin1String("help")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (command == QLatin1String("send"))
        return sendCommand(args);
    if (command == QLatin1String("probe"))
        return probeCommand(args);
    if (command == QLatin1String("listen"))
        return listenCommand(args);
    return usage(qPrintable(QStringLiteral("unknown command %1").arg(command)));
}
