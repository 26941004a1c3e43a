/*
 * agentvxabi.h - the binary interface of the mail gateway library "agentvx".
 *
 * Both sides include this header: the agent, which loads the library at run
 * time and calls it through the function-pointer types below, and every
 * implementation of the library (tools/agentvx, the test doubles), which
 * defines the seven entry points with AVX_EXPORT and AVX_CALL.
 *
 * Plain C (C99 or later) and C++ alike; no Qt, no C++ library.
 *
 * Calling convention: on 32-bit Windows the entry points use __stdcall (the
 * callee removes the arguments; a byte argument takes a full 32-bit slot).
 * Everywhere else they use the platform's C convention. On 32-bit Windows the
 * library must export the names undecorated (use a .def file), because the
 * agent looks them up by their bare names.
 *
 * Records: the library hands out linked lists of packed records. On a 32-bit
 * build every pointer field is 4 bytes wide; on a 64-bit build 8 bytes. The
 * only offset that differs between the two is the "next" pointer of a message
 * group (7 or 11), because it follows the group's first-item pointer; every
 * other AVX_*_OFFSET is the same on both.
 *
 * The agent never casts library memory to these structs: it reads the fields
 * by offset with the avx_read_* helpers at the end of this file, so the
 * structs below serve the library side and the compile-time layout checks.
 */
#ifndef SARVIK_AGENTVXABI_H
#define SARVIK_AGENTVXABI_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

/* ---- calling convention and export ---------------------------------------- */

#if defined(_WIN32) && !defined(_WIN64)
#define AVX_CALL __stdcall
#else
#define AVX_CALL
#endif

#if defined(_WIN32)
#define AVX_EXPORT __declspec(dllexport)
#elif defined(__GNUC__)
#define AVX_EXPORT __attribute__((visibility("default")))
#else
#define AVX_EXPORT
#endif

#ifdef __cplusplus
#define AVX_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#define AVX_EXTERN_C extern "C"
#else
#define AVX_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#define AVX_EXTERN_C
#endif

/* Base name of the library file (agentvx.dll, libagentvx.so, ...). */
#define AVX_LIBRARY_NAME "agentvx"

/* ---- constants -------------------------------------------------------------- */

/* ReadParams.ReadMode */
#define AVX_READ_FULL 1    /* every message in every mailbox */
#define AVX_READ_CHANGES 3 /* changes since the last confirmed transfer */

/* MessageItem flags: in a read of changes, bit 1 or bit 2 set means the
 * message has gone; both clear means it has arrived. */
#define AVX_ITEM_GONE_MASK 6u

/* Status message flag byte, and the one used for forwarded exchange TRAPs. */
#define AVX_FLAG_STATUS 1
#define AVX_FLAG_TRAP 0x31

/* Width of every pointer field in the records: that of the build. */
#define AVX_PTR_SIZE ((size_t)sizeof(void*))

/* Field offsets, in bytes from the start of a record. */
#define AVX_MAILBOX_NAME_OFFSET 69
#define AVX_MAILBOX_NAME_CAPACITY 44 /* bytes 69..112, terminator included */
#define AVX_MAILBOX_FIRST_GROUP_OFFSET 113
#define AVX_MAILBOX_NEXT_OFFSET 321
#define AVX_MAILBOX_SIZE (AVX_MAILBOX_NEXT_OFFSET + AVX_PTR_SIZE) /* 325 / 329 */

#define AVX_GROUP_KIND_OFFSET 0
#define AVX_GROUP_COUNT_OFFSET 1
#define AVX_GROUP_FIRST_ITEM_OFFSET 3
#define AVX_GROUP_NEXT_OFFSET (AVX_GROUP_FIRST_ITEM_OFFSET + AVX_PTR_SIZE) /* 7 / 11 */
#define AVX_GROUP_SIZE (AVX_GROUP_NEXT_OFFSET + AVX_PTR_SIZE)              /* 11 / 19 */

#define AVX_ITEM_FLAGS_OFFSET 4
#define AVX_ITEM_ID_OFFSET 8
#define AVX_ITEM_NEXT_OFFSET 54
#define AVX_ITEM_SIZE (AVX_ITEM_NEXT_OFFSET + AVX_PTR_SIZE) /* 58 / 62 */

/* ---- records ------------------------------------------------------------------ */

#pragma pack(push, 1)

/* Parameter block of NactiZmenyVeSchrankach: 28 bytes. The agent sets
 * ReadMode and zeroes the rest; it reads nothing back. */
typedef struct ReadParams
{
    int32_t ReadMode;
    unsigned char Reserved[24];
} ReadParams;

typedef struct MessageItem MessageItem;
typedef struct MessageGroup MessageGroup;
typedef struct MailboxRecord MailboxRecord;

struct MessageItem
{
    unsigned char Reserved0[4];
    uint32_t Flags;      /* offset 4 */
    uint32_t Identifier; /* offset 8 */
    unsigned char Reserved12[42];
    MessageItem* Next; /* offset 54 */
};

struct MessageGroup
{
    char Kind;              /* offset 0: kind character, e.g. 'H', 'F' */
    uint16_t Count;         /* offset 1: number of messages (full read only) */
    MessageItem* FirstItem; /* offset 3 */
    MessageGroup* Next;     /* offset 7 (32-bit) or 11 (64-bit) */
};

struct MailboxRecord
{
    unsigned char Reserved0[69];
    char Name[AVX_MAILBOX_NAME_CAPACITY]; /* offset 69: zero-terminated */
    MessageGroup* FirstGroup;             /* offset 113 */
    unsigned char
        Reserved[AVX_MAILBOX_NEXT_OFFSET - AVX_MAILBOX_FIRST_GROUP_OFFSET - sizeof(void*)];
    MailboxRecord* Next; /* offset 321 */
};

#pragma pack(pop)

AVX_STATIC_ASSERT(sizeof(ReadParams) == 28, "ReadParams is 28 bytes");
AVX_STATIC_ASSERT(offsetof(ReadParams, ReadMode) == 0, "ReadMode at 0");

AVX_STATIC_ASSERT(offsetof(MessageItem, Flags) == AVX_ITEM_FLAGS_OFFSET, "item flags at 4");
AVX_STATIC_ASSERT(offsetof(MessageItem, Identifier) == AVX_ITEM_ID_OFFSET, "item id at 8");
AVX_STATIC_ASSERT(offsetof(MessageItem, Next) == AVX_ITEM_NEXT_OFFSET, "item next at 54");
AVX_STATIC_ASSERT(sizeof(MessageItem) == AVX_ITEM_SIZE, "item size");

AVX_STATIC_ASSERT(offsetof(MessageGroup, Kind) == AVX_GROUP_KIND_OFFSET, "group kind at 0");
AVX_STATIC_ASSERT(offsetof(MessageGroup, Count) == AVX_GROUP_COUNT_OFFSET, "group count at 1");
AVX_STATIC_ASSERT(offsetof(MessageGroup, FirstItem) == AVX_GROUP_FIRST_ITEM_OFFSET,
                  "group first item at 3");
AVX_STATIC_ASSERT(offsetof(MessageGroup, Next) == AVX_GROUP_NEXT_OFFSET, "group next");
AVX_STATIC_ASSERT(sizeof(MessageGroup) == AVX_GROUP_SIZE, "group size");

AVX_STATIC_ASSERT(offsetof(MailboxRecord, Name) == AVX_MAILBOX_NAME_OFFSET, "name at 69");
AVX_STATIC_ASSERT(offsetof(MailboxRecord, FirstGroup) == AVX_MAILBOX_FIRST_GROUP_OFFSET,
                  "first group at 113");
AVX_STATIC_ASSERT(offsetof(MailboxRecord, Next) == AVX_MAILBOX_NEXT_OFFSET, "next at 321");
AVX_STATIC_ASSERT(sizeof(MailboxRecord) == AVX_MAILBOX_SIZE, "mailbox size");

/* The two layouts the interface knows: 32-bit and 64-bit pointers. */
AVX_STATIC_ASSERT(sizeof(void*) == 4 || sizeof(void*) == 8, "4- or 8-byte pointers");
AVX_STATIC_ASSERT(sizeof(void*) != 4 || (AVX_GROUP_NEXT_OFFSET == 7 && AVX_MAILBOX_SIZE == 325 &&
                                         AVX_ITEM_SIZE == 58 && AVX_GROUP_SIZE == 11),
                  "32-bit layout");
AVX_STATIC_ASSERT(sizeof(void*) != 8 || (AVX_GROUP_NEXT_OFFSET == 11 && AVX_MAILBOX_SIZE == 329 &&
                                         AVX_ITEM_SIZE == 62 && AVX_GROUP_SIZE == 19),
                  "64-bit layout");

/* ---- entry points ------------------------------------------------------------ */

/* Every result is a 32-bit integer; where the agent relies on none it ignores it. */

/* Debug level for the library's own diagnostics; called right before
 * InicializaceVXKomunikace. */
typedef int32_t(AVX_CALL* SetDebugLevelFn)(uint32_t level);

/* 0 = initialised, any other value = refused. Four zero-terminated
 * Windows-1250 texts. */
typedef int32_t(AVX_CALL* InicializaceVXKomunikaceFn)(const char* configPath, const char* user,
                                                      const char* workDir, const char* password);

typedef int32_t(AVX_CALL* DeInicializaceVXKomunikaceFn)(void);

/* 0 = accepted. addressType: an AddressType code ('L','V','Q','I','F','Z');
 * flag: AVX_FLAG_STATUS or AVX_FLAG_TRAP. */
typedef int32_t(AVX_CALL* PosliStavovouZpravuFn)(const char* recipient, unsigned char addressType,
                                                 const char* subject, const char* text,
                                                 unsigned char flag);

/* Non-zero = some mailbox changed since the last confirmed transfer. */
typedef int32_t(AVX_CALL* RychlyTestZmenVeSchrankachFn)(void);

/* 0 = read: *head receives the first MailboxRecord (null when there is none).
 * The list belongs to the library until it is handed back by
 * PotvrdPreneseniZmenVeSchrankach. */
typedef int32_t(AVX_CALL* NactiZmenyVeSchrankachFn)(MailboxRecord** head, ReadParams* params);

/* Confirms the transfer of the list whose head *head holds. */
typedef int32_t(AVX_CALL* PotvrdPreneseniZmenVeSchrankachFn)(MailboxRecord** head);

/* Library side: the seven exported names, in the order the agent resolves them. */
AVX_EXTERN_C AVX_EXPORT int32_t AVX_CALL RychlyTestZmenVeSchrankach(void);
AVX_EXTERN_C AVX_EXPORT int32_t AVX_CALL NactiZmenyVeSchrankach(MailboxRecord** head,
                                                                ReadParams* params);
AVX_EXTERN_C AVX_EXPORT int32_t AVX_CALL PotvrdPreneseniZmenVeSchrankach(MailboxRecord** head);
AVX_EXTERN_C AVX_EXPORT int32_t AVX_CALL PosliStavovouZpravu(const char* recipient,
                                                             unsigned char addressType,
                                                             const char* subject, const char* text,
                                                             unsigned char flag);
AVX_EXTERN_C AVX_EXPORT int32_t AVX_CALL InicializaceVXKomunikace(const char* configPath,
                                                                  const char* user,
                                                                  const char* workDir,
                                                                  const char* password);
AVX_EXTERN_C AVX_EXPORT int32_t AVX_CALL DeInicializaceVXKomunikace(void);
AVX_EXTERN_C AVX_EXPORT int32_t AVX_CALL SetDebugLevel(uint32_t level);

/* ---- readers: fields by offset, native byte order, no alignment assumed ------ */

static inline const unsigned char* avx_read_ptr(const void* record, size_t offset)
{
    const unsigned char* value;
    memcpy(&value, (const unsigned char*)record + offset, sizeof value);
    return value;
}

static inline uint32_t avx_read_u32(const void* record, size_t offset)
{
    uint32_t value;
    memcpy(&value, (const unsigned char*)record + offset, sizeof value);
    return value;
}

static inline uint16_t avx_read_u16(const void* record, size_t offset)
{
    uint16_t value;
    memcpy(&value, (const unsigned char*)record + offset, sizeof value);
    return value;
}

/* Mailbox name: at most AVX_MAILBOX_NAME_CAPACITY - 1 bytes are taken, even
 * when the library forgot the terminator. Returns the length. */
static inline size_t avx_mailbox_name(const void* mailbox, const char** name)
{
    const char* text = (const char*)mailbox + AVX_MAILBOX_NAME_OFFSET;
    size_t length = 0;
    while (length < AVX_MAILBOX_NAME_CAPACITY - 1 && text[length] != '\0')
        ++length;
    *name = text;
    return length;
}

static inline const unsigned char* avx_mailbox_first_group(const void* mailbox)
{
    return avx_read_ptr(mailbox, AVX_MAILBOX_FIRST_GROUP_OFFSET);
}

static inline const unsigned char* avx_mailbox_next(const void* mailbox)
{
    return avx_read_ptr(mailbox, AVX_MAILBOX_NEXT_OFFSET);
}

static inline char avx_group_kind(const void* group)
{
    return ((const char*)group)[AVX_GROUP_KIND_OFFSET];
}

static inline uint16_t avx_group_count(const void* group)
{
    return avx_read_u16(group, AVX_GROUP_COUNT_OFFSET);
}

static inline const unsigned char* avx_group_first_item(const void* group)
{
    return avx_read_ptr(group, AVX_GROUP_FIRST_ITEM_OFFSET);
}

static inline const unsigned char* avx_group_next(const void* group)
{
    return avx_read_ptr(group, AVX_GROUP_NEXT_OFFSET);
}

static inline uint32_t avx_item_flags(const void* item)
{
    return avx_read_u32(item, AVX_ITEM_FLAGS_OFFSET);
}

static inline uint32_t avx_item_id(const void* item)
{
    return avx_read_u32(item, AVX_ITEM_ID_OFFSET);
}

static inline const unsigned char* avx_item_next(const void* item)
{
    return avx_read_ptr(item, AVX_ITEM_NEXT_OFFSET);
}

#endif /* SARVIK_AGENTVXABI_H */
