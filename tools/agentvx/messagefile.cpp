#include "messagefile.h"

#include "storestate.h"

#include <cstdio>
#include <fstream>

namespace agentvx {

namespace {

// Headers longer than this are not looked through for the kind.
constexpr std::size_t kHeaderReadLimit = 64 * 1024;

std::string headerValue(std::string_view value)
{
    std::string out(value);
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            c = ' ';
    }
    return out;
}

std::string normalisedBody(std::string_view body)
{
    std::string out;
    out.reserve(body.size() + 1);
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\r') {
            out += '\n';
            if (i + 1 < body.size() && body[i + 1] == '\n')
                ++i;
        } else {
            out += body[i];
        }
    }
    if (!out.empty() && out.back() != '\n')
        out += '\n';
    return out;
}

// Date in the form of RFC 5322, in UTC, independent of the locale.
std::string dateText(std::time_t when)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    gmtime_r(&when, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[tm.tm_wday],
                  tm.tm_mday, months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                  tm.tm_sec);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

std::string composeMessage(const OutgoingMessage& m)
{
    char flag[8];
    std::snprintf(flag, sizeof flag, "0x%02X", m.flag);
    std::string text;
    text += "From: " + headerValue(m.from) + "\n";
    text += "To: " + headerValue(m.to) + "\n";
    text += "Subject: " + headerValue(m.subject) + "\n";
    text += "Date: " + dateText(m.date) + "\n";
    text += "Message-ID: <" + headerValue(m.messageId) + "@agentvx>\n";
    text += std::string("X-Kind: ") + m.kind + "\n";
    text += std::string("X-Address-Type: ") + m.addressType + "\n";
    text += std::string("X-Flag: ") + flag + "\n";
    text += "MIME-Version: 1.0\n";
    text += "Content-Type: text/plain; charset=UTF-8\n";
    text += "Content-Transfer-Encoding: 8bit\n";
    text += "\n";
    text += normalisedBody(m.body);
    return text;
}

char kindFromHeaders(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            break; // the blank line ends the headers
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos &&
            equalsIgnoringCase(line.substr(0, colon), "X-Kind")) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.remove_prefix(1);
            if (!value.empty() && value.front() > 0x20 && value.front() < 0x7F)
                return value.front();
            return kDefaultKind;
        }
        pos = end + 1;
    }
    return kDefaultKind;
}

char readMessageKind(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return kDefaultKind;
    std::string head(kHeaderReadLimit, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return kindFromHeaders(head);
}

} // namespace agentvx
