#pragma once

#include "controls/audio/RecordingWave.h"
#include "controls/modem/RecordingTelephony.h"
#include "controls/speech/RecordingSpeech.h"
#include "service/host/FrmMain.h"
#include "service/host/SerialLink.h"
#include "service/line/FrmLine.h"
#include "service/speech/FrmTTS.h"
#include "shared/channel/ChannelMessage.h"
#include "shared/channel/LoopbackChannelFactory.h"
#include "shared/common/Clock.h"
#include "shared/contacts/ContactRecord.h"
#include "shared/contacts/ContactsFile.h"
#include "shared/records/CallRecordFile.h"
#include "shared/settings/RegistryRoutines.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

namespace quorvel::test {

// The serial caller-ID form as the line form sees it, recording what it is asked.
class FakeCommControl : public CommControl {
public:
    QStringList operations;
    bool portOpensOnConnect = true;
    bool portOpen = false;
    bool portSticksOpen = false; // commDisconnect leaves the port reporting open

    void commConnect(int port, const QString &command) override
    {
        operations << QStringLiteral("commConnect(%1,%2)").arg(port).arg(command);
        if (portOpensOnConnect)
            portOpen = true;
    }
    void commDisconnect() override
    {
        operations << QStringLiteral("commDisconnect");
        if (!portSticksOpen)
            portOpen = false;
    }
    void commCloseTapi() override { operations << QStringLiteral("commCloseTapi"); }
    bool isPortOpen() const override { return portOpen; }
    void stopIdleWatch() override { operations << QStringLiteral("stopIdleWatch"); }
};

// A desktop stand-in on channels 407, 409 and 410, so the service's sends have a listener.
// The factory records every text sent, per channel, in order.
class LineFixture : public ::testing::Test {
protected:
    LineFixture()
        : home(tmp.home())
        , clock(QDateTime(QDate(2026, 3, 14), QTime(12, 0)))
    {
        home.ensure();
        setting("Properties\\TabLog", "chkLogSys", "1");
        setting("Language", "Select", "eng.txt");
        RecordingTelephony::Device modem;
        modem.caps = { QStringLiteral("Voice Modem (/dev/ttyACM0)"), true, true, true };
        modem.portPath = QStringLiteral("/dev/ttyACM0");
        modem.waveOutId = 1000;
        tapi.devices = { modem };
        for (int n : { 407, 409, 410 }) {
            desk.push_back(channels.create());
            desk.back()->openChannel(n);
        }
        commands = channels.create();
        commands->openChannel(408);
    }

    ~LineFixture() override { main.reset(); }

    void setting(const QString &section, const QString &name, const QString &value)
    {
        RegistryRoutines reg(home.settingsFile());
        reg.setSubkey(section);
        reg.setRegistryValue(name, value);
    }

    // Loads the main form (and so the line form) with the line on, unless told otherwise.
    void load(const QString &lineStat = QStringLiteral("0"))
    {
        if (!lineStat.isNull())
            setting("Properties\\TabLineStat", "cmbLineStat", lineStat);
        ServiceControls c {
            .home = home,
            .clock = &clock,
            .channels = &channels,
            .telephony = &tapi,
            .lineWave = &lineWave,
            .localWave = &localWave,
            .speech = &speech,
            .makeLineForm = [](FrmMain &m) { return std::make_unique<FrmLine>(m); },
            .makeSpeechForm = [this](FrmMain &m) { return std::make_unique<FrmTTS>(m, &speech); },
            .makeCommControl = {},
        };
        if (withSerialForm) {
            c.makeCommControl = [this](FrmMain &, SerialCallSink &) {
                auto fake = std::make_unique<FakeCommControl>();
                fake->portOpensOnConnect = serialPortOpens;
                comm = fake.get();
                return fake;
            };
        }
        main = std::make_unique<FrmMain>(c);
        main->load();
    }

    FrmLine &line() { return *static_cast<FrmLine *>(main->lineForm()); }

    // Sends a command on 408 as the desktop would and lets it arrive.
    void command(const QStringList &fields)
    {
        commands->sendText(ChannelMessage::join(fields));
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    QStringList sent(int channel) const { return channels.sent(channel); }
    static QString msg(const QStringList &fields) { return ChannelMessage::join(fields); }

    QString journalText() const
    {
        QString all;
        for (const QString &f : QDir(home.journalDir()).entryList({ "*_Sys.txt" }, QDir::Files))
            all += QString::fromUtf8(readFile(home.journalDir() + '/' + f));
        return all;
    }
    // Journal lines that end with "tag->text(code)", whatever their time.
    int journalCount(const QString &tagTextCode) const
    {
        return journalText().count(QStringLiteral(" : ") + tagTextCode + QStringLiteral("\r\n"));
    }

    QList<CallRecord> records() const
    {
        return CallRecordFile::forDay(home, clock.now().date()).readAll();
    }

    // A contact with the fields a test sets; the rest stay as the desktop leaves them.
    void addContact(const QString &name, const QString &number, const QString &answerMode,
                    std::initializer_list<std::pair<ContactRecord::Field, QString>> more = {})
    {
        ContactRecord c;
        c.setField(ContactRecord::Field::Name, name);
        c.setField(ContactRecord::Field::CallerNumber, number);
        c.setField(ContactRecord::Field::AnswerMode, answerMode);
        c.setField(ContactRecord::Field::EventsMode, QStringLiteral("1"));
        c.setField(ContactRecord::Field::Emergency, QStringLiteral("0"));
        for (const auto &[field, value] : more)
            c.setField(field, value);
        ContactsFile(home.contactsFile()).append(c);
    }

    // The defaults of a simple answering set-up: machine on, two rings, greeting "Hello".
    void answeringDefaults(const QString &rings = QStringLiteral("2"))
    {
        setting("Answer\\TabAnsweringMachine", "chkRunAnsIfNotAnswered", "1");
        setting("Answer\\TabAnsweringMachine", "txtNumOfRing", rings);
        setting("Answer\\TabAnsweringMachine", "CmbGreetsMessages", "Hello");
        writeFile(home.greetsDir() + "/Hello.wav", QByteArray(64, '\0'));
    }

    TempHome tmp;
    DataHome home;
    ManualClock clock;
    LoopbackChannelFactory channels;
    RecordingTelephony tapi;
    RecordingWave lineWave;
    RecordingWave localWave;
    RecordingSpeech speech;
    std::vector<std::unique_ptr<Channel>> desk;
    std::unique_ptr<Channel> commands;
    bool withSerialForm = false;
    bool serialPortOpens = true;
    FakeCommControl *comm = nullptr;
    std::unique_ptr<FrmMain> main;
};

} // namespace quorvel::test
