#include "tools/quorvel-modemsim/AudioPacer.h"
#include "tools/quorvel-modemsim/CaptureWriter.h"
#include "tools/quorvel-modemsim/JsonLog.h"
#include "tools/quorvel-modemsim/SimOptions.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace quorvel::modemsim;

TEST(AudioPacer, TakesAudioAtLineSpeedPlusItsBuffer)
{
    AudioPacer p(0.25);
    p.start(16000, 100.0);
    EXPECT_EQ(p.budget(100.0), 4000);
    p.consumed(4000, 100.0);
    EXPECT_EQ(p.budget(100.0), 0);
    EXPECT_NEAR(p.nextRoom(100.0), 100.01, 1e-9);
    EXPECT_EQ(p.budget(100.1), 1600);
    p.consumed(1600, 100.1);
    EXPECT_NEAR(p.drainTime(100.1), 100.35, 1e-9);
    // Two seconds of audio at line speed take two seconds.
    double t = 100.1;
    qint64 total = 0;
    while (total < 32000) {
        t = std::max(t, p.nextRoom(t));
        const qint64 b = std::min<qint64>(p.budget(t), 32000 - total);
        p.consumed(b, t);
        total += b;
    }
    EXPECT_NEAR(p.drainTime(t), 102.35, 1e-6);
    EXPECT_EQ(p.underruns(), 0);
}

TEST(AudioPacer, CountsUnderrunsAndClears)
{
    AudioPacer p(0.25);
    p.start(8000, 0.0);
    p.consumed(800, 0.5); // first data late: not an underrun, the line starts then
    EXPECT_NEAR(p.drainTime(0.5), 0.6, 1e-9);
    p.consumed(800, 0.62); // within the tolerance
    EXPECT_EQ(p.underruns(), 0);
    p.consumed(800, 1.0);
    EXPECT_EQ(p.underruns(), 1);
    EXPECT_NEAR(p.underrunSeconds(), 0.28, 1e-9);
    p.clear(1.05);
    EXPECT_NEAR(p.drainTime(1.05), 1.05, 1e-9);
    EXPECT_EQ(p.budget(1.05), 2000);
}

TEST(CaptureWriter, WritesOneNumberedWavPerCall)
{
    QTemporaryDir dir;
    CaptureWriter w(dir.path());
    QString error;
    w.startCall(1);
    QByteArray pcm;
    for (qint16 s : { qint16(0x1010), qint16(-2), qint16(32767) })
        pcm.append(reinterpret_cast<const char *>(&s), 2);
    w.addAudio(pcm);
    w.addAudio(pcm);
    EXPECT_EQ(w.samples(), 6);
    const QString path = w.finishCall(&error);
    EXPECT_EQ(path, dir.filePath(QStringLiteral("call-0001.wav")));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray wav = f.readAll();
    ASSERT_EQ(wav.size(), 44 + 12);
    EXPECT_EQ(wav.left(4), QByteArray("RIFF"));
    EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 4), 36u + 12u);
    EXPECT_EQ(wav.mid(8, 8), QByteArray("WAVEfmt "));
    EXPECT_EQ(qFromLittleEndian<quint16>(wav.constData() + 20), 1); // PCM
    EXPECT_EQ(qFromLittleEndian<quint16>(wav.constData() + 22), 1); // mono
    EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 24), 8000u); // rate
    EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 28), 16000u);
    EXPECT_EQ(qFromLittleEndian<quint16>(wav.constData() + 34), 16);
    EXPECT_EQ(wav.mid(36, 4), QByteArray("data"));
    EXPECT_EQ(qFromLittleEndian<qint16>(wav.constData() + 44), 0x1010);
    EXPECT_EQ(qFromLittleEndian<qint16>(wav.constData() + 46), -2);

    // A call without audio still gets its file; nothing is kept between calls.
    w.startCall(2);
    const QString second = w.finishCall(&error);
    EXPECT_EQ(QFile(second).size(), 44);
    EXPECT_FALSE(w.inCall());
    EXPECT_TRUE(w.finishCall(&error).isEmpty());
}

TEST(CaptureWriter, UnwritableFolderIsAnErrorNotACrash)
{
    CaptureWriter w(QStringLiteral("/nonexistent/folder"));
    w.startCall(1);
    QString error;
    EXPECT_TRUE(w.finishCall(&error).isEmpty());
    EXPECT_TRUE(error.contains(QStringLiteral("call-0001.wav")));
}

TEST(JsonLog, LinesAreJsonWithEscapedText)
{
    const struct {
        QString text;
        bool dropped;
    } cases[] = {
        { QStringLiteral("ATA"), false },
        { QStringLiteral("129,\"16-BIT LINEAR\",16"), false },
        { QStringLiteral("back\\slash \x10 ctl"), true },
        { QStringLiteral("NAME = J\u00d6RG"), false },
    };
    for (const auto &c : cases) {
        const QByteArray line
            = JsonLog::formatLine(1234.5, QStringLiteral("tx"), c.text, c.dropped);
        ASSERT_TRUE(line.endsWith('\n'));
        EXPECT_EQ(line.count('\n'), 1);
        QJsonParseError err;
        const QJsonObject o = QJsonDocument::fromJson(line, &err).object();
        ASSERT_EQ(err.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_DOUBLE_EQ(o.value("t").toDouble(), 1234.5);
        EXPECT_EQ(o.value("dir").toString(), QStringLiteral("tx"));
        EXPECT_EQ(o.value("text").toString(), c.text);
        EXPECT_EQ(o.value("dropped").toBool(), c.dropped);
        EXPECT_EQ(o.contains("dropped"), c.dropped);
    }
    EXPECT_TRUE(
        JsonLog::formatLine(1.0, "rx", "AT", false).startsWith("{\"t\":1.000000,\"dir\":\"rx\""));
}

TEST(JsonLog, WritesAndFlushesEachLine)
{
    QTemporaryDir dir;
    double now = 10.0;
    JsonLog log([&] { return now += 0.5; });
    QString error;
    ASSERT_TRUE(log.open(dir.filePath("log.jsonl"), &error));
    log.write("rx", "ATZ");
    // Readable at once, without closing.
    QFile f(dir.filePath("log.jsonl"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("{\"t\":10.500000,\"dir\":\"rx\",\"text\":\"ATZ\"}\n"));
    EXPECT_FALSE(JsonLog(JsonLog::monotonicSeconds).open("/nonexistent/x/log", &error));
}

TEST(SimOptions, ParsesTheCommandLine)
{
    SimOptions o;
    QString error;
    ASSERT_EQ(SimOptions::parse({ "--link", "/tmp/m", "--script=s.txt", "--log", "l.jsonl",
                                  "--capture", "cap", "--profile", "conexant", "--ring-period",
                                  "0.2", "--fast-audio" },
                                &o, &error),
              SimOptions::Status::Ok)
        << error.toStdString();
    EXPECT_EQ(o.link, QStringLiteral("/tmp/m"));
    EXPECT_EQ(o.script, QStringLiteral("s.txt"));
    EXPECT_EQ(o.log, QStringLiteral("l.jsonl"));
    EXPECT_EQ(o.capture, QStringLiteral("cap"));
    EXPECT_EQ(o.profile, QStringLiteral("conexant"));
    EXPECT_DOUBLE_EQ(o.ringPeriod, 0.2);
    EXPECT_TRUE(o.fastAudio);

    ASSERT_EQ(SimOptions::parse({ "--link", "/tmp/m" }, &o, &error), SimOptions::Status::Ok);
    EXPECT_EQ(o.profile, QStringLiteral("usr"));
    EXPECT_DOUBLE_EQ(o.ringPeriod, 6.0);
    EXPECT_FALSE(o.fastAudio);
    EXPECT_EQ(SimOptions::parse({ "--help" }, &o, &error), SimOptions::Status::Help);

    const struct {
        QStringList args;
        const char *message;
    } bad[] = {
        { {}, "--link PATH is required" },
        { { "--link" }, "--link needs a value" },
        { { "--link", "/tmp/m", "--profile", "hayes" }, "'hayes' is not one of usr, conexant" },
        { { "--link", "/tmp/m", "--ring-period", "0" }, "--ring-period" },
        { { "--link", "/tmp/m", "--ring-period", "x" }, "--ring-period" },
        { { "--link", "/tmp/m", "--verbose" }, "unknown argument '--verbose'" },
        { { "--link", "/tmp/m", "--fast-audio=1" }, "takes no value" },
        { { "--link=" }, "--link needs a value" },
    };
    for (const auto &b : bad) {
        EXPECT_EQ(SimOptions::parse(b.args, &o, &error), SimOptions::Status::Error)
            << b.args.join(' ').toStdString();
        EXPECT_TRUE(error.contains(QString::fromUtf8(b.message))) << error.toStdString();
    }
}
