// Lays a report out as the linked, packed records that a read hands to the
// caller, and keeps them alive until the next read or the shutdown. The
// records are value-initialised, so every byte the caller does not read is 0.
#pragma once

#include "changereport.h"
#include "mail/agentvxabi.h"

#include <deque>

namespace agentvx {

class RecordList
{
public:
    // Replaces the records of the previous build.
    void build(const Report& report);
    void clear();

    // The first mailbox; null for an empty report.
    MailboxRecord* head() { return m_mailboxes.empty() ? nullptr : &m_mailboxes.front(); }

private:
    // Deques never move what they hold when they grow, so the links stay valid.
    std::deque<MailboxRecord> m_mailboxes;
    std::deque<MessageGroup> m_groups;
    std::deque<MessageItem> m_items;
};

} // namespace agentvx
