// The seven entry points of the library. Each takes the one lock (a caller may
// use several threads even though the agent does not), hands the call to the
// session, and turns any exception into a result, since none may cross the C
// boundary.
#include "debuglog.h"
#include "mail/agentvxabi.h"
#include "session.h"

#include <exception>
#include <mutex>

namespace {

std::mutex sessionLock;

agentvx::Session& session()
{
    static agentvx::Session instance;
    return instance;
}

template <typename Call> std::int32_t guarded(const char* what, std::int32_t onException, Call call)
{
    try {
        const std::lock_guard<std::mutex> lock(sessionLock);
        return call(session());
    } catch (const std::exception& e) {
        agentvx::debugLog(agentvx::Errors, "%s failed: %s", what, e.what());
    } catch (...) {
        agentvx::debugLog(agentvx::Errors, "%s failed", what);
    }
    return onException;
}

} // namespace

extern "C" {

AVX_EXPORT int32_t AVX_CALL RychlyTestZmenVeSchrankach(void)
{
    // On a failure the caller is sent to read, where the failure shows.
    return guarded("quick test", 1, [](agentvx::Session& s) { return s.quickTest(); });
}

AVX_EXPORT int32_t AVX_CALL NactiZmenyVeSchrankach(MailboxRecord** head, ReadParams* params)
{
    return guarded("read", agentvx::ReadFailed,
                   [&](agentvx::Session& s) { return s.read(head, params); });
}

AVX_EXPORT int32_t AVX_CALL PotvrdPreneseniZmenVeSchrankach(MailboxRecord** head)
{
    return guarded("confirmation", agentvx::NothingToConfirm,
                   [&](agentvx::Session& s) { return s.confirm(head); });
}

AVX_EXPORT int32_t AVX_CALL PosliStavovouZpravu(const char* recipient, unsigned char addressType,
                                                const char* subject, const char* text,
                                                unsigned char flag)
{
    return guarded("send", agentvx::DeliveryFailed, [&](agentvx::Session& s) {
        return s.send(recipient, addressType, subject, text, flag);
    });
}

AVX_EXPORT int32_t AVX_CALL InicializaceVXKomunikace(const char* configPath, const char* user,
                                                     const char* workDir, const char* password)
{
    return guarded("initialisation", agentvx::StoreMissing, [&](agentvx::Session& s) {
        return s.initialise(configPath, user, workDir, password);
    });
}

AVX_EXPORT int32_t AVX_CALL DeInicializaceVXKomunikace(void)
{
    return guarded("shutdown", agentvx::NotInitialised,
                   [](agentvx::Session& s) { return s.shutdown(); });
}

AVX_EXPORT int32_t AVX_CALL SetDebugLevel(uint32_t level)
{
    agentvx::setDebugLevel(level);
    return agentvx::Ok;
}

} // extern "C"
