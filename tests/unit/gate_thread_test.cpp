// The animator and the freeze gate on real threads: run under ThreadSanitizer and AddressSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "download/run_state.h"
#include "download/status_animator.h"
#include "tests/unit/std_monitor.h"

namespace {

platform::WindowHandle const kMain = reinterpret_cast<platform::WindowHandle>(0x10);
platform::WindowHandle const kLabel = reinterpret_cast<platform::WindowHandle>(0x20);

struct StopAnimator {};

// A label that notices a write made while the download thread holds the animator frozen.
class WatchedLabel final : public platform::Windowing {
public:
    std::atomic<bool> frozen{false};
    std::atomic<long> writes{0};
    std::atomic<long> writesWhileFrozen{0};

    platform::WindowHandle MainWindow() override { return kMain; }
    platform::WindowHandle GetDlgItem(platform::WindowHandle, int) override { return kLabel; }
    void SetWindowTextW(platform::WindowHandle, const wchar_t*) override {
        if (frozen.load()) ++writesWhileFrozen;
        ++writes;
    }
    void SetProgressPosition(platform::WindowHandle, std::int32_t) override {}
    void Hide(platform::WindowHandle) override {}
    void MessageBoxW(platform::WindowHandle, const wchar_t*, const wchar_t*, std::uint32_t) override {}
    void EndDialog(platform::WindowHandle, int) override {}
};

// The animator's sleeps, shortened to a yield; `stop` ends the animator at its next sleep.
class QuickSleeps final : public platform::Processes {
public:
    std::atomic<bool> stop{false};

    void Sleep(std::uint32_t) override {
        if (stop.load()) throw StopAnimator{};
        std::this_thread::yield();
    }
    bool CreateProcessW(wchar_t*) override { return false; }
    bool ShellExecuteRunAs(platform::WindowHandle, const wchar_t*) override { return false; }
    std::uint32_t GetLastError() override { return 0; }
    void ExitProcess(std::uint32_t) override { std::abort(); }
};

bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// An animator on a thread of its own over a published record; stopped and joined after each test.
class AnimatorThread : public ::testing::Test {
protected:
    void SetUp() override {
        g_status.store(&record);
        animator = std::thread([this] {
            try {
                RunStatusAnimator(label, sleeps, gate);
            } catch (const StopAnimator&) {
            }
        });
    }
    void TearDown() override {
        sleeps.stop = true;
        animator.join();
        g_status.store(nullptr);
    }

    DownloadStatus record;
    WatchedLabel label;
    QuickSleeps sleeps;
    StdMonitor monitor;
    FreezeGate gate{monitor};
    std::thread animator;
};

TEST_F(AnimatorThread, NoLabelWriteBetweenFreezeAndThawAcrossThousandsOfPairs) {
    for (int pair = 0; pair < 5000; ++pair) {
        gate.Freeze();
        label.frozen = true;
        record.SetCode(pair % 2 ? StatusCode::ChunkRead : StatusCode::Initializing);
        std::this_thread::yield();
        label.frozen = false;
        gate.Thaw();
        // After a thaw the animator carries on: it must get to write again.
        if (pair % 250 == 0) {
            const long before = label.writes.load();
            ASSERT_TRUE(WaitUntil([&] { return label.writes.load() > before; })) << "animator stuck after thaw";
        }
    }
    EXPECT_EQ(label.writesWhileFrozen.load(), 0);
    EXPECT_GT(label.writes.load(), 20);
}

TEST_F(AnimatorThread, NestedFreezesNeedAsManyThaws) {
    ASSERT_TRUE(WaitUntil([&] { return label.writes.load() > 0; }));
    gate.Freeze();
    gate.Freeze();
    label.frozen = true;
    gate.Thaw();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    label.frozen = false;
    const long before = label.writes.load();
    gate.Thaw();
    ASSERT_TRUE(WaitUntil([&] { return label.writes.load() > before; }));
    EXPECT_EQ(label.writesWhileFrozen.load(), 0);
}

// After the final freeze the download thread may return and its record go away: the animator must
// neither write nor read it again, even when a thaw follows.
TEST(FreezeGate, AfterTheFinalFreezeTheRecordIsNeverTouchedAgain) {
    auto record = std::make_unique<DownloadStatus>();
    g_status.store(record.get());
    // The animator stays blocked at the gate for good, so what it uses must outlive the test.
    auto* label = new WatchedLabel;
    auto* sleeps = new QuickSleeps;
    auto* monitor = new StdMonitor;
    auto* gate = new FreezeGate(*monitor);
    std::thread([=] { RunStatusAnimator(*label, *sleeps, *gate); }).detach();

    ASSERT_TRUE(WaitUntil([&] { return label->writes.load() >= 3; }));
    gate->FreezeForGood();
    label->frozen = true;
    record.reset();  // a read from here on is a use after free for the sanitizers
    gate->Thaw();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(label->writesWhileFrozen.load(), 0);
    g_status.store(nullptr);
}

}  // namespace
