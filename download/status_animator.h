#pragma once
#include <cstdint>

#include "download/freeze_gate.h"
#include "platform/processes.h"
#include "platform/windowing.h"

// The status line's prefix for a network mode; empty for a mode that names none.
const wchar_t* ModePrefix(std::int32_t mode);

// Keeps the status label moving from the published status record: every cycle it writes the mode's
// prefix, the code's text and one to three dots. Never returns.
[[noreturn]] void RunStatusAnimator(platform::Windowing& windows, platform::Processes& processes, FreezeGate& gate);
