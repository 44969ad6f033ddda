#include "service/serial/FrmCommControl.h"

#include "controls/modem/Telephony.h"
#include "service/host/FrmMain.h"
#include "service/host/Waits.h"

#include <QCoreApplication>
#include <QPointer>

#include <chrono>
#include <thread>

namespace quorvel {

namespace {
const QString kTagConnect = QStringLiteral("CommConnect");
const QString kTagDisconnect = QStringLiteral("CommDisconnect");
const QString kTagCloseTapi = QStringLiteral("CommCloseTapi");

void sleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
} // namespace

FrmCommControl::FrmCommControl(FrmMain &main, SerialCallSink &line, QObject *parent)
    : FrmCommControl(main, line, Options(), parent)
{
}

FrmCommControl::FrmCommControl(FrmMain &main, SerialCallSink &line, Options options,
                               QObject *parent)
    : CommControl(parent)
    , m_main(main)
    , m_line(line)
    , m_options(std::move(options))
{
    m_idleTimer.setInterval(m_options.idleTickMs);
    m_reopenTimer.setInterval(m_options.reopenMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &FrmCommControl::onIdleTick);
    connect(&m_reopenTimer, &QTimer::timeout, this, &FrmCommControl::onReopenTick);
    connect(&m_port, &SerialPort::readyRead, this, &FrmCommControl::onReadyRead);
    connect(&m_port, &SerialPort::lost, this, &FrmCommControl::onPortLost);
    initVals();
    m_main.setSerialFormLoaded(true);
}

FrmCommControl::~FrmCommControl()
{
    m_idleTimer.stop();
    m_reopenTimer.stop();
    if (m_port.isOpen())
        m_port.close();
    m_main.setSerialFormLoaded(false);
}

void FrmCommControl::journal(const QString &text, long long code, const QString &tag) const
{
    m_main.journal().journalWrite(text, code, tag);
}

QString FrmCommControl::portPath(int port) const
{
    const Telephony *tapi = m_main.controls().telephony;
    return tapi ? tapi->commPortPath(port) : QString();
}

void FrmCommControl::initVals()
{
    m_reader.initVals();
    m_idleTicks = 0;
}

bool FrmCommControl::openAndSend(const QString &path)
{
    if (!m_port.isOpen() && !m_port.open(path, m_options.port))
        return false;
    m_port.write(m_modemCommand.toLatin1() + '\r');
    return true;
}

void FrmCommControl::commConnect(int port, const QString &command)
{
    m_commPort = port;
    m_modemCommand = command;
    m_reopenTimer.stop();
    const QString number = QString::number(port);
    const QString path = portPath(port);
    if (path.isEmpty() && !m_port.isOpen()) {
        // The telephony layer knows no port by that number: nothing to open.
        journal(QStringLiteral("Cannot open comm port ") + number, 0, kTagConnect);
        return;
    }
    // Another program may be letting the modem go right now: a busy port is tried again once
    // a second, five attempts in all. The count starts afresh with every connect.
    for (int retries = 0;; ++retries) {
        if (openAndSend(path)) {
            journal(QStringLiteral("Success open comm port") + number, 0, kTagConnect);
            return;
        }
        switch (m_port.error()) {
        case SerialPort::AlreadyOpen:
            // This program holds the port (the telephony layer did not let it go): waiting
            // will not change that.
            journal(QStringLiteral("Unable to connect to modem, port already open") + number,
                    SerialPort::AlreadyOpen, kTagConnect);
            return;
        case SerialPort::Busy:
            journal(QStringLiteral("Try opening the port ") + number + ' '
                        + QString::number(retries),
                    0, kTagConnect);
            sleepMs(m_options.busyRetryPauseMs);
            if (retries + 1 >= kBusyAttempts) {
                journal(QStringLiteral("The device already open ") + QStringLiteral(" ")
                            + m_port.errorString() + QStringLiteral("(Try for 4 seconds)"),
                        SerialPort::Busy, kTagConnect);
                return;
            }
            continue;
        default:
            journal(m_port.errorString() + number, m_port.error(), kTagConnect);
            return;
        }
    }
}

void FrmCommControl::commDisconnect()
{
    m_reopenTimer.stop();
    if (m_port.isOpen())
        m_port.close();
}

void FrmCommControl::stopIdleWatch()
{
    m_idleTimer.stop();
}

void FrmCommControl::commCloseTapi()
{
    QPointer<FrmCommControl> self(this);
    QCoreApplication::processEvents();
    if (!self)
        return;
    if (Telephony *tapi = m_main.controls().telephony) {
        tapi->lineClose();
        tapi->lineShutdown();
        const bool closed = waitWithMessages(m_options.lineCloseWaitMs,
                                             [&] { return !self || !tapi->isLineOpen(); });
        if (!self)
            return;
        if (!closed)
            journal(QStringLiteral("The line did not close within %1 ms; opening the port anyway")
                        .arg(m_options.lineCloseWaitMs),
                    0, kTagCloseTapi);
    }
    sleepMs(m_options.settleMs);
    initVals();
    commConnect(m_commPort, m_modemCommand);
}

void FrmCommControl::onReadyRead()
{
    const std::vector<CommCidReader::Step> steps = m_reader.feed(m_port.readAll());
    // The line form may take the port, run the event loop or unload this form inside any of
    // these calls.
    QPointer<FrmCommControl> self(this);
    for (const CommCidReader::Step &step : steps) {
        switch (step.kind) {
        case CommCidReader::Step::Ring:
            // The caller is still there: the idle watch counts from the last ring.
            m_idleTicks = 0;
            continue;
        case CommCidReader::Step::Offer:
            m_idleTicks = 0;
            m_idleTimer.start();
            m_line.comm_InComeCall();
            break;
        case CommCidReader::Step::CallerId:
            m_idleTicks = 0;
            m_line.comm_CallerID(step.name, step.number);
            break;
        case CommCidReader::Step::Takeover:
            m_line.getTapiFromComm();
            break;
        }
        // Once the telephony line has the port, the rest of this read is not ours.
        if (!self || !m_port.isOpen())
            return;
    }
    // Caller ID before the first ring: if no ring follows, it must not name the next caller.
    if (m_reader.callerIdWithoutRing() && !m_idleTimer.isActive()) {
        m_idleTicks = 0;
        m_idleTimer.start();
    }
}

void FrmCommControl::onIdleTick()
{
    if (++m_idleTicks < m_options.idleTicks)
        return;
    m_idleTimer.stop();
    if (m_reader.ringCount() == 0) {
        // Caller-ID text that no ring followed: no call was offered, nothing to end.
        initVals();
        return;
    }
    QPointer<FrmCommControl> self(this);
    const Telephony *tapi = m_main.controls().telephony;
    if (tapi && tapi->isLineOpen()) {
        commCloseTapi();
        if (!self)
            return;
    }
    m_line.comm_Idle();
    if (!self)
        return;
    initVals();
}

void FrmCommControl::onPortLost()
{
    journal(m_port.errorString() + QString::number(m_commPort), m_port.error(), kTagDisconnect);
    m_reopenTimer.start();
}

void FrmCommControl::onReopenTick()
{
    if (m_port.isOpen()) {
        m_reopenTimer.stop();
        return;
    }
    // Quietly: the journal already says the port went away; it speaks again when it is back.
    const QString path = portPath(m_commPort);
    if (path.isEmpty() || !openAndSend(path))
        return;
    m_reopenTimer.stop();
    journal(QStringLiteral("Success open comm port") + QString::number(m_commPort), 0, kTagConnect);
}

} // namespace quorvel
