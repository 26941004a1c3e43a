#pragma once

#include <array>
#include <cstdint>

// Codes equal the PendingRequest kinds of the packets the actions send.
enum ActionCode : uint8_t {
    NoAction = 0,
    ReadMailboxes = 3,
    QueryTrap = 4,
    LoadNumbers = 5,
    QueryLineStatus = 6,
};

// One current action and four slotCodes. Not first-in first-out: NextAction empties the
// lowest non-empty slot, and PostAction fills the lowest empty one, so a code posted
// after a NextAction can overtake older ones.
class ActionQueue
{
public:
    void PostAction(uint8_t code);
    void NextAction();

    uint8_t ScheduledAction = NoAction;
    std::array<uint8_t, 4> slotCodes{};
};
