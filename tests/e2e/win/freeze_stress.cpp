// The download thread's freeze and thaw around its own texts, thousands of times in a row, while the
// animator writes into a real label as fast as it can. Ends by itself: a hang is caught by the
// test's time limit. Prints what it saw; exit code 0 only when no animator line landed while frozen.
#include <windows.h>
#include <process.h>

#include <atomic>
#include <cstdio>
#include <cwchar>

#include "download/download_thread.h"
#include "download/run_state.h"
#include "download/status_animator.h"
#include "framework/main_window.h"
#include "platform/win32/win32_platform.h"

namespace {

constexpr int kPairs = 3000;

std::atomic<bool> g_frozen{false};
std::atomic<long> g_animatorLines{0};
std::atomic<long> g_linesWhileFrozen{0};
std::atomic<long> g_pairsDone{0};
WNDPROC g_staticProc = nullptr;

// The animator's sleeps cut to a millisecond, so that it writes thousands of lines meanwhile.
class FastSleeps final : public platform::Processes {
public:
    explicit FastSleeps(platform::Processes& real) : real_(real) {}
    bool CreateProcessW(wchar_t* commandLine) override { return real_.CreateProcessW(commandLine); }
    bool ShellExecuteRunAs(platform::WindowHandle owner, const wchar_t* file) override {
        return real_.ShellExecuteRunAs(owner, file);
    }
    std::uint32_t GetLastError() override { return real_.GetLastError(); }
    void ExitProcess(std::uint32_t code) override { real_.ExitProcess(code); }
    void Sleep(std::uint32_t) override { real_.Sleep(1); }

private:
    platform::Processes& real_;
};

LRESULT CALLBACK WatchLabel(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && lParam != 0) {
        const auto* text = reinterpret_cast<const wchar_t*>(lParam);
        if (std::wcscmp(text, setup_text::kDirectFailed) != 0) {
            ++g_animatorLines;
            if (g_frozen.load()) ++g_linesWhileFrozen;
        }
    }
    return CallWindowProcW(g_staticProc, window, message, wParam, lParam);
}

unsigned __stdcall Animator(void*) {
    static FastSleeps sleeps(platform::Win32Platform().processes);
    RunStatusAnimator(platform::Win32Platform().windows, sleeps, platform::Win32AnimatorGate());
}

unsigned __stdcall Downloader(void* mainWindow) {
    platform::Platform& p = platform::Win32Platform();
    static DownloadStatus record;
    g_status.store(&record);
    const HWND label = GetDlgItem(static_cast<HWND>(mainWindow), kIdStatus);
    for (int pair = 0; pair < kPairs; ++pair) {
        record.SetCode(pair % 2 ? StatusCode::ChunkRead : StatusCode::Connecting);
        p.animator.Freeze();
        g_frozen = true;
        p.windows.SetWindowTextW(label, setup_text::kDirectFailed);
        g_frozen = false;
        p.animator.Thaw();
        ++g_pairsDone;
        if (pair % 100 == 0) ::Sleep(2);  // let the animator in now and then
    }
    p.animator.FreezeForGood();
    PostMessageW(static_cast<HWND>(mainWindow), WM_CLOSE, 0, 0);
    return 0;
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        SetMainWindow(nullptr);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int wmain() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = MainProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"FreezeStress";
    RegisterClassW(&windowClass);
    HWND main = CreateWindowExW(0, L"FreezeStress", L"Freeze stress", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 120,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    HWND label =
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 380, 20, main,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdStatus)), windowClass.hInstance, nullptr);
    g_staticProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchLabel)));
    SetMainWindow(main);

    const DWORD started = GetTickCount();
    auto animator = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Animator, nullptr, 0, nullptr));
    auto downloader = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Downloader, main, 0, nullptr));
    g_hAnimatorThread.store(animator);
    g_hDownloadThread.store(downloader);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    std::printf("pairs=%ld animator_lines=%ld lines_while_frozen=%ld elapsed_ms=%lu\n", g_pairsDone.load(),
                g_animatorLines.load(), g_linesWhileFrozen.load(), GetTickCount() - started);
    std::fflush(stdout);
    const bool ok = g_pairsDone.load() == kPairs && g_linesWhileFrozen.load() == 0 && g_animatorLines.load() > 0;
    ExitProcess(ok ? 0 : 1);
}
