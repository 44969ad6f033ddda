#pragma once

#include <QByteArray>
#include <QString>

namespace quorvel {

// Cuts the byte stream of one channel connection into messages. Pure: bytes in, messages out;
// the socket code decides what to do with a connection whose stream went wrong.
class ChannelFrameDecoder
{
public:
    enum class Result {
        Message, // one whole message, in `text`
        NeedMore, // no whole message buffered yet
        BadText, // a whole frame whose bytes are not UTF-8; skipped, the stream goes on
        Oversize, // a frame announcing more than ChannelMessage::MaxBytes; the stream is
                  // unusable from here (its boundaries can no longer be trusted)
    };

    void append(const char *data, qsizetype size);
    void append(const QByteArray &bytes) { append(bytes.constData(), bytes.size()); }

    // Takes the next message off the buffer. After Oversize every call returns Oversize.
    Result next(QString *text);

    // Bytes buffered that do not make a whole message: what a connection closed now would lose.
    qsizetype pendingBytes() const { return m_buffer.size() - m_pos; }
    // The length the frame being read announced, or -1 while its header is incomplete.
    qint64 announcedLength() const;

private:
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_broken = false;
};

} // namespace quorvel
