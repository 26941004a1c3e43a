#include "messageids.h"

namespace agentvx {

namespace {

// FNV-1a, 32 bits.
std::uint32_t hash(const std::string& key)
{
    std::uint32_t h = 2166136261u;
    for (char c : key) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

} // namespace

std::uint32_t MessageIds::idFor(const std::string& mailbox, const std::string& unique)
{
    const std::string key = mailbox + '/' + unique;
    if (const auto it = m_byKey.find(key); it != m_byKey.end())
        return it->second;
    // 0 is never handed out, so that a zeroed item can never pass for a message.
    std::uint32_t id = hash(key);
    while (id == 0 || m_taken.count(id) != 0)
        ++id;
    m_taken.insert(id);
    m_byKey.emplace(key, id);
    return id;
}

} // namespace agentvx
