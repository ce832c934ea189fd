#include "download/status_animator.h"

#include <cstdlib>

#include "download/download_thread.h"
#include "download/run_state.h"
#include "download/text_buffer.h"

namespace {

constexpr std::uint32_t kRecordPoll = 150;
constexpr std::uint32_t kCycle = 500;

const wchar_t* Dots(int counter) {
    switch (counter) {
    case 2: return L"..";
    case 3: return L"...";
    default: return L".";
    }
}

}  // namespace

const wchar_t* ModePrefix(std::int32_t mode) {
    switch (static_cast<NetworkMode>(mode)) {
    case NetworkMode::DefaultProxy: return L"Tải qua proxy mặc định: ";
    case NetworkMode::IeProxy: return L"Tải qua cấu hình IE proxy: ";
    case NetworkMode::None:
    case NetworkMode::Direct: break;
    }
    return L"";
}

void RunStatusAnimator(platform::Windowing& windows, platform::Processes& processes, FreezeGate& gate) {
    const platform::WindowHandle main = windows.MainWindow();
    const platform::WindowHandle label = main != nullptr ? windows.GetDlgItem(main, kIdStatus) : nullptr;

    DownloadStatus* record = nullptr;
    do {
        record = g_status.load(std::memory_order_relaxed);
        processes.Sleep(kRecordPoll);
    } while (record == nullptr);

    // Fixed buffers: the cycle allocates nothing, so no other thread can ever wait on a heap lock
    // that the animator holds while it stands at the gate.
    TextBuffer prefix;
    TextBuffer text;
    TextBuffer dots;
    TextBuffer line;
    int counter = 1;
    for (;;) {
        if (label != nullptr) {
            gate.EnterCycle();
            CopyText(prefix, ModePrefix(record->Mode()));
            CopyText(text, StatusText(record->Code()));
            CopyText(dots, Dots(counter));
            counter = counter % 3 + 1;
            CopyText(line, prefix);
            AppendText(line, text);
            AppendText(line, dots);
            windows.SetWindowTextW(label, line);
            gate.LeaveCycle();
        }
        processes.Sleep(kCycle);
    }
}
