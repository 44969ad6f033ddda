#pragma once

#include "controls/serial/SerialPort.h"
#include "shared/modem/AtResult.h"
#include "shared/modem/DleDecoder.h"
#include "shared/modem/ModemLineSplitter.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>
#include <functional>
#include <initializer_list>

namespace quorvel {

// What a modem answered to one command.
struct ModemReply {
    AtResult result = AtResult::Text; // the final result; Text when none came
    QList<QByteArray> lines; // information text before it, echo left out
    bool timedOut = false;

    bool ok() const { return !timedOut && result == AtResult::Ok; }
};

// The AT conversation with one modem on its tty: commands go out one at a time, each waits for
// its final result within its own bound, and everything the modem says that belongs to no
// command (RING, caller-ID lines, DLE events, VCON of a dialled call) is handed on as it comes.
// Asynchronous on the event loop; `exec` is a blocking exchange for the short set-up sequence,
// bounded in real time.
//
// While the modem takes voice data (after AT+VTX answered CONNECT) nothing is sent but audio:
// any command would be played into the line. Commands queued meanwhile wait until
// `endTransmission` has sent DLE ETX and the modem answered.
class ModemChannel : public QObject {
    Q_OBJECT
public:
    using Callback = std::function<void(const ModemReply &)>;
    using Results = std::initializer_list<AtResult>;

    explicit ModemChannel(QObject *parent = nullptr);
    ~ModemChannel() override;

    bool open(const QString &path, const SerialPort::Settings &settings);
    // Releases the port at once; queued commands are dropped without their callbacks.
    void close();
    bool isOpen() const { return m_port.isOpen(); }
    const SerialPort &port() const { return m_port; }

    // Queues an AT command (without CR). `accepts` are the results that end it; OK and ERROR
    // always do. The callback runs on time-out too (timedOut set).
    void send(const QByteArray &command, int timeoutMs, Callback callback, Results accepts = {});
    // Blocking exchange; only for the set-up while no other command is queued.
    ModemReply exec(const QByteArray &command, int timeoutMs, Results accepts = {});
    // Writes bytes outside the command queue (a wake-up before the first command).
    void writeRaw(const QByteArray &bytes);

    bool isIdle() const { return m_queue.isEmpty(); }

    // Voice transmission: while on, `writeAudio` goes to the modem and commands wait.
    void beginTransmission();
    bool isTransmitting() const { return m_transmitting; }
    void writeAudio(const QByteArray &escaped);
    // Sends DLE ETX ahead of every queued command and waits up to `timeoutMs` for the modem
    // to play out its buffer and answer.
    void endTransmission(int timeoutMs, Callback callback);
    qint64 bytesToWrite() const { return m_port.bytesToWrite(); }

    // While held (set-up in progress), unsolicited lines and events are kept and delivered
    // from the event loop after release.
    void holdUnsolicited(bool hold);

signals:
    void unsolicitedLine(const QByteArray &line, quorvel::AtResult result);
    void dleEvent(char event);
    // The device went away; the channel is closed already.
    void lost(const QString &detail);

private:
    struct Pending {
        QByteArray payload; // bytes to write
        QByteArray echo; // the command text a modem with echo on repeats
        int timeoutMs = 0;
        Callback callback;
        QList<AtResult> accepts;
        ModemReply reply;
        bool sent = false;
        quint64 serial = 0;
    };
    struct Held {
        char event = 0;
        QByteArray line;
        AtResult result = AtResult::Text;
    };

    void enqueue(Pending pending, bool first);
    void dispatch();
    void onReadyRead();
    void onLost();
    void handleLine(const QByteArray &line);
    void handleEvent(char event);
    void complete(bool timedOut);
    void onTimeout();
    void deliver(const Held &held);
    void releaseHeld();

    SerialPort m_port;
    DleDecoder m_decoder;
    ModemLineSplitter m_splitter;
    QList<Pending> m_queue;
    QTimer m_timer;
    quint64 m_nextSerial = 1;
    bool m_transmitting = false;
    bool m_hold = false;
    QList<Held> m_held;
};

} // namespace quorvel
