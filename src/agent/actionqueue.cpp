#include "agent/actionqueue.h"

#include <algorithm>

void ActionQueue::PostAction(uint8_t code)
{
    if (ScheduledAction == NoAction) {
        ScheduledAction = code;
        return;
    }
    // Only the slots are checked: a code may be current and queued at once.
    if (std::find(slotCodes.begin(), slotCodes.end(), code) != slotCodes.end())
        return;
    auto empty = std::find(slotCodes.begin(), slotCodes.end(), NoAction);
    if (empty != slotCodes.end())
        *empty = code; // a full queue drops the code
}

void ActionQueue::NextAction()
{
    auto next =
        std::find_if(slotCodes.begin(), slotCodes.end(), [](uint8_t c) { return c != NoAction; });
    if (next == slotCodes.end()) {
        ScheduledAction = NoAction;
        return;
    }
    ScheduledAction = *next;
    *next = NoAction;
}
