#include "shared/records/CallRecord.h"

#include "shared/common/TextCodec.h"

namespace quorvel {

namespace {
constexpr CallRecord::Layout kLayout[] = {
    { 0, 1 }, // message mark
    { 1, 1 }, // user flag
    { 2, 2 }, // call kind
    { 4, 32 }, // caller name
    { 36, 32 }, // caller number
    { 68, 50 }, // date
    { 118, 16 }, // time
    { 134, 10 }, // duration
    { 144, 2 }, // line
    { 146, 1 }, // reserved mark
    { 147, 64 }, // result
    { 211, 256 } // notes
};

bool isPad(char c)
{
    return c == ' ' || c == '\0';
}

// Caller-ID text comes from the line: it must not lead the message file out of its folder.
QString fileNamePart(QString text)
{
    text.replace(QLatin1Char('/'), QLatin1Char('-'));
    text.replace(QLatin1Char('\\'), QLatin1Char('-'));
    text.replace(QChar(0), QLatin1Char('-'));
    return text;
}
} // namespace

CallRecord::Layout CallRecord::layout(Field field)
{
    return kLayout[static_cast<int>(field)];
}

CallRecord::CallRecord()
    : m_bytes(kSize, '\0')
{
}

CallRecord CallRecord::fromBytes(const QByteArray &bytes)
{
    CallRecord r;
    r.m_bytes = bytes.left(kSize);
    if (r.m_bytes.size() < kSize)
        r.m_bytes.append(kSize - r.m_bytes.size(), '\0');
    return r;
}

QString CallRecord::readField(const char *data, int width)
{
    int begin = 0;
    int end = width;
    while (begin < end && isPad(data[begin]))
        ++begin;
    while (end > begin && isPad(data[end - 1]))
        --end;
    return TextCodec::decode(QByteArray::fromRawData(data + begin, end - begin));
}

QByteArray CallRecord::encodeField(const QString &value, int width)
{
    QByteArray out = TextCodec::encodeCut(value, width);
    out.append(width - out.size(), ' ');
    return out;
}

QString CallRecord::field(Field f) const
{
    const Layout l = layout(f);
    return readField(m_bytes.constData() + l.offset, l.width);
}

void CallRecord::setField(Field f, const QString &value)
{
    const Layout l = layout(f);
    m_bytes.replace(l.offset, l.width, encodeField(value, l.width));
}

bool CallRecord::isWritten(Field f) const
{
    const Layout l = layout(f);
    for (int i = 0; i < l.width; ++i) {
        if (m_bytes[l.offset + i] != '\0')
            return true;
    }
    return false;
}

QString CallRecord::messageFileName() const
{
    QString stamp = date();
    stamp.replace(QLatin1Char('/'), QLatin1Char('-'));
    stamp.replace(QLatin1Char(':'), QLatin1Char('-'));
    QString t = time();
    t.replace(QLatin1Char(':'), QLatin1Char('-'));
    return fileNamePart(callerName()) + QLatin1Char('_') + fileNamePart(callerNumber())
        + QLatin1Char('_') + fileNamePart(stamp) + QLatin1Char('_') + fileNamePart(t)
        + QStringLiteral(".wav");
}

} // namespace quorvel
