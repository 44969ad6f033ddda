#include "tests/e2e/LineRig.h"

#include "shared/contacts/ContactsFile.h"
#include "shared/records/CallRecordFile.h"
#include "shared/settings/RegistryRoutines.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <csignal>

namespace quorvel::test {

namespace {
constexpr int kStartMs = 30000;

bool waitUntil(const std::function<bool()> &done, int ms)
{
    return QTest::qWaitFor(done, ms);
}

void stop(std::unique_ptr<QProcess> &p)
{
    if (!p)
        return;
    if (p->state() != QProcess::NotRunning) {
        p->terminate();
        if (!p->waitForFinished(10000)) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
    p.reset();
}
} // namespace

LineRig::LineRig()
    : m_home(m_tmp.home())
{
    m_home.ensure();
    QDir().mkpath(captureDir());
    QDir().mkpath(m_tmp.runtime() + QStringLiteral("/audio"));
    setting("Properties\\TabLog", "chkLogSys", "1");
    setting("Language", "Select", "eng.txt");
    setting("Properties\\TabLineStat", "cmbLineStat", "0");
    setting("Properties\\TabDevices", "ModemPorts", modemLink());
    // The shortest cadence the driver accepts: a caller who gives up is seen after 3 s.
    setting("Properties\\TabDevices", "ModemRingTimeout", "3");
}

LineRig::~LineRig()
{
    stopService();
    stop(m_chan);
    stop(m_sim);
}

void LineRig::setting(const QString &section, const QString &name, const QString &value)
{
    RegistryRoutines reg(m_home.settingsFile());
    reg.setSubkey(section);
    reg.setRegistryValue(name, value);
}

void LineRig::answeringDefaults(int rings, const QString &greeting)
{
    setting("Answer\\TabAnsweringMachine", "chkRunAnsIfNotAnswered", "1");
    setting("Answer\\TabAnsweringMachine", "txtNumOfRing", QString::number(rings));
    setting("Answer\\TabAnsweringMachine", "CmbGreetsMessages", greeting);
}

void LineRig::writeGreeting(const QString &name, int ms, int hz)
{
    const int samples = 8 * ms;
    QByteArray pcm(samples * 2, '\0');
    for (int i = 0; i < samples; ++i) {
        const auto v = qint16(8000 * std::sin(2 * M_PI * hz * i / 8000.0));
        qToLittleEndian(v, pcm.data() + 2 * i);
    }
    QByteArray wav("RIFF");
    auto u32 = [&wav](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        wav.append(b, 4);
    };
    auto u16 = [&wav](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        wav.append(b, 2);
    };
    u32(36 + pcm.size());
    wav.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(16000);
    u16(2);
    u16(16);
    wav.append("data");
    u32(pcm.size());
    wav.append(pcm);
    writeFile(m_home.greetsDir() + '/' + name + QStringLiteral(".wav"), wav);
}

void LineRig::addContact(const QString &name, const QString &number, const QString &answerMode,
                         const QList<std::pair<ContactRecord::Field, QString>> &fields)
{
    using F = ContactRecord::Field;
    ContactRecord c;
    c.setField(F::Name, name);
    c.setField(F::CallerNumber, number);
    c.setField(F::AnswerMode, answerMode);
    c.setField(F::EventsMode, QStringLiteral("1"));
    c.setField(F::Emergency, QStringLiteral("0"));
    for (const auto &[field, value] : fields)
        c.setField(field, value);
    ContactsFile(m_home.contactsFile()).append(c);
}

void LineRig::addManyContacts(const QList<std::pair<QString, QString>> &nameNumber)
{
    using F = ContactRecord::Field;
    QList<ContactRecord> records;
    records.reserve(nameNumber.size());
    for (const auto &[name, number] : nameNumber) {
        ContactRecord c;
        c.setField(F::Name, name);
        c.setField(F::CallerNumber, number);
        c.setField(F::AnswerMode, QStringLiteral("1"));
        c.setField(F::EventsMode, QStringLiteral("1"));
        c.setField(F::Emergency, QStringLiteral("0"));
        records << c;
    }
    ContactsFile(m_home.contactsFile()).appendMany(records);
}

bool LineRig::startSimulator(const QString &profile)
{
    stop(m_sim);
    m_sim = std::make_unique<QProcess>();
    m_sim->setProgram(binPath(QStringLiteral("quorvel-modemsim")));
    m_sim->setArguments({ "--link", modemLink(), "--log", m_tmp.runtime() + "/sim.log", "--capture",
                          captureDir(), "--profile", profile, "--ring-period", "0.3",
                          "--fast-audio" });
    m_sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_sim->start();
    if (!m_sim->waitForStarted(10000))
        return false;
    return waitUntil([this]() { return QFileInfo(modemLink()).exists(); }, 10000);
}

bool LineRig::startService()
{
    if (!m_chan) {
        const QString ready = m_tmp.runtime() + QStringLiteral("/chan.ready");
        m_chan = std::make_unique<QProcess>();
        m_chan->setProgram(binPath(QStringLiteral("quorvel-chan")));
        m_chan->setArguments({ "listen", "--ready-file", ready, "407", "409", "410" });
        m_chan->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_chan->start();
        if (!m_chan->waitForStarted(10000)
            || !waitUntil([&ready]() { return QFileInfo::exists(ready); }, 10000))
            return false;
    }
    m_service = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_AUDIO_DIR", m_tmp.runtime() + QStringLiteral("/audio"));
    m_service->setProcessEnvironment(env);
    m_service->setProgram(binPath(QStringLiteral("quorline")));
    m_service->setArguments({ "-gc" });
    m_service->setProcessChannelMode(QProcess::ForwardedChannels);
    m_service->start();
    if (!m_service->waitForStarted(10000))
        return false;
    return waitFor(407, "LineStatus|0|0|False", kStartMs);
}

bool LineRig::start(const QString &profile)
{
    return startSimulator(profile) && startService();
}

void LineRig::script(const QStringList &lines)
{
    for (const QString &l : lines)
        m_sim->write((l + '\n').toUtf8());
    m_sim->waitForBytesWritten(5000);
}

void LineRig::killSimulator()
{
    if (m_sim && m_sim->state() != QProcess::NotRunning) {
        m_sim->kill();
        m_sim->waitForFinished(10000);
    }
}

bool LineRig::waitSimulatorExit(int ms)
{
    return m_sim && (m_sim->state() == QProcess::NotRunning || m_sim->waitForFinished(ms));
}

bool LineRig::command(const QStringList &fields)
{
    return QProcess::execute(binPath(QStringLiteral("quorvel-chan")),
                             QStringList { "send", "408" } + fields)
        == 0;
}

void LineRig::stopService()
{
    if (m_service && m_service->state() != QProcess::NotRunning) {
        QProcess::execute(binPath(QStringLiteral("quorvel-chan")), { "send", "405", "UNLOAD" });
        if (!m_service->waitForFinished(15000)) {
            m_service->kill();
            m_service->waitForFinished(5000);
        }
    }
    m_service.reset();
}

void LineRig::readChan()
{
    if (!m_chan)
        return;
    m_chanBuffer += m_chan->readAllStandardOutput();
    int nl;
    while ((nl = m_chanBuffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_chanBuffer.left(nl);
        m_chanBuffer.remove(0, nl + 1);
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (!o.contains("channel"))
            continue;
        ChanMessage m;
        m.channel = o.value("channel").toInt();
        for (const QJsonValue &v : o.value("fields").toArray())
            m.fields << v.toString();
        m.t = o.value("t").toDouble();
        m_messages << m;
    }
}

QList<ChanMessage> LineRig::messages()
{
    readChan();
    return m_messages;
}

QStringList LineRig::texts(int channel)
{
    QStringList out;
    for (const ChanMessage &m : messages())
        if (m.channel == channel)
            out << m.fields.join('|');
    return out;
}

bool LineRig::waitFor(int channel, const QString &joinedFields, int ms)
{
    return waitUntil([&]() { return texts(channel).contains(joinedFields); }, ms);
}

QList<SimEvent> LineRig::simLog()
{
    QList<SimEvent> out;
    const QList<QByteArray> lines = readFile(m_tmp.runtime() + "/sim.log").split('\n');
    for (const QByteArray &line : lines) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.isEmpty())
            continue;
        out << SimEvent { o.value("t").toDouble(), o.value("dir").toString(),
                          o.value("text").toString() };
    }
    return out;
}

QStringList LineRig::modemCommands()
{
    QStringList out;
    for (const SimEvent &e : simLog())
        if (e.dir == QLatin1String("rx"))
            out << e.text;
    return out;
}

QString LineRig::journal() const
{
    QString all;
    for (const QString &f : QDir(m_home.journalDir()).entryList({ "*_Sys.txt" }, QDir::Files))
        all += QString::fromUtf8(readFile(m_home.journalDir() + '/' + f));
    return all;
}

QList<CallRecord> LineRig::records() const
{
    return CallRecordFile::forDay(m_home, QDate::currentDate()).readAll();
}

bool LineRig::waitRecords(int count, int ms)
{
    return waitUntil([&]() { return records().size() >= count; }, ms);
}

bool LineRig::waitCalls(int count, int ms)
{
    auto idles = [this](int channel) {
        int n = 0;
        for (const QString &t : texts(channel))
            n += t.startsWith(QLatin1String("Tapi_Idle|"));
        return n;
    };
    return waitUntil(
        [&]() { return records().size() >= count && idles(407) >= count && idles(410) >= count; },
        ms);
}

QByteArray LineRig::capture(int call) const
{
    const QByteArray wav
        = readFile(captureDir() + QStringLiteral("/call-%1.wav").arg(call, 4, 10, QChar('0')));
    return wav.size() > 44 ? wav.mid(44) : QByteArray();
}

} // namespace quorvel::test
