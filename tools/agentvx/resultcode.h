// Results of the library's entry points. 0 is success; every failure has its
// own value so that a caller (or a person reading the debug output) can tell
// them apart. The agent only distinguishes zero from non-zero.
#pragma once

#include <cstdint>

namespace agentvx {

enum ResultCode : std::int32_t {
    Ok = 0,
    BadArgument = 1,     // null pointer, unknown read mode, unusable name
    NotInitialised = 2,  // no store: initialisation missing or refused
    StoreMissing = 3,    // the store folder does not exist or is not a folder
    StoreUnwritable = 4, // the store (or a folder inside it) cannot be written
    ReadFailed = 5,      // the store could not be listed
    UnknownMailbox = 6,  // local delivery to a mailbox that does not exist
    DeliveryFailed = 7,  // a message file could not be written
    NothingToConfirm = 8 // no read awaits confirmation, or another list was handed back
};

} // namespace agentvx
