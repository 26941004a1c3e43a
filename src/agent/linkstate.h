#pragma once

#include "agent/actionqueue.h"

#include <cstdint>

enum class LinkState : int32_t { Idle = 0, Waiting = 1, Unreachable = 2 };

// The small shared state that guards the one serial link: read and changed by the
// main tick, the dispatcher, the client request handling and the numbers loading.
struct LinkControl
{
    LinkState state = LinkState::Idle;
    int32_t StateTicks = 0;
    int32_t ErrorCount = 0;
    bool RestorePending = false;
    int32_t MaxTick = 9;
    int32_t MaxError = 6;
    int32_t MaxErrorTick = 600;
    ActionQueue actions;

    // A request was written: its reply is now awaited.
    void startWaiting()
    {
        state = LinkState::Waiting;
        StateTicks = 0;
    }
};
