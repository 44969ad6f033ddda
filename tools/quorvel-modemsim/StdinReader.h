#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

namespace quorvel::modemsim {

// Script lines typed or piped on standard input, handed on one by one as each line completes.
// End of input is reported once; the simulator keeps running after it.
class StdinReader : public QObject {
    Q_OBJECT
public:
    explicit StdinReader(int fd = 0, QObject *parent = nullptr);

signals:
    void lineReceived(const QString &line, int lineNumber);
    void finished();

private:
    void onReadable();

    int m_fd;
    QByteArray m_buffer;
    int m_lineNumber = 0;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace quorvel::modemsim
