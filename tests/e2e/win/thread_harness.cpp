// Hosts the real worker threads in a window laid out like the setup dialog and logs what a user
// would see (label texts, bar moves, the main window hiding, the error box), answering the box:
//   thread_harness <log path> [watchdog ms]
// Log lines are "<ms since start> <event> <payload>", UTF-8, flushed one by one, because the
// download thread ends the process with ExitProcess and nothing after that point gets written.
#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "download/run_state.h"
#include "download/thread_procs.h"
#include "framework/main_window.h"
#include "tests/e2e/win/utf8.h"

namespace {

constexpr int kProgressBarId = 1003;
constexpr int kStatusLabelId = 1007;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr UINT_PTR kWatchTimer = 1;
constexpr wchar_t kBoxCaption[] = L"QornPro Installation";
// Tells the process ended in the harness itself, not through the download thread.
constexpr int kLoopEnded = 3;
constexpr int kWatchdogFired = 4;

FILE* g_log = nullptr;
CRITICAL_SECTION g_logLock;
DWORD g_start = 0;
DWORD g_watchdogMs = 150000;
HWND g_main = nullptr;
HWND g_bar = nullptr;
HWND g_label = nullptr;
WNDPROC g_labelProc = nullptr;
WNDPROC g_barProc = nullptr;
WPARAM g_lastBarPosition = 0;
bool g_boxAnswered = false;

void Log(const char* event, const std::wstring& payload) {
    EnterCriticalSection(&g_logLock);
    std::fprintf(g_log, "%lu %s %s\n", static_cast<unsigned long>(GetTickCount() - g_start), event,
                 Utf8(payload.c_str()).c_str());
    std::fflush(g_log);
    LeaveCriticalSection(&g_logLock);
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = L"";
    GetWindowTextW(window, text, 1024);
    return text;
}

struct IconSearch {
    HICON found = nullptr;
};

BOOL CALLBACK FindIconControl(HWND child, LPARAM param) {
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if ((style & SS_TYPEMASK) != SS_ICON) return TRUE;
    reinterpret_cast<IconSearch*>(param)->found = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    return FALSE;
}

// System icons from LoadIcon are shared, so the box's icon compares equal to ours.
std::wstring IconName(HWND box) {
    IconSearch search;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return L"none";
    const struct {
        LPCWSTR id;
        const wchar_t* name;
    } known[] = {{IDI_ERROR, L"error"},
                 {IDI_WARNING, L"warning"},
                 {IDI_INFORMATION, L"information"},
                 {IDI_QUESTION, L"question"}};
    for (const auto& k : known) {
        if (LoadIconW(nullptr, k.id) == search.found) return k.name;
    }
    return L"other";
}

void WatchForBox() {
    if (!g_boxAnswered) {
        HWND box = FindWindowW(L"#32770", kBoxCaption);
        if (box != nullptr && IsWindowVisible(box)) {
            g_boxAnswered = true;
            Log("box_bar", std::to_wstring(SendMessageW(g_bar, PBM_GETPOS, 0, 0)));
            Log("box_label", WindowText(g_label));
            Log("box_caption", WindowText(box));
            wchar_t text[1024] = L"";
            GetDlgItemTextW(box, kMessageBoxTextId, text, 1024);
            Log("box_text", text);
            Log("box_owner_is_main", GetWindow(box, GW_OWNER) == g_main ? L"1" : L"0");
            Log("box_icon", IconName(box));
            Log("box_ok_button", GetDlgItem(box, IDOK) != nullptr ? L"1" : L"0");
            Log("box_cancel_button", GetDlgItem(box, IDCANCEL) != nullptr ? L"1" : L"0");
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
            Log("box_answered", L"IDOK");
        }
    }
    if (GetTickCount() - g_start > g_watchdogMs) {
        Log("watchdog", std::to_wstring(g_watchdogMs));
        ExitProcess(kWatchdogFired);
    }
}

LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT) Log("label", lParam != 0 ? reinterpret_cast<const wchar_t*>(lParam) : L"");
    return CallWindowProcW(g_labelProc, window, message, wParam, lParam);
}

// Only changes are logged: a download moves the bar once per chunk.
LRESULT CALLBACK BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == PBM_SETPOS && wParam != g_lastBarPosition) {
        g_lastBarPosition = wParam;
        Log("bar", std::to_wstring(static_cast<int>(wParam)));
    }
    return CallWindowProcW(g_barProc, window, message, wParam, lParam);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SHOWWINDOW:
        if (!wParam) Log("main_hidden", L"");
        break;
    case WM_TIMER:
        if (wParam == kWatchTimer) WatchForBox();
        return 0;
    case WM_DESTROY:
        SetMainWindow(nullptr);
        PostQuitMessage(0);
        return 0;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HANDLE Start(unsigned(__stdcall* proc)(void*)) {
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, proc, g_main, 0, nullptr));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2 || argc > 3) {
        std::fwprintf(stderr, L"usage: thread_harness <log path> [watchdog ms]\n");
        return 64;
    }
    if (argc == 3) g_watchdogMs = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    InitializeCriticalSection(&g_logLock);
    g_log = _wfopen(argv[1], L"wb");
    if (g_log == nullptr) return 65;
    g_start = GetTickCount();

    wchar_t temp[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH + 1, temp);
    Log("temp", temp);

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
    if (!InitCommonControlsEx(&controls)) return 66;

    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = MainProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"ThreadHarnessWindow";
    if (!RegisterClassW(&windowClass)) return 67;

    g_main = CreateWindowExW(0, windowClass.lpszClassName, L"Thread harness", WS_OVERLAPPEDWINDOW, 100, 100, 480, 160,
                             nullptr, nullptr, instance, nullptr);
    g_bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 20, 440, 20, g_main,
                            reinterpret_cast<HMENU>(kProgressBarId), instance, nullptr);
    g_label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 50, 440, 40, g_main,
                              reinterpret_cast<HMENU>(kStatusLabelId), instance, nullptr);
    if (g_main == nullptr || g_bar == nullptr || g_label == nullptr) return 68;
    g_labelProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(g_label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LabelProc)));
    g_barProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(g_bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProc)));
    ShowWindow(g_main, SW_SHOW);
    UpdateWindow(g_main);
    SetTimer(g_main, kWatchTimer, 50, nullptr);

    SetMainWindow(g_main);
    HANDLE animator = Start(StatusAnimatorThreadProc);
    g_hAnimatorThread.store(animator, std::memory_order_relaxed);
    HANDLE download = Start(DownloadThreadProc);
    g_hDownloadThread.store(download, std::memory_order_relaxed);
    Log("started", std::wstring(animator != nullptr ? L"animator " : L"no-animator ") +
                       (download != nullptr ? L"download" : L"no-download"));

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    Log("loop_end", L"");
    return kLoopEnded;
}
