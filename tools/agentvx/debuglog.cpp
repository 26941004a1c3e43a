#include "debuglog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace agentvx {

namespace {
std::atomic<std::uint32_t> currentLevel{Silent};
}

void setDebugLevel(std::uint32_t level)
{
    currentLevel = level;
}

void debugLog(std::uint32_t level, const char* format, ...)
{
    if (level == Silent || level > currentLevel)
        return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "agentvx: %s\n", line);
}

} // namespace agentvx
