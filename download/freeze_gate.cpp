#include "download/freeze_gate.h"

void FreezeGate::Freeze() {
    // Taking the lock waits out a write in progress; the flag keeps the next one out.
    monitor_.Lock();
    ++freezes_;
    monitor_.Unlock();
}

void FreezeGate::Thaw() {
    monitor_.Lock();
    if (freezes_ > 0) --freezes_;
    monitor_.Unlock();
    monitor_.WakeAll();
}

void FreezeGate::FreezeForGood() {
    monitor_.Lock();
    forGood_ = true;
    monitor_.Unlock();
}

void FreezeGate::EnterCycle() {
    monitor_.Lock();
    while (forGood_ || freezes_ > 0) monitor_.Wait();
}

void FreezeGate::LeaveCycle() { monitor_.Unlock(); }
