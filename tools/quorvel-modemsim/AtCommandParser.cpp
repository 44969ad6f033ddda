#include "tools/quorvel-modemsim/AtCommandParser.h"

namespace quorvel::modemsim {

namespace {

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char c)
{
    c = upper(c);
    return c >= 'A' && c <= 'Z';
}

bool isExtendedNameChar(char c)
{
    c = upper(c);
    return isLetter(c) || isDigit(c) || c == '!' || c == '%' || c == '-' || c == '.' || c == '/'
        || c == ':' || c == '_';
}

class Cursor {
public:
    explicit Cursor(const QByteArray &s)
        : m_s(s)
    {
    }
    void skipBlanks()
    {
        while (m_pos < m_s.size() && (m_s.at(m_pos) == ' ' || m_s.at(m_pos) == '\t'))
            ++m_pos;
    }
    bool atEnd() const { return m_pos >= m_s.size(); }
    char peek()
    {
        skipBlanks();
        return atEnd() ? '\0' : m_s.at(m_pos);
    }
    char take()
    {
        skipBlanks();
        return atEnd() ? '\0' : m_s.at(m_pos++);
    }
    QString digits()
    {
        QString out;
        while (isDigit(peek()))
            out += QChar(take());
        return out;
    }
    // The rest up to an unquoted ';' (not consumed) or the end; upper case and without blanks
    // outside quotes.
    QString argument(bool stopAtSemicolon)
    {
        QString out;
        bool quoted = false;
        while (m_pos < m_s.size()) {
            const char c = m_s.at(m_pos);
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && stopAtSemicolon && c == ';')
                break;
            ++m_pos;
            if (!quoted && (c == ' ' || c == '\t'))
                continue;
            out += QChar::fromLatin1(quoted || c == '"' ? c : upper(c));
        }
        return out;
    }

private:
    const QByteArray &m_s;
    qsizetype m_pos = 0;
};

} // namespace

QString AtCommand::text() const
{
    switch (form) {
    case Form::Action:
        return name + value;
    case Form::Set:
        return name == u"S" ? QStringLiteral("S%1=%2").arg(reg).arg(value) : name + u'=' + value;
    case Form::Query:
        return name == u"S" ? QStringLiteral("S%1?").arg(reg) : name + u'?';
    case Form::Test:
        return name + QStringLiteral("=?");
    }
    return name;
}

QStringList AtCommandLine::matchForms() const
{
    QStringList forms { text.toUpper() };
    for (const AtCommand &c : commands)
        forms.append(QStringLiteral("AT") + c.text());
    return forms;
}

bool AtCommandParser::findPrefix(const QByteArray &line, qsizetype *at)
{
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        if (upper(line.at(i)) == 'A' && upper(line.at(i + 1)) == 'T') {
            *at = i;
            return true;
        }
    }
    return false;
}

AtCommandLine AtCommandParser::parse(const QByteArray &rawLine)
{
    AtCommandLine result;
    qsizetype at = 0;
    if (!findPrefix(rawLine, &at)) {
        result.valid = false;
        result.error = QStringLiteral("no AT prefix");
        return result;
    }
    const QByteArray line = rawLine.mid(at);
    result.text = QString::fromLatin1(line);
    const QByteArray body = line.mid(2);
    Cursor cur(body);

    auto fail = [&](const QString &why) {
        result.valid = false;
        result.error = why;
        return result;
    };

    while (true) {
        char c = cur.peek();
        if (c == '\0')
            break;
        if (c == ';') {
            cur.take();
            continue;
        }
        AtCommand cmd;
        c = upper(cur.take());
        if (c == '+' || c == '#') {
            cmd.name = QChar(c);
            while (!cur.atEnd() && isExtendedNameChar(cur.peek()))
                cmd.name += QChar(upper(cur.take()));
            if (cmd.name.size() < 2)
                return fail(QStringLiteral("extended command without a name"));
            if (cur.peek() == '=') {
                cur.take();
                if (cur.peek() == '?') {
                    cur.take();
                    cmd.form = AtCommand::Form::Test;
                } else {
                    cmd.form = AtCommand::Form::Set;
                    cmd.value = cur.argument(true);
                }
            } else if (cur.peek() == '?') {
                cur.take();
                cmd.form = AtCommand::Form::Query;
            }
            const char next = cur.peek();
            if (next != '\0' && next != ';')
                return fail(QStringLiteral("unexpected '%1' after %2").arg(QChar(next), cmd.name));
        } else if (c == 'D') {
            // The dial string runs to the end of the line, ';' (stay in command mode) included.
            cmd.name = QStringLiteral("D");
            cmd.value = cur.argument(false);
        } else if (c == 'S') {
            cmd.name = QStringLiteral("S");
            const QString number = cur.digits();
            if (number.isEmpty() || number.size() > 3)
                return fail(QStringLiteral("S without a register number"));
            cmd.reg = number.toInt();
            if (cur.peek() == '=') {
                cur.take();
                cmd.form = AtCommand::Form::Set;
                cmd.value = cur.digits();
                if (cmd.value.isEmpty())
                    cmd.value = QStringLiteral("0");
            } else if (cur.peek() == '?') {
                cur.take();
                cmd.form = AtCommand::Form::Query;
            } else {
                return fail(QStringLiteral("S%1 without '=' or '?'").arg(cmd.reg));
            }
        } else if (c == '&' || c == '\\' || c == '%') {
            const char letter = cur.take();
            if (!isLetter(letter))
                return fail(QStringLiteral("'%1' without a letter").arg(QChar(c)));
            cmd.name = QString(QChar(c)) + QChar(upper(letter));
            cmd.value = cur.digits();
        } else if (isLetter(c)) {
            cmd.name = QChar(c);
            if (c != 'A')
                cmd.value = cur.digits();
        } else {
            return fail(
                QStringLiteral("unexpected character 0x%1").arg(uint8_t(c), 2, 16, QChar(u'0')));
        }
        result.commands.append(cmd);
    }
    return result;
}

} // namespace quorvel::modemsim
