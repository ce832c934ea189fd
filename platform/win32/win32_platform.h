#pragma once
#include "download/freeze_gate.h"
#include "platform/platform.h"

namespace platform {

// The real WinHTTP, file, window and process operations, and the process's animator gate.
Platform& Win32Platform();
FreezeGate& Win32AnimatorGate();

}  // namespace platform
