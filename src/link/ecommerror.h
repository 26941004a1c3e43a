#pragma once

#include <QString>
#include <stdexcept>

// Every failure of the serial component: the message of its kind followed by
// " (Error: %d) " with the code, which is the system's error number or -1.
class ECommError : public std::runtime_error
{
public:
    ECommError(const QString& message, int code);
    int code() const { return m_code; }
    // The whole text, code included, as what() gives it in UTF-8.
    QString message() const { return QString::fromUtf8(what()); }

private:
    int m_code;
};

// The messages of the serial component's errors, each followed by " (Error: %d) ".
namespace CommErrorText {
inline constexpr const char* PortAssigned = "Port already assigned (open)";
inline constexpr const char* AccessDevice = "Error accessing specified device";
inline constexpr const char* InvalidHandle = "Invalid device handle, access denied";
inline constexpr const char* CommTimeouts = "Error updating CommTimeouts";
inline constexpr const char* DataControlBlock = "Error updating DataControlBlock";
inline constexpr const char* Buffers = "Error initializing Read/Write Buffers";
inline constexpr const char* WriteError = "Write error";
inline constexpr const char* ReadError = "Read error";
} // namespace CommErrorText
