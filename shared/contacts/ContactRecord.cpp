#include "shared/contacts/ContactRecord.h"

#include "shared/common/TextCodec.h"
#include "shared/records/CallRecord.h"

namespace quorvel {

namespace {
constexpr ContactRecord::Layout kLayout[ContactRecord::kFieldCount] = {
    { 0, 32 }, // name
    { 32, 64 }, // picture
    { 96, 40 }, // caller name
    { 136, 40 }, // caller number
    { 176, 1 }, // answer mode
    { 177, 1 }, // pick up
    { 178, 1 }, // option flag
    { 179, 64 }, // greeting
    { 243, 2 }, // rings
    { 245, 1 }, // beep flag
    { 246, 1 }, // emergency
    { 247, 1 }, // events mode
    { 248, 1 }, // own: call controller
    { 249, 1 }, // own: show call
    { 250, 1 }, // own: display style
    { 251, 1 }, // own: play sound
    { 252, 64 }, // own: sound name
    { 316, 1 }, // own: speak
    { 317, 128 }, // own: text to speak
    { 445, 1 }, // group mode
    { 446, 1 }, // group switch
    { 447, 1 }, // group number
    { 448, 64 }, // group name
    { 512, 1 }, // group flag
    { 513, 1 }, // group number
    { 514, 256 }, // group text
    { 770, 1024 } // notes
};

const ContactRecord::Layout kNumber = kLayout[static_cast<int>(ContactRecord::Field::CallerNumber)];
} // namespace

ContactRecord::Layout ContactRecord::layout(Field field)
{
    return kLayout[static_cast<int>(field)];
}

ContactRecord::ContactRecord()
    : m_bytes(kSize, '\0')
{
}

ContactRecord ContactRecord::fromBytes(const QByteArray &bytes)
{
    ContactRecord r;
    r.m_bytes = bytes.left(kSize);
    if (r.m_bytes.size() < kSize)
        r.m_bytes.append(kSize - r.m_bytes.size(), '\0');
    return r;
}

QString ContactRecord::field(Field f) const
{
    const Layout l = layout(f);
    return CallRecord::readField(m_bytes.constData() + l.offset, l.width);
}

void ContactRecord::setField(Field f, const QString &value)
{
    const Layout l = layout(f);
    m_bytes.replace(l.offset, l.width, CallRecord::encodeField(value, l.width));
}

QByteArray ContactRecord::rawField(Field f) const
{
    const Layout l = layout(f);
    return m_bytes.mid(l.offset, l.width);
}

bool ContactRecord::isWritten(Field f) const
{
    const Layout l = layout(f);
    for (int i = 0; i < l.width; ++i) {
        if (m_bytes[l.offset + i] != '\0')
            return true;
    }
    return false;
}

std::optional<QString> ContactRecord::matchNumber() const
{
    return matchNumberOf(m_bytes.constData());
}

std::optional<QString> ContactRecord::matchNumberOf(const char *record)
{
    const char *field = record + kNumber.offset;
    for (int i = 0; i < kNumber.width; ++i) {
        if (field[i] != '\0')
            return CallRecord::readField(field, kNumber.width);
    }
    // Zero bytes are a record nobody wrote (a hole or the torn end of a file), not a blank
    // number: it must not turn into a catch-all that takes every call.
    return std::nullopt;
}

std::optional<int> ContactRecord::toInt(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    const int v = t.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

std::optional<bool> ContactRecord::toBool(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return v != 0.0;
}

} // namespace quorvel
