// Thin pass-throughs to the system: one call each, no decisions, so the logic the native tests
// cover is the logic that ships.
#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <winhttp.h>

#include <cstdlib>

#include "framework/main_window.h"

namespace platform {
namespace {

class Win32Http final : public HttpClient {
public:
    bool GetIEProxyConfigForCurrentUser(IeProxyConfig& config) override {
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie{};
        if (!WinHttpGetIEProxyConfigForCurrentUser(&ie)) return false;
        config.autoDetect = ie.fAutoDetect != FALSE;
        config.autoConfigUrl = ie.lpszAutoConfigUrl;
        config.proxy = ie.lpszProxy;
        config.proxyBypass = ie.lpszProxyBypass;
        return true;
    }
    void FreeProxyString(wchar_t* text) override { GlobalFree(text); }
    HttpHandle Open(const wchar_t* userAgent, AccessType access, const wchar_t* proxyName,
                    const wchar_t* proxyBypass) override {
        return WinHttpOpen(userAgent, static_cast<DWORD>(access), proxyName, proxyBypass, 0);
    }
    bool CrackUrl(const wchar_t* url, std::uint32_t urlLength, UrlParts& parts) override {
        URL_COMPONENTS components{};
        components.dwStructSize = sizeof(components);
        components.dwSchemeLength = static_cast<DWORD>(-1);
        components.dwHostNameLength = static_cast<DWORD>(-1);
        components.dwUrlPathLength = static_cast<DWORD>(-1);
        components.dwExtraInfoLength = static_cast<DWORD>(-1);
        if (!WinHttpCrackUrl(url, urlLength, 0, &components)) return false;
        parts.hostName = components.lpszHostName;
        parts.hostNameLength = components.dwHostNameLength;
        parts.urlPath = components.lpszUrlPath;
        parts.urlPathLength = components.dwUrlPathLength;
        parts.extraInfo = components.lpszExtraInfo;
        parts.extraInfoLength = components.dwExtraInfoLength;
        parts.port = components.nPort;
        return true;
    }
    HttpHandle Connect(HttpHandle session, const wchar_t* host, std::uint16_t port) override {
        return WinHttpConnect(session, host, port, 0);
    }
    HttpHandle OpenRequest(HttpHandle connection, const wchar_t* verb, const wchar_t* objectName,
                           const wchar_t* version, const wchar_t* const* acceptTypes, std::uint32_t flags) override {
        return WinHttpOpenRequest(connection, verb, objectName, version, WINHTTP_NO_REFERER,
                                  const_cast<LPCWSTR*>(acceptTypes), flags);
    }
    bool SendRequest(HttpHandle request) override {
        return WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) != FALSE;
    }
    bool ReceiveResponse(HttpHandle request) override { return WinHttpReceiveResponse(request, nullptr) != FALSE; }
    bool QueryStatusCode(HttpHandle request, std::uint32_t& status) override {
        return QueryNumber(request, WINHTTP_QUERY_STATUS_CODE, status);
    }
    bool QueryContentLength(HttpHandle request, std::uint32_t& length) override {
        return QueryNumber(request, WINHTTP_QUERY_CONTENT_LENGTH, length);
    }
    bool QueryDataAvailable(HttpHandle request, std::uint32_t& available) override {
        DWORD count = 0;
        const BOOL ok = WinHttpQueryDataAvailable(request, &count);
        available = count;
        return ok != FALSE;
    }
    bool ReadData(HttpHandle request, void* buffer, std::uint32_t size, std::uint32_t& read) override {
        DWORD count = 0;
        const BOOL ok = WinHttpReadData(request, buffer, size, &count);
        read = count;
        return ok != FALSE;
    }
    void CloseHandle(HttpHandle handle) override { WinHttpCloseHandle(handle); }

private:
    static bool QueryNumber(HttpHandle request, DWORD query, std::uint32_t& value) {
        DWORD number = 0;
        DWORD size = sizeof(number);
        const BOOL ok = WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                                            &number, &size, WINHTTP_NO_HEADER_INDEX);
        value = number;
        return ok != FALSE;
    }
};

class Win32Files final : public FileSystem {
public:
    FileHandle CreateFileW(const wchar_t* path) override {
        return ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    bool WriteFile(FileHandle file, const void* data, std::uint32_t size, std::uint32_t& written) override {
        DWORD count = 0;
        const BOOL ok = ::WriteFile(file, data, size, &count, nullptr);
        written = count;
        return ok != FALSE;
    }
    void CloseHandle(FileHandle file) override { ::CloseHandle(file); }
    bool DeleteFileW(const wchar_t* path) override { return ::DeleteFileW(path) != FALSE; }
    std::uint32_t GetTempPathW(std::uint32_t size, wchar_t* buffer) override { return ::GetTempPathW(size, buffer); }
    std::uint32_t GetTempFileNameW(const wchar_t* directory, const wchar_t* prefix, wchar_t* buffer) override {
        return ::GetTempFileNameW(directory, prefix, 0, buffer);
    }
    bool CreateDirectoryW(const wchar_t* path) override { return ::CreateDirectoryW(path, nullptr) != FALSE; }
    bool RemoveDirectoryW(const wchar_t* path) override { return ::RemoveDirectoryW(path) != FALSE; }
};

class Win32Memory final : public Memory {
public:
    void* Allocate(std::size_t size) override { return std::malloc(size); }
    void Free(void* block) override { std::free(block); }
};

class Win32Windowing final : public Windowing {
public:
    WindowHandle MainWindow() override { return GetMainWindow(); }
    WindowHandle GetDlgItem(WindowHandle parent, int id) override {
        return ::GetDlgItem(static_cast<HWND>(parent), id);
    }
    void SetWindowTextW(WindowHandle window, const wchar_t* text) override {
        ::SetWindowTextW(static_cast<HWND>(window), text);
    }
    void SetProgressPosition(WindowHandle bar, std::int32_t position) override {
        SendMessageW(static_cast<HWND>(bar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    void Hide(WindowHandle window) override { ShowWindow(static_cast<HWND>(window), SW_HIDE); }
    void MessageBoxW(WindowHandle owner, const wchar_t* text, const wchar_t* title, std::uint32_t flags) override {
        ::MessageBoxW(static_cast<HWND>(owner), text, title, flags);
    }
    void EndDialog(WindowHandle dialog, int result) override { ::EndDialog(static_cast<HWND>(dialog), result); }
};

class Win32Processes final : public Processes {
public:
    bool CreateProcessW(wchar_t* commandLine) override {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return false;
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return true;
    }
    bool ShellExecuteRunAs(WindowHandle owner, const wchar_t* file) override {
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof(info);
        info.hwnd = static_cast<HWND>(owner);
        info.lpVerb = L"runas";
        info.lpFile = file;
        info.nShow = SW_SHOWNORMAL;
        return ShellExecuteExW(&info) != FALSE;
    }
    std::uint32_t GetLastError() override { return ::GetLastError(); }
    void ExitProcess(std::uint32_t exitCode) override { ::ExitProcess(exitCode); }
    void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

class Win32Monitor final : public Monitor {
public:
    void Lock() override { AcquireSRWLockExclusive(&lock_); }
    void Unlock() override { ReleaseSRWLockExclusive(&lock_); }
    void Wait() override { SleepConditionVariableSRW(&condition_, &lock_, INFINITE, 0); }
    void WakeAll() override { WakeAllConditionVariable(&condition_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

// Namespace-scope objects: built before any thread starts, no guarded initialisation.
Win32Http g_http;
Win32Files g_files;
Win32Memory g_memory;
Win32Windowing g_windows;
Win32Processes g_processes;
Win32Monitor g_monitor;
FreezeGate g_gate(g_monitor);
Platform g_platform{g_http, g_files, g_memory, g_windows, g_processes, g_gate};

}  // namespace

FreezeGate& Win32AnimatorGate() { return g_gate; }

Platform& Win32Platform() { return g_platform; }

}  // namespace platform
