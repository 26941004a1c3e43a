// The library's own diagnostics on standard error, as much as the level that
// the caller set with SetDebugLevel asks for.
#pragma once

#include <cstdint>

namespace agentvx {

enum DebugLevel : std::uint32_t {
    Silent = 0,
    Errors = 1,     // every failure the caller gets a non-zero result for
    Operations = 2, // initialisation, reads, confirmations, deliveries
    Details = 3     // every message reported or skipped
};

void setDebugLevel(std::uint32_t level);

// printf-style; writes one line prefixed with "agentvx: " when level is at or
// below the level set.
void debugLog(std::uint32_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace agentvx
