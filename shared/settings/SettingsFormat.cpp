#include "shared/settings/SettingsFormat.h"

#include "shared/common/TextCodec.h"

#include <QStringDecoder>

namespace quorvel::SettingsFormat {

namespace {

constexpr int kMaxProblems = 20;

const char kHeaderComment[]
    = "; Quorvel settings. Sections are [Section\\Name], values Name=Value.\r\n"
      "; Escapes in names and values: \\\\ \\n \\r \\t \\0 \\s (blank) \\= "
      "\\xHH \\uHHHH.\r\n"
      "; Change it with quorvel-settings while the programs run.\r\n";

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isControl(char16_t u)
{
    return u < 0x20 || u == 0x7F;
}

QString hex(unsigned v, int width)
{
    return QString::number(v, 16).toUpper().rightJustified(width, u'0');
}

// Shared by names and values: every character that a line cannot hold as is.
QString escapeCommon(const QString &text, bool isName)
{
    QString out;
    out.reserve(text.size() + 8);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        switch (u) {
        case u'\\':
            out += u"\\\\";
            continue;
        case u'\n':
            out += u"\\n";
            continue;
        case u'\r':
            out += u"\\r";
            continue;
        case u'\t':
            out += u"\\t";
            continue;
        case 0:
            out += u"\\0";
            continue;
        default:
            break;
        }
        if (isControl(u)) {
            out += QStringLiteral("\\x") + hex(u, 2);
            continue;
        }
        if (c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
            continue;
        }
        if (c.isSurrogate()) {
            // UTF-8 has no form for half a pair; keep it as a number.
            out += QStringLiteral("\\u") + hex(u, 4);
            continue;
        }
        // Blanks at either end would be taken for padding around the "=".
        if (u == u' ' && (i == 0 || i == n - 1)) {
            out += u"\\s";
            continue;
        }
        if (isName && u == u'=') {
            out += u"\\=";
            continue;
        }
        if (isName && i == 0 && (u == u'[' || u == u';' || u == u'#')) {
            out += u'\\';
            out += c;
            continue;
        }
        out += c;
    }
    return out;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Position of the first "=" that is not escaped, or -1.
qsizetype findSeparator(const QString &line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'\\')
            ++i;
        else if (line[i] == u'=')
            return i;
    }
    return -1;
}

QString trimBlanks(const QString &s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1])) {
        // A blank after a backslash is escaped; keep it.
        if (e - 2 >= b && s[e - 2] == u'\\') {
            qsizetype slashes = 0;
            for (qsizetype k = e - 2; k >= b && s[k] == u'\\'; --k)
                ++slashes;
            if (slashes % 2 == 1)
                break;
        }
        --e;
    }
    return s.mid(b, e - b);
}

// A short printable excerpt of a bad line for the journal.
QString excerpt(const QString &line)
{
    QString shown = escapeValue(line.left(40));
    if (line.size() > 40)
        shown += u"...";
    return u'"' + shown + u'"';
}

bool hasControl(const QString &line)
{
    for (const QChar c : line) {
        const char16_t u = c.unicode();
        if (isControl(u) && u != u'\t')
            return true;
    }
    return false;
}

class ProblemList {
public:
    explicit ProblemList(QStringList &out)
        : m_out(out)
    {
    }
    void add(int line, const QString &text)
    {
        ++m_count;
        if (m_count <= kMaxProblems)
            m_out.append(QStringLiteral("line %1: %2").arg(line).arg(text));
    }
    void finish()
    {
        if (m_count > kMaxProblems)
            m_out.append(QStringLiteral("%1 more problems not listed").arg(m_count - kMaxProblems));
    }

private:
    QStringList &m_out;
    int m_count = 0;
};

} // namespace

QString escapeValue(const QString &value)
{
    return escapeCommon(value, false);
}

QString escapeName(const QString &name)
{
    return escapeCommon(name, true);
}

QString unescape(const QString &text, QString *problem)
{
    if (!text.contains(u'\\'))
        return text;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\\') {
            out += c;
            continue;
        }
        if (i + 1 >= n) {
            if (problem && problem->isEmpty())
                *problem = QStringLiteral("ends in a lone backslash (cut short?)");
            out += c;
            continue;
        }
        const QChar e = text[i + 1];
        switch (e.unicode()) {
        case u'n':
            out += u'\n';
            ++i;
            continue;
        case u'r':
            out += u'\r';
            ++i;
            continue;
        case u't':
            out += u'\t';
            ++i;
            continue;
        case u'0':
            out += QChar(0);
            ++i;
            continue;
        case u's':
            out += u' ';
            ++i;
            continue;
        case u'x':
        case u'u': {
            const int digits = e == u'x' ? 2 : 4;
            unsigned v = 0;
            bool good = i + 1 + digits < n;
            for (int k = 0; good && k < digits; ++k) {
                const int h = hexValue(text[i + 2 + k]);
                if (h < 0)
                    good = false;
                else
                    v = v * 16 + unsigned(h);
            }
            if (good) {
                out += QChar(char16_t(v));
                i += 1 + digits;
                continue;
            }
            break;
        }
        default:
            if (e.unicode() < 0x80 && !e.isLetterOrNumber() && !isControl(e.unicode())) {
                out += e;
                ++i;
                continue;
            }
            break;
        }
        if (problem && problem->isEmpty())
            *problem = QStringLiteral("unknown escape \"\\%1\" kept as written").arg(e);
        out += c;
    }
    return out;
}

ParseResult parse(const QByteArray &bytes)
{
    ParseResult result;
    ProblemList problems(result.problems);
    QString section; // current section; root until the first header
    bool sectionUsable = true;
    int lineNo = 0;
    QList<int> cp1252Lines;
    QStringDecoder keepBom(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless
                               | QStringConverter::Flag::ConvertInitialBom);

    qsizetype pos = 0;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        pos = 3;
    const qsizetype n = bytes.size();
    while (pos < n) {
        qsizetype end = pos;
        while (end < n && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        const bool hasEnd = end < n;
        const QByteArray raw = bytes.mid(pos, end - pos);
        // CR LF, a lone CR and a lone LF each end a line.
        pos = end;
        if (hasEnd)
            pos += (bytes[end] == '\r' && end + 1 < n && bytes[end + 1] == '\n') ? 2 : 1;
        ++lineNo;

        QString line;
        if (TextCodec::isValidUtf8(raw)) {
            // A U+FEFF that begins a name is part of the name, not a byte order mark.
            line = raw.startsWith("\xEF\xBB\xBF") ? keepBom.decode(raw) : QString::fromUtf8(raw);
        } else {
            line = TextCodec::decodeWindows1252(raw);
            cp1252Lines.append(lineNo);
        }
        if (!hasEnd && !line.trimmed().isEmpty()) {
            problems.add(lineNo,
                         QStringLiteral("the last line has no line end (the file may be cut "
                                        "short)"));
            result.damaged = true;
        }
        if (hasControl(line)) {
            problems.add(lineNo, QStringLiteral("unreadable bytes, line skipped"));
            result.damaged = true;
            continue;
        }
        const QString t = trimBlanks(line);
        if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#'))
            continue;
        if (t.startsWith(u'[')) {
            if (!t.endsWith(u']') || t.size() < 2) {
                problems.add(lineNo,
                             QStringLiteral("section header %1 has no closing \"]\"; its "
                                            "values are skipped")
                                 .arg(excerpt(t)));
                result.damaged = true;
                sectionUsable = false;
                continue;
            }
            section = SettingsTree::normalizeSection(t.mid(1, t.size() - 2));
            sectionUsable = true;
            result.tree.ensureSection(section);
            continue;
        }
        const qsizetype eq = findSeparator(t);
        if (eq < 0) {
            problems.add(lineNo,
                         QStringLiteral("%1 is neither a [Section] header nor a Name=Value "
                                        "line; skipped")
                             .arg(excerpt(t)));
            result.damaged = true;
            continue;
        }
        if (!sectionUsable)
            continue;
        QString problem;
        const QString name = unescape(trimBlanks(t.left(eq)), &problem);
        const QString value = unescape(trimBlanks(t.mid(eq + 1)), &problem);
        if (!problem.isEmpty())
            problems.add(lineNo, problem);
        bool existed = false;
        result.tree.setValue(section, name, value, &existed);
        if (existed) {
            problems.add(lineNo,
                         QStringLiteral("value \"%1\" appears twice in its section; the "
                                        "later one counts")
                             .arg(escapeName(name)));
        }
    }
    problems.finish();
    if (!cp1252Lines.isEmpty()) {
        QStringList shown;
        for (int i = 0; i < cp1252Lines.size() && i < 10; ++i)
            shown.append(QString::number(cp1252Lines[i]));
        if (cp1252Lines.size() > 10)
            shown.append(QStringLiteral("..."));
        result.problems.append(QStringLiteral("%1 line(s) not in UTF-8 were read as Windows-1252 "
                                              "(line %2)")
                                   .arg(cp1252Lines.size())
                                   .arg(shown.join(u", ")));
    }
    return result;
}

QByteArray serialize(const SettingsTree &tree)
{
    QString text = QString::fromLatin1(kHeaderComment);
    bool first = true;
    for (const SettingsTree::Section &s : tree.sections()) {
        if (!s.name.isEmpty()) {
            text += u"\r\n[";
            text += s.name;
            text += u"]\r\n";
        } else if (first && !s.values.empty()) {
            text += u"\r\n";
        }
        first = false;
        for (const SettingsTree::Value &v : s.values) {
            text += escapeName(v.name);
            text += u'=';
            text += escapeValue(v.data);
            text += u"\r\n";
        }
    }
    return text.toUtf8();
}

} // namespace quorvel::SettingsFormat
