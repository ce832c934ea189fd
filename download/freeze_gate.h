#pragma once
#include "platform/processes.h"
#include "platform/sync.h"

// Stands where a thread suspension would: the download thread freezes the animator around its own
// texts. Suspending a thread can stop it inside the heap or the window manager with a lock held, and
// a thread handle may already be closed by the time the download thread reaches its final freeze;
// the gate has neither hazard. The animator passes the gate for each label write and the record
// reads before it, so once Freeze returns nothing is written or read until the matching Thaw.
class FreezeGate final : public platform::AnimatorFreeze {
public:
    explicit FreezeGate(platform::Monitor& monitor) : monitor_(monitor) {}

    void Freeze() override;
    void Thaw() override;
    void FreezeForGood() override;

    // The animator's side: blocks while frozen and returns holding the gate; LeaveCycle hands it back.
    void EnterCycle();
    void LeaveCycle();

private:
    platform::Monitor& monitor_;
    unsigned freezes_ = 0;  // guarded by monitor_
    bool forGood_ = false;  // guarded by monitor_
};
