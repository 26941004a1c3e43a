#include "agent/actionqueue.h"

#include <algorithm>

void ActionQueue::PostAction(uint8_t code)
{
    if (ScheduledAction == NoAction) {
        ScheduledAction = code;
        return;
    }
    // Only the slots are checked: a code may be current and queued at once.
    if (std::find(slots.begin(), slots.end(), code) != slots.end())
        return;
    auto empty = std::find(slots.begin(), slots.end(), NoAction);
    if (empty != slots.end())
        *empty = code; // a full queue drops the code
}

void ActionQueue::NextAction()
{
    auto next = std::find_if(slots.begin(), slots.end(), [](uint8_t c) { return c != NoAction; });
    if (next == slots.end()) {
        ScheduledAction = NoAction;
        return;
    }
    ScheduledAction = *next;
    *next = NoAction;
}
