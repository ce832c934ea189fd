#pragma once
// Values shared by the dialog's thread, the download thread and the status animator. Each one is
// read and written whole; no order between two of them is relied on, so relaxed atomics suffice.
#include <atomic>
#include <cstdint>

enum class StatusCode : std::uint32_t {
    Completed = 0,
    SessionOpened = 1,
    UrlCracked = 2,
    Connected = 3,
    RequestOpened = 4,
    RequestSent = 5,
    ResponseReceived = 6,
    OutOfBuffer = 7,
    ChunkRead = 8,
    Initializing = 999,
    Failed = 1000,
    Connecting = 1001,
};

enum class NetworkMode : std::int32_t { None = 0, Direct = 1, DefaultProxy = 2, IeProxy = 3 };

enum class RunState : std::int32_t { Running = 0, AskingToStop = 1, StopConfirmed = 2 };

// Published by the download thread, read by the animator while the download thread writes it.
struct DownloadStatus {
    std::atomic<std::uint32_t> code{static_cast<std::uint32_t>(StatusCode::Initializing)};
    std::atomic<std::int32_t> mode{static_cast<std::int32_t>(NetworkMode::None)};

    void SetCode(StatusCode value) { code.store(static_cast<std::uint32_t>(value), std::memory_order_relaxed); }
    void SetMode(NetworkMode value) { mode.store(static_cast<std::int32_t>(value), std::memory_order_relaxed); }
    std::uint32_t Code() const { return code.load(std::memory_order_relaxed); }
    std::int32_t Mode() const { return mode.load(std::memory_order_relaxed); }
};

// The status line's text for a code; the empty text for a code that has none.
const wchar_t* StatusText(std::uint32_t code);

extern std::atomic<DownloadStatus*> g_status;
extern std::atomic<std::int32_t> g_runState;  // a RunState value
extern std::atomic<void*> g_hDownloadThread;
extern std::atomic<void*> g_hAnimatorThread;

inline RunState LoadRunState() { return static_cast<RunState>(g_runState.load(std::memory_order_relaxed)); }
inline void StoreRunState(RunState state) {
    g_runState.store(static_cast<std::int32_t>(state), std::memory_order_relaxed);
}
