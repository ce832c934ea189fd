#pragma once
// Processes, time and the animator's freeze, as the worker threads use them.
#include <cstdint>
#include <cstdlib>

#include "platform/handles.h"

namespace platform {

constexpr std::uint32_t kErrorCancelled = 1223;  // ERROR_CANCELLED: the user refused the elevation

class Processes {
public:
    virtual ~Processes() = default;
    // CreateProcessW(null, commandLine, null, null, FALSE, 0, null, null, &si, &pi); the command
    // line buffer is writable, as CreateProcessW requires.
    virtual bool CreateProcessW(wchar_t* commandLine) = 0;
    // ShellExecuteExW with verb "runas", the file, the owner window and SW_SHOWNORMAL.
    virtual bool ShellExecuteRunAs(WindowHandle owner, const wchar_t* file) = 0;
    virtual std::uint32_t GetLastError() = 0;
    [[noreturn]] virtual void ExitProcess(std::uint32_t exitCode) = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// A call through the interface is not known to end the process, so the caller's own
// [[noreturn]] needs this; the abort is never reached.
[[noreturn]] inline void EndProcess(Processes& processes) {
    processes.ExitProcess(0);
    std::abort();
}

// The download thread's hold on the status animator: while frozen the animator writes nothing
// into the status label and reads nothing of the status record.
class AnimatorFreeze {
public:
    virtual ~AnimatorFreeze() = default;
    virtual void Freeze() = 0;         // returns once no label write is in progress
    virtual void Thaw() = 0;           // lifts one Freeze; no effect after FreezeForGood
    virtual void FreezeForGood() = 0;  // like Freeze, never lifted
};

}  // namespace platform
