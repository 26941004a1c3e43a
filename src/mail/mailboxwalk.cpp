#include "mail/mailboxwalk.h"

#include "data/tdata.h"
#include "mail/messageregister.h"

namespace {

// The three counters a mailbox's messages fall into, as running sums.
struct KindSums
{
    int other = 0;
    int h = 0;
    int f = 0;

    void add(char kind, int change)
    {
        if (kind == 'F')
            f += change;
        else if (kind == 'H')
            h += change;
        else
            other += change;
    }
};

KindSums walkGroups(const unsigned char* group, MailboxReadMode mode, MessageRegister& reg)
{
    KindSums sums;
    for (; group != nullptr; group = avx_group_next(group)) {
        const char kind = avx_group_kind(group);
        if (mode == MailboxReadMode::Full) {
            sums.add(kind, avx_group_count(group));
            for (auto item = avx_group_first_item(group); item; item = avx_item_next(item))
                reg.add(kind, avx_item_id(item));
            continue;
        }
        // Each item counts under its own kind: a new one under its group's, a gone one
        // under the kind the register remembers, so a group that mixes both keeps every
        // counter right.
        for (auto item = avx_group_first_item(group); item; item = avx_item_next(item)) {
            const uint32_t id = avx_item_id(item);
            if (avx_item_flags(item) & AVX_ITEM_GONE_MASK) {
                if (const auto counted = reg.take(id))
                    sums.add(*counted, -1);
            } else {
                sums.add(kind, +1);
                reg.add(kind, id);
            }
        }
    }
    return sums;
}

} // namespace

void WalkMailboxRecords(const void* head, MailboxReadMode mode, MessageRegister& reg, TData& data)
{
    for (auto mailbox = static_cast<const unsigned char*>(head); mailbox != nullptr;
         mailbox = avx_mailbox_next(mailbox)) {
        const KindSums sums = walkGroups(avx_mailbox_first_group(mailbox), mode, reg);
        const char* name = nullptr;
        const size_t length = avx_mailbox_name(mailbox, &name);
        const QByteArrayView number(name, qsizetype(length));
        // TData takes the second and third value crossed: F goes to position 2, H to 1.
        if (mode == MailboxReadMode::Full)
            data.SetMailboxCounts(number, uint8_t(sums.other), uint8_t(sums.f), uint8_t(sums.h), 0);
        else
            data.AddMailboxCounts(number, uint8_t(sums.other), uint8_t(sums.f), uint8_t(sums.h), 0);
    }
}
