// The library's state between calls: the store it was initialised with, the
// state of the store as the caller last confirmed it, and the read that awaits
// confirmation with the records it handed out.
#pragma once

#include "mail/agentvxabi.h"
#include "mailstore.h"
#include "recordlist.h"
#include "resultcode.h"

#include <memory>
#include <optional>

namespace agentvx {

class Session
{
public:
    // configPath names the store folder, or a file inside it. The texts are
    // Windows-1250; the user becomes the sender of delivered messages; the
    // working folder and the password are not needed by a store on disk.
    ResultCode initialise(const char* configPath, const char* user, const char* workDir,
                          const char* password);
    ResultCode shutdown();

    // 1 when a read of changes would report a message, 0 when not. A
    // store that cannot be listed (or none at all) also answers 1, so that the
    // read that follows reports the failure.
    std::int32_t quickTest();

    ResultCode read(MailboxRecord** head, const ReadParams* params);
    ResultCode confirm(MailboxRecord** head);

    ResultCode send(const char* recipient, unsigned char addressType, const char* subject,
                    const char* text, unsigned char flag);

private:
    std::unique_ptr<MailStore> m_store;
    std::string m_user;
    StoreState m_confirmed;
    // The state the last read reported, until it is confirmed.
    std::optional<StoreState> m_pending;
    // The records of the last read; they live until the next read or the shutdown.
    RecordList m_records;
};

} // namespace agentvx
