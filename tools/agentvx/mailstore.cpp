#include "mailstore.h"

#include "cp1250.h"
#include "debuglog.h"
#include "mail/agentvxabi.h"
#include "messagefile.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace agentvx {

namespace {

constexpr const char* kOutboxPrefix = "outbox-";

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

bool isDirectory(const fs::path& path)
{
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// Writes content under a name that scans skip, then renames it into place, so
// that a reader sees either no message or the whole of it.
ResultCode writeMessage(const fs::path& scratch, const fs::path& target, const std::string& content)
{
    {
        std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
        if (!out) {
            debugLog(Errors, "cannot create %s", scratch.c_str());
            return DeliveryFailed;
        }
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            debugLog(Errors, "cannot write %s", scratch.c_str());
            std::error_code ec;
            fs::remove(scratch, ec);
            return DeliveryFailed;
        }
    }
    std::error_code ec;
    fs::rename(scratch, target, ec);
    if (ec) {
        debugLog(Errors, "cannot move %s to %s: %s", scratch.c_str(), target.c_str(),
                 ec.message().c_str());
        fs::remove(scratch, ec);
        return DeliveryFailed;
    }
    return Ok;
}

// The folder exists (it is created when missing, but never its parent: a store
// that has gone is not brought back by a delivery) and is a folder.
bool ensureFolder(const fs::path& folder)
{
    std::error_code ec;
    fs::create_directory(folder, ec);
    if (!isDirectory(folder)) {
        debugLog(Errors, "cannot create folder %s", folder.c_str());
        return false;
    }
    return true;
}

} // namespace

ResultCode MailStore::locate(const fs::path& configPath, fs::path& store)
{
    if (configPath.empty())
        return StoreMissing;
    std::error_code ec;
    const fs::file_status status = fs::status(configPath, ec);
    if (fs::is_directory(status))
        store = configPath;
    else if (fs::is_regular_file(status))
        store = configPath.parent_path().empty() ? fs::path(".") : configPath.parent_path();
    else {
        debugLog(Errors, "no mail store at %s", configPath.c_str());
        return StoreMissing;
    }

    // Only an actual write tells whether the store takes files (a check of the
    // permission bits says nothing for a privileged user or a read-only mount).
    const fs::path probe = store / ("." + uniqueName() + ".probe");
    std::ofstream out(probe, std::ios::binary);
    const bool writable = static_cast<bool>(out);
    out.close();
    fs::remove(probe, ec);
    if (!writable) {
        debugLog(Errors, "mail store %s cannot be written", store.c_str());
        return StoreUnwritable;
    }
    return Ok;
}

ResultCode MailStore::scan(StoreState& state)
{
    state.clear();
    std::unordered_map<std::string, CachedKind> kinds;
    std::error_code ec;
    fs::directory_iterator it(m_root, ec);
    if (ec) {
        debugLog(Errors, "cannot list the mail store %s: %s", m_root.c_str(), ec.message().c_str());
        return ReadFailed;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        const fs::path folder = it->path();
        const std::string name = folder.filename().string();
        if (startsWith(name, ".") || startsWith(name, kOutboxPrefix) || !isDirectory(folder))
            continue;
        if (!isDirectory(folder / "new") && !isDirectory(folder / "cur"))
            continue;
        if (!isMailboxName(name)) {
            debugLog(Details, "folder %s cannot be a mailbox name; skipped", name.c_str());
            continue;
        }
        const std::string recordName = *utf8ToCp1250(name);
        MailboxState box;
        if (const ResultCode r = scanMailbox(folder, recordName, box, kinds); r != Ok)
            return r;
        state.emplace(recordName, std::move(box));
    }
    if (ec) {
        debugLog(Errors, "cannot list the mail store %s: %s", m_root.c_str(), ec.message().c_str());
        return ReadFailed;
    }
    m_kinds = std::move(kinds);
    return Ok;
}

ResultCode MailStore::scanMailbox(const fs::path& folder, const std::string& name,
                                  MailboxState& box,
                                  std::unordered_map<std::string, CachedKind>& kinds)
{
    for (const char* sub : {"new", "cur"}) {
        const fs::path dir = folder / sub;
        if (!isDirectory(dir))
            continue;
        std::error_code ec;
        fs::directory_iterator it(dir, ec);
        for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
            const std::string file = it->path().filename().string();
            std::error_code typeError;
            if (startsWith(file, ".") || !it->is_regular_file(typeError))
                continue;
            const std::string unique = file.substr(0, file.find(':'));
            // A file caught in both folders while a reader moves it is one message.
            if (box.count(unique) != 0)
                continue;
            const char kind = kindOf(it->path(), kinds);
            box.emplace(unique, MessageState{m_ids.idFor(name, unique), kind});
        }
        if (ec) {
            debugLog(Errors, "cannot list %s: %s", dir.c_str(), ec.message().c_str());
            return ReadFailed;
        }
    }
    return Ok;
}

char MailStore::kindOf(const fs::path& file, std::unordered_map<std::string, CachedKind>& kinds)
{
    std::error_code ec;
    CachedKind entry;
    entry.size = fs::file_size(file, ec);
    entry.modified = fs::last_write_time(file, ec);
    const auto known = m_kinds.find(file.string());
    if (known != m_kinds.end() && known->second.size == entry.size &&
        known->second.modified == entry.modified) {
        entry.kind = known->second.kind;
    } else {
        entry.kind = readMessageKind(file);
    }
    kinds[file.string()] = entry;
    return entry.kind;
}

ResultCode MailStore::deliverLocal(const std::string& mailbox, const std::string& unique,
                                   const std::string& content)
{
    if (!isMailboxName(mailbox))
        return BadArgument;
    const fs::path folder = m_root / mailbox;
    if (!isDirectory(folder / "new") && !isDirectory(folder / "cur")) {
        debugLog(Errors, "no mailbox %s in %s", mailbox.c_str(), m_root.c_str());
        return UnknownMailbox;
    }
    if (!ensureFolder(folder / "tmp") || !ensureFolder(folder / "new"))
        return StoreUnwritable;
    return writeMessage(folder / "tmp" / unique, folder / "new" / unique, content);
}

ResultCode MailStore::deliverToOutbox(char addressType, const std::string& unique,
                                      const std::string& content)
{
    const bool usable = (addressType >= 'A' && addressType <= 'Z') ||
                        (addressType >= 'a' && addressType <= 'z') ||
                        (addressType >= '0' && addressType <= '9');
    if (!usable)
        return BadArgument;
    const fs::path folder = m_root / (std::string(kOutboxPrefix) + addressType);
    if (!ensureFolder(folder))
        return StoreUnwritable;
    return writeMessage(folder / ("." + unique + ".tmp"), folder / unique, content);
}

std::string MailStore::uniqueName()
{
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now - seconds);
    return std::to_string(seconds.count()) + ".M" + std::to_string(micros.count()) + "P" +
           std::to_string(::getpid()) + "Q" + std::to_string(++counter) + ".agentvx";
}

bool MailStore::isMailboxName(const std::string& utf8Name)
{
    if (utf8Name.empty() || startsWith(utf8Name, ".") || startsWith(utf8Name, kOutboxPrefix))
        return false;
    if (utf8Name.find_first_of("/\\") != std::string::npos)
        return false;
    const auto recordName = utf8ToCp1250(utf8Name);
    return recordName && recordName->size() < AVX_MAILBOX_NAME_CAPACITY &&
           recordName->find('\0') == std::string::npos;
}

} // namespace agentvx
