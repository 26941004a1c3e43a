// The mail store on disk. Layout (all names UTF-8):
//
//   <store>/<mailbox>/new/<unique>        messages not yet seen by a reader
//   <store>/<mailbox>/cur/<unique>[:2,F]  messages a reader has seen
//   <store>/<mailbox>/tmp/                files being delivered
//   <store>/outbox-<type>/<unique>        messages for other address types
//
// A folder of the store is a mailbox when it holds new/ or cur/ and its name
// neither starts with "." nor with "outbox-". Files whose names start with "."
// are never messages, so a file being written under such a name is not seen.
#pragma once

#include "messageids.h"
#include "resultcode.h"
#include "storestate.h"

#include <filesystem>
#include <string>
#include <unordered_map>

namespace agentvx {

class MailStore
{
public:
    explicit MailStore(std::filesystem::path root) : m_root(std::move(root)) {}

    // The store named by the configuration path: the path itself when it is a
    // folder, the folder holding it when it is a file. The store must exist
    // and take a new file.
    static ResultCode locate(const std::filesystem::path& configPath, std::filesystem::path& store);

    const std::filesystem::path& root() const { return m_root; }

    // Every mailbox and its messages. ReadFailed when the store or one of its
    // mailboxes cannot be listed: a mailbox that could not be listed must not
    // look empty, or its messages would be reported gone.
    ResultCode scan(StoreState& state);

    // Writes a message into new/ of the existing mailbox named (UTF-8).
    ResultCode deliverLocal(const std::string& mailbox, const std::string& unique,
                            const std::string& content);

    // Writes a message into outbox-<type>/, creating that folder when needed.
    ResultCode deliverToOutbox(char addressType, const std::string& unique,
                               const std::string& content);

    // A file name no other delivery of this process, or of another process
    // on this machine, uses: time, microseconds, process id and a counter.
    static std::string uniqueName();

    // The names that can be mailboxes: not empty, no path separators, not
    // starting with "." or "outbox-", and at most 43 bytes in Windows-1250
    // (the record's name field with its terminator).
    static bool isMailboxName(const std::string& utf8Name);

private:
    struct CachedKind
    {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified;
        char kind = kDefaultKind;
    };

    ResultCode scanMailbox(const std::filesystem::path& folder, const std::string& name,
                           MailboxState& box, std::unordered_map<std::string, CachedKind>& kinds);
    char kindOf(const std::filesystem::path& file,
                std::unordered_map<std::string, CachedKind>& kinds);

    std::filesystem::path m_root;
    MessageIds m_ids;
    // Kinds read from message files, so that a scan reads only new or changed files.
    std::unordered_map<std::string, CachedKind> m_kinds;
};

} // namespace agentvx
