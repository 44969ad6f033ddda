#include "shared/modem/CallerIdRecord.h"

#include "shared/common/TextCodec.h"

#include <cctype>

namespace quorvel {

namespace {
// MDMF parameter types (Bellcore GR-30) that modems pass through as MESG when they do not
// print them themselves.
constexpr int kParamNumberAbsence = 0x04;
constexpr int kParamNameAbsence = 0x08;

bool isDigits(const QString &s, int count)
{
    if (s.size() != count)
        return false;
    for (const QChar c : s)
        if (!c.isDigit())
            return false;
    return true;
}
} // namespace

CallerIdRecord::Absence CallerIdRecord::absenceOf(const QByteArray &value)
{
    const QByteArray v = value.trimmed().toUpper();
    if (v == "P")
        return Absence::Withheld;
    if (v == "O")
        return Absence::OutOfArea;
    return Absence::None;
}

void CallerIdRecord::apply(const CallerIdLine &line)
{
    m_any = true;
    switch (line.tag) {
    case CallerIdLine::Tag::Date:
        m_date = TextCodec::decode(line.value);
        break;
    case CallerIdLine::Tag::Time:
        m_time = TextCodec::decode(line.value);
        break;
    case CallerIdLine::Tag::Number:
    case CallerIdLine::Tag::DdnNumber: {
        const Absence absence = absenceOf(line.value);
        if (absence != Absence::None) {
            if (m_number.isEmpty())
                m_numberAbsence = absence;
            break;
        }
        const QString number = normaliseNumber(TextCodec::decode(line.value));
        if (number.isEmpty())
            break;
        if (line.tag == CallerIdLine::Tag::Number)
            m_number = number;
        else
            m_ddnNumber = number;
        m_numberAbsence = Absence::None;
        break;
    }
    case CallerIdLine::Tag::Name: {
        const Absence absence = absenceOf(line.value);
        if (absence != Absence::None) {
            if (m_name.isEmpty())
                m_nameAbsence = absence;
            break;
        }
        const QString name = TextCodec::decode(line.value).simplified();
        if (name.isEmpty())
            break;
        m_name = name;
        m_nameAbsence = Absence::None;
        break;
    }
    case CallerIdLine::Tag::Message:
        m_message = line.value;
        applyMessage(line.value);
        break;
    }
}

void CallerIdRecord::applyMessage(const QByteArray &hex)
{
    // A hex dump of parameters: type, length, value bytes. Only the absence reasons matter
    // here; anything that does not decode cleanly is kept as text and otherwise ignored.
    QByteArray compact = hex;
    compact.replace(' ', "");
    if (compact.isEmpty() || compact.size() % 2 != 0)
        return;
    for (const char c : compact)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return;
    const QByteArray bytes = QByteArray::fromHex(compact);
    int pos = 0;
    while (pos + 2 <= bytes.size()) {
        const int type = static_cast<unsigned char>(bytes.at(pos));
        const int len = static_cast<unsigned char>(bytes.at(pos + 1));
        if (pos + 2 + len > bytes.size())
            return;
        const QByteArray value = bytes.mid(pos + 2, len);
        const Absence absence = absenceOf(value);
        if (type == kParamNumberAbsence && absence != Absence::None && m_number.isEmpty()
            && m_ddnNumber.isEmpty())
            m_numberAbsence = absence;
        if (type == kParamNameAbsence && absence != Absence::None && m_name.isEmpty())
            m_nameAbsence = absence;
        pos += 2 + len;
    }
}

bool CallerIdRecord::isComplete() const
{
    const bool numberKnown
        = !m_number.isEmpty() || !m_ddnNumber.isEmpty() || m_numberAbsence != Absence::None;
    const bool nameKnown = !m_name.isEmpty() || m_nameAbsence != Absence::None;
    return numberKnown && nameKnown;
}

bool CallerIdRecord::dateValid() const
{
    if (!isDigits(m_date, 4))
        return false;
    const int month = m_date.left(2).toInt();
    const int day = m_date.mid(2).toInt();
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

bool CallerIdRecord::timeValid() const
{
    if (!isDigits(m_time, 4))
        return false;
    return m_time.left(2).toInt() < 24 && m_time.mid(2).toInt() < 60;
}

QString CallerIdRecord::callerNumber() const
{
    if (!m_number.isEmpty())
        return m_number;
    if (!m_ddnNumber.isEmpty())
        return m_ddnNumber;
    return unknownText();
}

QString CallerIdRecord::callerName() const
{
    if (!m_name.isEmpty())
        return m_name;
    Absence reason = m_nameAbsence;
    if (reason == Absence::None && m_number.isEmpty() && m_ddnNumber.isEmpty())
        reason = m_numberAbsence;
    switch (reason) {
    case Absence::Withheld:
        return withheldText();
    case Absence::OutOfArea:
        return outOfAreaText();
    case Absence::None:
        break;
    }
    return unknownText();
}

QString CallerIdRecord::normaliseNumber(const QString &value)
{
    const QString v = value.trimmed();
    QString digits;
    bool onlyNumberChars = true;
    for (int i = 0; i < v.size(); ++i) {
        const QChar c = v.at(i);
        if (c.isDigit() || c == '*' || c == '#' || (c == '+' && digits.isEmpty()))
            digits.append(c);
        else if (c == ' ' || c == '-' || c == '.' || c == '(' || c == ')' || c == '/')
            continue;
        else
            onlyNumberChars = false;
    }
    return onlyNumberChars ? digits : v;
}

} // namespace quorvel
