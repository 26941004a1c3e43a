#include "mail/messageregister.h"

std::optional<char> MessageRegister::take(uint32_t id)
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].id == id) {
            const char kind = m_lines[i].kind;
            m_lines.removeAt(i);
            return kind;
        }
    }
    return std::nullopt;
}
