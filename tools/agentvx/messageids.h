// Hands out the 32-bit message identifiers of the records. An identifier is a
// hash of the mailbox and the unique part of the file name, so it stays the
// same across reads and, apart from collisions, across runs; a collision within
// one run is resolved by taking the next free value, and the identifier once
// given to a message is kept for the rest of the run.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace agentvx {

class MessageIds
{
public:
    std::uint32_t idFor(const std::string& mailbox, const std::string& unique);

private:
    std::unordered_map<std::string, std::uint32_t> m_byKey;
    std::unordered_set<std::uint32_t> m_taken;
};

} // namespace agentvx
