#pragma once
// The gate's monitor on the standard library, for native tests with real threads.
#include <condition_variable>
#include <mutex>

#include "platform/sync.h"

class StdMonitor final : public platform::Monitor {
public:
    void Lock() override { mutex_.lock(); }
    void Unlock() override { mutex_.unlock(); }
    void Wait() override {
        std::unique_lock<std::mutex> lock(mutex_, std::adopt_lock);
        condition_.wait(lock);
        lock.release();
    }
    void WakeAll() override { condition_.notify_all(); }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
};
