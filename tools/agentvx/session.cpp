#include "session.h"

#include "changereport.h"
#include "cp1250.h"
#include "debuglog.h"
#include "messagefile.h"

#include <ctime>

namespace agentvx {

namespace {

constexpr unsigned char kLocalAddress = 'L';

std::size_t groupCount(const Report& report)
{
    std::size_t count = 0;
    for (const ReportMailbox& box : report)
        count += box.groups.size();
    return count;
}

} // namespace

ResultCode Session::initialise(const char* configPath, const char* user, const char* workDir,
                               const char* password)
{
    shutdown();
    if (!configPath || !user || !workDir || !password) {
        debugLog(Errors, "initialisation: missing argument");
        return BadArgument;
    }
    std::filesystem::path store;
    if (const ResultCode r = MailStore::locate(cp1250ToUtf8(configPath), store); r != Ok)
        return r;
    m_store = std::make_unique<MailStore>(store);
    m_user = cp1250ToUtf8(user);
    debugLog(Operations, "initialised on the mail store %s as %s", store.c_str(),
             m_user.empty() ? "(no user)" : m_user.c_str());
    return Ok;
}

ResultCode Session::shutdown()
{
    if (!m_store)
        return NotInitialised;
    debugLog(Operations, "shut down");
    m_store.reset();
    m_user.clear();
    m_confirmed.clear();
    m_pending.reset();
    m_records.clear();
    return Ok;
}

std::int32_t Session::quickTest()
{
    if (!m_store) {
        debugLog(Errors, "quick test: not initialised");
        return 1;
    }
    StoreState now;
    if (m_store->scan(now) != Ok)
        return 1;
    // Exactly when a read of changes would report something: a mailbox that
    // appeared or vanished without messages is no change to the caller.
    const bool changed = !changeReport(m_confirmed, now).empty();
    debugLog(Details, "quick test: %s", changed ? "changes" : "no changes");
    return changed ? 1 : 0;
}

ResultCode Session::read(MailboxRecord** head, const ReadParams* params)
{
    if (!head) {
        debugLog(Errors, "read: no place for the list");
        return BadArgument;
    }
    *head = nullptr;
    if (!params) {
        debugLog(Errors, "read: no parameters");
        return BadArgument;
    }
    const std::int32_t mode = params->ReadMode;
    if (mode != AVX_READ_FULL && mode != AVX_READ_CHANGES) {
        debugLog(Errors, "read: unknown mode %d", static_cast<int>(mode));
        return BadArgument;
    }
    if (!m_store) {
        debugLog(Errors, "read: not initialised");
        return NotInitialised;
    }
    // A new read replaces the one that was not confirmed, and its records.
    m_pending.reset();
    m_records.clear();
    StoreState now;
    if (const ResultCode r = m_store->scan(now); r != Ok)
        return r;
    const Report report = mode == AVX_READ_FULL ? fullReport(now) : changeReport(m_confirmed, now);
    m_records.build(report);
    m_pending = std::move(now);
    *head = m_records.head();
    debugLog(Operations, "%s: %zu mailboxes, %zu groups",
             mode == AVX_READ_FULL ? "full read" : "read of changes", report.size(),
             groupCount(report));
    for (const ReportMailbox& box : report)
        for (const ReportGroup& group : box.groups)
            for (const ReportItem& item : group.items)
                debugLog(Details, "  %s %c %08X%s", cp1250ToUtf8(box.name).c_str(), group.kind,
                         static_cast<unsigned>(item.id), item.flags ? " gone" : "");
    return Ok;
}

ResultCode Session::confirm(MailboxRecord** head)
{
    if (!head) {
        debugLog(Errors, "confirmation: no list");
        return BadArgument;
    }
    if (!m_pending || *head != m_records.head()) {
        debugLog(Errors, "confirmation: %s",
                 m_pending ? "not the list of the last read" : "no read awaits confirmation");
        return NothingToConfirm;
    }
    m_confirmed = std::move(*m_pending);
    m_pending.reset();
    debugLog(Operations, "transfer confirmed");
    return Ok;
}

ResultCode Session::send(const char* recipient, unsigned char addressType, const char* subject,
                         const char* text, unsigned char flag)
{
    if (!recipient || !subject || !text) {
        debugLog(Errors, "send: missing argument");
        return BadArgument;
    }
    if (flag != AVX_FLAG_STATUS && flag != AVX_FLAG_TRAP) {
        debugLog(Errors, "send: unknown flag 0x%02X", flag);
        return BadArgument;
    }
    if (addressType == 0 || *recipient == '\0') {
        debugLog(Errors, "send: no recipient");
        return BadArgument;
    }
    if (!m_store) {
        debugLog(Errors, "send: not initialised");
        return NotInitialised;
    }

    OutgoingMessage message;
    message.from = m_user.empty() ? std::string("agentvx") : m_user;
    message.to = cp1250ToUtf8(recipient);
    message.subject = cp1250ToUtf8(subject);
    message.body = cp1250ToUtf8(text);
    message.messageId = MailStore::uniqueName();
    message.kind = kDefaultKind;
    message.addressType = static_cast<char>(addressType);
    message.flag = flag;
    message.date = std::time(nullptr);
    const std::string content = composeMessage(message);

    const ResultCode r =
        addressType == kLocalAddress
            ? m_store->deliverLocal(message.to, message.messageId, content)
            : m_store->deliverToOutbox(static_cast<char>(addressType), message.messageId, content);
    if (r == Ok)
        debugLog(Operations, "message \"%s\" for %s (%c) delivered", message.subject.c_str(),
                 message.to.c_str(), addressType);
    else
        debugLog(Errors, "message for %s (%c) not delivered", message.to.c_str(), addressType);
    return r;
}

} // namespace agentvx
