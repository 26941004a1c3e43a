// What a read hands out, before it is laid out as records: the mailboxes, each
// with groups of messages of one kind. Pure: built from two scans of the store.
#pragma once

#include "storestate.h"

#include <cstdint>
#include <string>
#include <vector>

namespace agentvx {

// Flags of a reported item: 0 for a message that is there (full read) or has
// arrived (read of changes), kGoneFlag for one that has gone.
constexpr std::uint32_t kGoneFlag = 2;

struct ReportItem
{
    std::uint32_t id = 0;
    std::uint32_t flags = 0;
};

struct ReportGroup
{
    char kind = kDefaultKind;
    std::vector<ReportItem> items;
};

struct ReportMailbox
{
    std::string name; // Windows-1250
    std::vector<ReportGroup> groups;
};

using Report = std::vector<ReportMailbox>;

// Every mailbox, also an empty one, with one group per kind that it holds.
Report fullReport(const StoreState& now);

// The mailboxes that changed since the state confirmed last. A mailbox lists
// first one group per kind of the messages that have gone (flagged, in the
// group of the kind they were reported with) and then one group per kind of
// the messages that have arrived. Arrivals and departures never share a group,
// because a reader may take the kind of a whole group from a departed message.
// A message whose kind changed has gone under the old kind and arrived under
// the new one.
Report changeReport(const StoreState& confirmed, const StoreState& now);

} // namespace agentvx
