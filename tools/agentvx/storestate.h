// What a scan of the store finds: every mailbox with the messages it holds.
// Two scans are compared to find the changes between them.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace agentvx {

// Kind of a message whose file names none (no X-Kind header), and of the
// messages the library delivers itself: an ordinary text message, which the
// agent counts with every kind other than the fax and voice kinds.
constexpr char kDefaultKind = 'M';

struct MessageState
{
    std::uint32_t id = 0;
    char kind = kDefaultKind;
    bool operator==(const MessageState&) const = default;
};

// Messages of one mailbox by the unique part of their file name (the name up
// to the first ':'), which stays when a reader moves the file from new/ to cur/
// and adds flags to its name.
using MailboxState = std::map<std::string, MessageState>;

// Mailboxes by name, in Windows-1250 as the records carry it.
using StoreState = std::map<std::string, MailboxState>;

} // namespace agentvx
