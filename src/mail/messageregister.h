#pragma once

#include <QList>
#include <cstdint>
#include <optional>

// The messages the mailbox counters currently include, each with the kind character it
// was counted under, so that a message reported gone is subtracted from the counter
// that once counted it. Lines stay in the order they were added.
class MessageRegister
{
public:
    struct Line
    {
        char kind;
        uint32_t id;
        bool operator==(const Line&) const = default;
    };

    void add(char kind, uint32_t id) { m_lines.append(Line{kind, id}); }
    // Removes the first line (from the top) that holds id and gives its kind.
    std::optional<char> take(uint32_t id);
    void clear() { m_lines.clear(); }

    qsizetype size() const { return m_lines.size(); }
    const QList<Line>& lines() const { return m_lines; }

private:
    QList<Line> m_lines;
};
