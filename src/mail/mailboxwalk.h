#pragma once

#include "mail/agentvxabi.h"

class MessageRegister;
class TData;

enum class MailboxReadMode : int32_t {
    Full = AVX_READ_FULL,       // every message of every mailbox: counters are set
    Changes = AVX_READ_CHANGES, // what arrived or went since the last confirmation
};

// Brings the mailbox counters of data and the register up to date from the list of
// mailbox records the mail library delivered (head may be null: an empty list). The
// records are read by offset, never changed. Only a mailbox named like an extension of
// data changes a counter: position 0 counts every kind but "H" and "F", 1 counts "H",
// 2 counts "F"; changes are applied modulo 256.
//
// A full read sets each listed mailbox's counters from the groups' message numbers and
// registers every message. A read of changes adds each new message to the counter of
// its group's kind and registers it there; a message gone is taken from the register
// and subtracted from the counter of the kind it was registered under (a gone message
// the register does not know changes nothing).
//
// The caller clears the counters and the register before a full read.
void WalkMailboxRecords(const void* head, MailboxReadMode mode, MessageRegister& reg, TData& data);
