#include "controls/channel/ChannelFrameDecoder.h"

#include "controls/channel/ChannelFrame.h"
#include "shared/channel/ChannelMessage.h"

#include <QStringDecoder>

namespace quorvel {

namespace {
quint32 readLength(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}
} // namespace

void ChannelFrameDecoder::append(const char *data, qsizetype size)
{
    if (m_broken || size <= 0)
        return;
    // Drop what was consumed before growing, so a long stream of small messages does not keep
    // the whole history.
    if (m_pos > 0 && (m_pos == m_buffer.size() || m_pos >= 64 * 1024)) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    m_buffer.append(data, size);
}

qint64 ChannelFrameDecoder::announcedLength() const
{
    if (pendingBytes() < ChannelFrame::HeaderBytes)
        return -1;
    return readLength(m_buffer.constData() + m_pos);
}

ChannelFrameDecoder::Result ChannelFrameDecoder::next(QString *text)
{
    if (m_broken)
        return Result::Oversize;
    const qint64 length = announcedLength();
    if (length < 0)
        return Result::NeedMore;
    if (length > ChannelMessage::MaxBytes) {
        m_broken = true;
        m_buffer.clear();
        m_pos = 0;
        return Result::Oversize;
    }
    if (pendingBytes() < ChannelFrame::HeaderBytes + length)
        return Result::NeedMore;

    const char *payload = m_buffer.constData() + m_pos + ChannelFrame::HeaderBytes;
    m_pos += ChannelFrame::HeaderBytes + length;

    // Stateless: a character cut at the end of the frame is an error, not something to wait
    // for. A leading U+FEFF is part of the message, not a byte order mark to strip.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless
                               | QStringDecoder::Flag::ConvertInitialBom);
    QString decoded = decoder.decode(QByteArrayView(payload, length));
    if (decoder.hasError())
        return Result::BadText;
    if (text)
        *text = std::move(decoded);
    return Result::Message;
}

} // namespace quorvel
