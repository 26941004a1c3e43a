// A stand-in for the mail gateway library: every entry point records its call and its
// arguments, and answers what the test told it through the avxd_* control functions.
// Built twice: complete, and without SetDebugLevel (AVXD_WITHOUT_SET_DEBUG_LEVEL).

#include "mail/agentvxabi.h"

#include <string>

namespace {

std::string calls;
int32_t initResult = 0;
int32_t sendResult = 0;
int32_t quickResult = 0;
int32_t readResult = 0;
MailboxRecord* readHead = nullptr;

void record(const std::string& line)
{
    calls += line;
    calls += '\n';
}

std::string text(const char* s)
{
    return s ? std::string(s) : std::string("<null>");
}

} // namespace

AVX_EXTERN_C AVX_EXPORT void avxd_reset(void)
{
    calls.clear();
    initResult = sendResult = quickResult = readResult = 0;
    readHead = nullptr;
}
AVX_EXTERN_C AVX_EXPORT const char* avxd_calls(void)
{
    return calls.c_str();
}
AVX_EXTERN_C AVX_EXPORT void avxd_set_init_result(int32_t r)
{
    initResult = r;
}
AVX_EXTERN_C AVX_EXPORT void avxd_set_send_result(int32_t r)
{
    sendResult = r;
}
AVX_EXTERN_C AVX_EXPORT void avxd_set_quick_result(int32_t r)
{
    quickResult = r;
}
AVX_EXTERN_C AVX_EXPORT void avxd_set_read(int32_t r, MailboxRecord* head)
{
    readResult = r;
    readHead = head;
}

int32_t AVX_CALL RychlyTestZmenVeSchrankach(void)
{
    record("RychlyTestZmenVeSchrankach()");
    return quickResult;
}

int32_t AVX_CALL NactiZmenyVeSchrankach(MailboxRecord** head, ReadParams* params)
{
    bool zeroed = true;
    for (unsigned char b : params->Reserved)
        zeroed = zeroed && b == 0;
    record("NactiZmenyVeSchrankach(" + std::to_string(params->ReadMode) +
           (zeroed ? "|zeroed)" : "|dirty)"));
    // On failure the head is left as the caller set it.
    if (readResult == 0)
        *head = readHead;
    return readResult;
}

int32_t AVX_CALL PotvrdPreneseniZmenVeSchrankach(MailboxRecord** head)
{
    record(std::string("PotvrdPreneseniZmenVeSchrankach(") +
           (*head == readHead ? "delivered" : "other") + ")");
    return 0;
}

int32_t AVX_CALL PosliStavovouZpravu(const char* recipient, unsigned char addressType,
                                     const char* subject, const char* message, unsigned char flag)
{
    record("PosliStavovouZpravu(" + text(recipient) + "|" + std::to_string(addressType) + "|" +
           text(subject) + "|" + text(message) + "|" + std::to_string(flag) + ")");
    return sendResult;
}

int32_t AVX_CALL InicializaceVXKomunikace(const char* configPath, const char* user,
                                          const char* workDir, const char* password)
{
    record("InicializaceVXKomunikace(" + text(configPath) + "|" + text(user) + "|" + text(workDir) +
           "|" + text(password) + ")");
    return initResult;
}

int32_t AVX_CALL DeInicializaceVXKomunikace(void)
{
    record("DeInicializaceVXKomunikace()");
    return 0;
}

#ifndef AVXD_WITHOUT_SET_DEBUG_LEVEL
int32_t AVX_CALL SetDebugLevel(uint32_t level)
{
    record("SetDebugLevel(" + std::to_string(level) + ")");
    return 0;
}
#endif
