// The text of a message file: RFC 5322-style headers in UTF-8, a blank line,
// the body. The kind of a message is the first character of its X-Kind header.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace agentvx {

struct OutgoingMessage
{
    std::string from;      // UTF-8
    std::string to;        // UTF-8
    std::string subject;   // UTF-8
    std::string body;      // UTF-8
    std::string messageId; // unique name of the file
    char kind = 0;
    char addressType = 0;
    unsigned char flag = 0;
    std::time_t date = 0;
};

// The file's content. Control characters in header values become spaces, so
// that no value can start a header of its own; line ends of the body become LF.
std::string composeMessage(const OutgoingMessage& message);

// The kind named by the X-Kind header (name compared without regard to case)
// among the headers that head text; kDefaultKind when there is none or its
// value does not start with a printable ASCII character.
char kindFromHeaders(std::string_view text);

// kindFromHeaders over the start of a file; kDefaultKind when it cannot be read.
char readMessageKind(const std::filesystem::path& file);

} // namespace agentvx
