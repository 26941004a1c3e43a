#include "changereport.h"

#include <map>

namespace agentvx {

namespace {

using GroupsByKind = std::map<char, std::vector<ReportItem>>;

void appendGroups(const GroupsByKind& groups, std::vector<ReportGroup>& out)
{
    for (const auto& [kind, items] : groups)
        out.push_back(ReportGroup{kind, items});
}

ReportMailbox changesOf(const std::string& name, const MailboxState& before,
                        const MailboxState& after)
{
    GroupsByKind gone;
    GroupsByKind arrived;
    for (const auto& [unique, was] : before) {
        const auto it = after.find(unique);
        if (it == after.end() || it->second.kind != was.kind)
            gone[was.kind].push_back({was.id, kGoneFlag});
    }
    for (const auto& [unique, is] : after) {
        const auto it = before.find(unique);
        if (it == before.end() || it->second.kind != is.kind)
            arrived[is.kind].push_back({is.id, 0});
    }
    ReportMailbox mailbox{name, {}};
    appendGroups(gone, mailbox.groups);
    appendGroups(arrived, mailbox.groups);
    return mailbox;
}

} // namespace

Report fullReport(const StoreState& now)
{
    Report report;
    for (const auto& [name, box] : now) {
        GroupsByKind groups;
        for (const auto& [unique, message] : box)
            groups[message.kind].push_back({message.id, 0});
        ReportMailbox mailbox{name, {}};
        appendGroups(groups, mailbox.groups);
        report.push_back(std::move(mailbox));
    }
    return report;
}

Report changeReport(const StoreState& confirmed, const StoreState& now)
{
    static const MailboxState none;
    // Both maps are sorted by name: walk them side by side.
    Report report;
    auto before = confirmed.begin();
    auto after = now.begin();
    while (before != confirmed.end() || after != now.end()) {
        ReportMailbox mailbox;
        if (after == now.end() || (before != confirmed.end() && before->first < after->first)) {
            mailbox = changesOf(before->first, before->second, none);
            ++before;
        } else if (before == confirmed.end() || after->first < before->first) {
            mailbox = changesOf(after->first, none, after->second);
            ++after;
        } else {
            mailbox = changesOf(after->first, before->second, after->second);
            ++before;
            ++after;
        }
        if (!mailbox.groups.empty())
            report.push_back(std::move(mailbox));
    }
    return report;
}

} // namespace agentvx
