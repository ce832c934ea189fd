#pragma once
// A lock with one condition, the primitive the animator's gate is built on.

namespace platform {

class Monitor {
public:
    virtual ~Monitor() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    // Releases the lock, waits for WakeAll (or a spurious wake-up) and takes the lock again.
    virtual void Wait() = 0;
    virtual void WakeAll() = 0;
};

}  // namespace platform
