#pragma once

#include <QObject>

class QSocketNotifier;

namespace quorvel::modemsim {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread (through a self-pipe),
// so a killed simulator still ends its call, writes its capture and removes its link.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested(int signalNumber);

private:
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace quorvel::modemsim
