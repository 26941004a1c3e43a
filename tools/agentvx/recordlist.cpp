#include "recordlist.h"

#include <cstring>
#include <limits>

namespace agentvx {

void RecordList::clear()
{
    m_mailboxes.clear();
    m_groups.clear();
    m_items.clear();
}

void RecordList::build(const Report& report)
{
    clear();
    MailboxRecord* previousMailbox = nullptr;
    for (const ReportMailbox& box : report) {
        MailboxRecord& record = m_mailboxes.emplace_back();
        // Names were checked to fit with their terminator when the store was scanned.
        std::strncpy(record.Name, box.name.c_str(), AVX_MAILBOX_NAME_CAPACITY - 1);
        if (previousMailbox)
            previousMailbox->Next = &record;
        previousMailbox = &record;

        MessageGroup* previousGroup = nullptr;
        for (const ReportGroup& group : box.groups) {
            MessageGroup& g = m_groups.emplace_back();
            g.Kind = group.kind;
            // The count is 16 bits wide; a larger mailbox reports the largest count.
            g.Count = static_cast<std::uint16_t>(std::min<std::size_t>(
                group.items.size(), std::numeric_limits<std::uint16_t>::max()));
            if (previousGroup)
                previousGroup->Next = &g;
            else
                record.FirstGroup = &g;
            previousGroup = &g;

            MessageItem* previousItem = nullptr;
            for (const ReportItem& item : group.items) {
                MessageItem& i = m_items.emplace_back();
                i.Flags = item.flags;
                i.Identifier = item.id;
                if (previousItem)
                    previousItem->Next = &i;
                else
                    g.FirstItem = &i;
                previousItem = &i;
            }
        }
    }
}

} // namespace agentvx
