// Conversion between the Windows-1250 code page, in which the agent hands over
// every text, and UTF-8, in which the store keeps its folder names and files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace agentvx {

// Every byte has a meaning; the five bytes that Windows-1250 leaves undefined
// (0x81, 0x83, 0x88, 0x90, 0x98) become U+FFFD.
std::string cp1250ToUtf8(std::string_view bytes);

// Nothing when the text is not valid UTF-8 or holds a character that
// Windows-1250 cannot represent.
std::optional<std::string> utf8ToCp1250(std::string_view text);

} // namespace agentvx
