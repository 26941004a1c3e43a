#include "agent/initext.h"

#include <vector>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// One line of the file: [begin, end) is its text, [end, next) its line ending (empty for
// a last line without one).
struct Line
{
    enum Kind { Other, Header, Key };
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype next = 0;
    Kind kind = Other;
    QByteArrayView name;  // section name (Header) or key name (Key), trimmed
    QByteArrayView value; // trimmed raw value (Key), quotes not yet removed
};

std::vector<Line> splitLines(const QByteArray& bytes)
{
    std::vector<Line> lines;
    const qsizetype size = bytes.size();
    qsizetype pos = 0;
    while (pos < size) {
        Line line;
        line.begin = pos;
        qsizetype end = pos;
        while (end < size && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        line.end = end;
        if (end < size && bytes[end] == '\r' && end + 1 < size && bytes[end + 1] == '\n')
            line.next = end + 2;
        else
            line.next = end < size ? end + 1 : end;

        const QByteArrayView text =
            IniText::trimmed(QByteArrayView(bytes).sliced(line.begin, line.end - line.begin));
        const qsizetype close = text.indexOf(']');
        if (text.startsWith('[') && close > 0) {
            // Text after the closing bracket is ignored.
            line.kind = Line::Header;
            line.name = IniText::trimmed(text.sliced(1, close - 1));
        } else if (const qsizetype eq = text.indexOf('='); eq >= 0) {
            line.kind = Line::Key;
            line.name = IniText::trimmed(text.first(eq));
            line.value = IniText::trimmed(text.sliced(eq + 1));
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

QByteArrayView unquoted(QByteArrayView value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

// Index of the header of the first section of that name, or -1.
qsizetype findSection(const std::vector<Line>& lines, QByteArrayView section)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == Line::Header && IniText::namesEqual(lines[i].name, section))
            return qsizetype(i);
    }
    return -1;
}

// Index one past the last line of the section whose header is at index header.
qsizetype sectionEnd(const std::vector<Line>& lines, qsizetype header)
{
    qsizetype i = header + 1;
    while (i < qsizetype(lines.size()) && lines[size_t(i)].kind != Line::Header)
        ++i;
    return i;
}

// Index of the first key of that name in the section at header, or -1.
qsizetype findKey(const std::vector<Line>& lines, qsizetype header, QByteArrayView key)
{
    const qsizetype end = sectionEnd(lines, header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const Line& line = lines[size_t(i)];
        if (line.kind == Line::Key && IniText::namesEqual(line.name, key))
            return i;
    }
    return -1;
}

// The line ending of the file: its first one; CRLF, as Windows writes it, when it has none.
QByteArray lineEnding(const QByteArray& bytes, const std::vector<Line>& lines)
{
    for (const Line& line : lines) {
        if (line.next > line.end)
            return bytes.mid(line.end, line.next - line.end);
    }
    return QByteArrayLiteral("\r\n");
}

QByteArray keyLine(QByteArrayView key, QByteArrayView value)
{
    QByteArray text;
    text.reserve(key.size() + 1 + value.size());
    text.append(key).append('=').append(value);
    return text;
}

} // namespace

bool IniText::namesEqual(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

QByteArrayView IniText::trimmed(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

std::optional<QByteArray> IniText::value(QByteArrayView section, QByteArrayView key) const
{
    const std::vector<Line> lines = splitLines(m_bytes);
    const qsizetype header = findSection(lines, section);
    if (header < 0)
        return std::nullopt;
    const qsizetype at = findKey(lines, header, key);
    if (at < 0)
        return std::nullopt;
    const QByteArrayView text = unquoted(lines[size_t(at)].value);
    return text.first(qMin(text.size(), MaxValueLength)).toByteArray();
}

bool IniText::setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    while (!value.isEmpty() && isBlank(value.front()))
        value = value.sliced(1);

    const std::vector<Line> lines = splitLines(m_bytes);
    const QByteArray eol = lineEnding(m_bytes, lines);
    const qsizetype header = findSection(lines, section);

    if (header < 0) {
        // A new section at the end, with no blank line before it.
        QByteArray tail;
        if (!m_bytes.isEmpty() && !m_bytes.endsWith('\n') && !m_bytes.endsWith('\r'))
            tail.append(eol);
        tail.append('[').append(section).append(']').append(eol);
        tail.append(keyLine(key, value)).append(eol);
        m_bytes.append(tail);
        return true;
    }

    if (const qsizetype at = findKey(lines, header, key); at >= 0) {
        const Line& line = lines[size_t(at)];
        if (unquoted(line.value) == value)
            return false;
        // The line is rewritten in the file's spelling of the key; its ending stays.
        m_bytes.replace(line.begin, line.end - line.begin, keyLine(line.name, value));
        return true;
    }

    // A new key after the last non-blank line of the section (comments included), so
    // that blank lines that separate it from the next header stay where they are.
    qsizetype last = header;
    for (qsizetype i = header + 1; i < sectionEnd(lines, header); ++i) {
        const Line& line = lines[size_t(i)];
        if (!trimmed(QByteArrayView(m_bytes).sliced(line.begin, line.end - line.begin)).isEmpty())
            last = i;
    }
    const Line& after = lines[size_t(last)];
    QByteArray insert;
    if (after.next == after.end) // the last line of the file, without a line ending
        insert.append(eol);
    insert.append(keyLine(key, value)).append(eol);
    m_bytes.insert(after.next, insert);
    return true;
}

QByteArray IniText::withValue(const QByteArray& bytes, QByteArrayView section, QByteArrayView key,
                              QByteArrayView value)
{
    IniText text(bytes);
    text.setValue(section, key, value);
    return text.bytes();
}
