#pragma once
// Fakes of the platform interfaces: each call is scripted by plain fields and recorded, in order,
// into one journal shared by all fakes, so a test can check the order across interfaces.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "download/run_state.h"
#include "platform/platform.h"

namespace fake {

// Ends the code under test where the real ExitProcess would end the process.
struct ProcessExited {
    std::uint32_t code;
};

std::string Narrow(const wchar_t* text);  // UTF-8 of a wide text; "(null)" for null

struct Journal {
    std::vector<std::string> calls;
    // When set, each call also records the record's (mode, code) as the call sees it.
    const DownloadStatus* watched = nullptr;
    std::vector<std::pair<std::int32_t, std::uint32_t>> statusAtCall;
    void Add(std::string call) {
        calls.push_back(std::move(call));
        statusAtCall.emplace_back(watched ? watched->Mode() : -1, watched ? watched->Code() : 0u);
    }
    // The (mode, code) seen by the first call equal to call.
    std::pair<std::int32_t, std::uint32_t> StatusAt(const std::string& call) const;
    // The calls whose text starts with prefix, in order.
    std::vector<std::string> Starting(const std::string& prefix) const;
    bool Has(const std::string& call) const;
    // Position of the first call equal to call; -1 when absent.
    int IndexOf(const std::string& call) const;
};

// Handle values the fakes hand out; the journal names them.
inline platform::HttpHandle const kSession = reinterpret_cast<platform::HttpHandle>(0x51);
inline platform::HttpHandle const kConnection = reinterpret_cast<platform::HttpHandle>(0x52);
inline platform::HttpHandle const kRequest = reinterpret_cast<platform::HttpHandle>(0x53);
inline platform::FileHandle const kFile = reinterpret_cast<platform::FileHandle>(0x61);
inline platform::WindowHandle const kMainWindow = reinterpret_cast<platform::WindowHandle>(0x71);
inline platform::WindowHandle const kProgressBar = reinterpret_cast<platform::WindowHandle>(0x73);
inline platform::WindowHandle const kStatusLabel = reinterpret_cast<platform::WindowHandle>(0x77);
std::string HandleName(const void* handle);

// A scripted HTTP exchange. Every operation succeeds unless it is named in failing.
class Http final : public platform::HttpClient {
public:
    explicit Http(Journal& journal) : journal_(journal) {}

    std::set<std::string> failing;  // "GetIEProxyConfig", "Open", "CrackUrl", "Connect", ...
    platform::IeProxyConfig ieConfig;
    std::uint32_t statusCode = 200;
    std::optional<std::uint32_t> contentLength = 0;  // nullopt: no Content-Length header
    std::deque<std::string> chunks;                  // the body, as QueryDataAvailable hands it out
    int failReadAtChunk = -1;                        // ReadData fails on this chunk (0-based)
    int failAvailableAtChunk = -1;                   // QueryDataAvailable fails before this chunk

    // What the calls received.
    std::wstring openedProxy, openedBypass;
    bool proxyNull = true, bypassNull = true;
    std::uint32_t access = 99;
    std::wstring connectedHost, requestedObject, verb, version, userAgent;
    std::uint16_t connectedPort = 0;
    std::vector<std::wstring> acceptTypes;
    std::uint32_t requestFlags = 0;
    std::vector<wchar_t*> freedStrings;

    bool GetIEProxyConfigForCurrentUser(platform::IeProxyConfig& config) override;
    void FreeProxyString(wchar_t* text) override;
    platform::HttpHandle Open(const wchar_t* userAgent, platform::AccessType access, const wchar_t* proxyName,
                              const wchar_t* proxyBypass) override;
    bool CrackUrl(const wchar_t* url, std::uint32_t urlLength, platform::UrlParts& parts) override;
    platform::HttpHandle Connect(platform::HttpHandle session, const wchar_t* host, std::uint16_t port) override;
    platform::HttpHandle OpenRequest(platform::HttpHandle connection, const wchar_t* verb, const wchar_t* objectName,
                                     const wchar_t* version, const wchar_t* const* acceptTypes,
                                     std::uint32_t flags) override;
    bool SendRequest(platform::HttpHandle request) override;
    bool ReceiveResponse(platform::HttpHandle request) override;
    bool QueryStatusCode(platform::HttpHandle request, std::uint32_t& status) override;
    bool QueryContentLength(platform::HttpHandle request, std::uint32_t& length) override;
    bool QueryDataAvailable(platform::HttpHandle request, std::uint32_t& available) override;
    bool ReadData(platform::HttpHandle request, void* buffer, std::uint32_t size, std::uint32_t& read) override;
    void CloseHandle(platform::HttpHandle handle) override;

private:
    bool Fails(const std::string& name) const { return failing.count(name) > 0; }
    Journal& journal_;
    int chunkIndex_ = 0;
};

// Files held in memory by path. Every operation succeeds unless it is named in failing.
class Files final : public platform::FileSystem {
public:
    explicit Files(Journal& journal) : journal_(journal) {}

    std::set<std::string> failing;   // "CreateFileW", "WriteFile", "GetTempFileNameW", "DeleteFileW", ...
    std::uint32_t shortWriteBy = 0;  // WriteFile reports this many bytes fewer than asked
    std::wstring tempPath = L"C:\\Temp\\";
    std::optional<std::uint32_t> tempPathResult;  // overrides GetTempPathW's result
    std::wstring uniqueName = L"C:\\Temp\\Qor1A2B.tmp";
    std::map<std::wstring, std::string> files;  // contents by path
    std::set<std::wstring> directories;
    std::wstring tempFileDirectory, tempFilePrefix;

    platform::FileHandle CreateFileW(const wchar_t* path) override;
    bool WriteFile(platform::FileHandle file, const void* data, std::uint32_t size, std::uint32_t& written) override;
    void CloseHandle(platform::FileHandle file) override;
    bool DeleteFileW(const wchar_t* path) override;
    std::uint32_t GetTempPathW(std::uint32_t size, wchar_t* buffer) override;
    std::uint32_t GetTempFileNameW(const wchar_t* directory, const wchar_t* prefix, wchar_t* buffer) override;
    bool CreateDirectoryW(const wchar_t* path) override;
    bool RemoveDirectoryW(const wchar_t* path) override;

private:
    bool Fails(const std::string& name) const { return failing.count(name) > 0; }
    Journal& journal_;
    std::wstring openPath_;
};

class Memory final : public platform::Memory {
public:
    explicit Memory(Journal& journal) : journal_(journal) {}
    int failAllocationAt = -1;  // the n-th allocation (0-based) is refused
    int live = 0;               // blocks allocated and not yet freed

    void* Allocate(std::size_t size) override;
    void Free(void* block) override;

private:
    Journal& journal_;
    int allocations_ = 0;
};

class Windowing final : public platform::Windowing {
public:
    explicit Windowing(Journal& journal) : journal_(journal) {}

    // MainWindow's answers in turn; the last one repeats.
    std::deque<platform::WindowHandle> mainWindows{kMainWindow};
    bool hasLabel = true;
    std::vector<std::wstring> labelTexts;
    std::vector<std::int32_t> positions;
    struct Box {
        platform::WindowHandle owner;
        std::wstring text, title;
        std::uint32_t flags;
    };
    std::vector<Box> boxes;
    std::function<void()> onMessageBox;  // runs while a box is "on screen"
    std::function<void()> onMainWindow;  // runs on each MainWindow call, before it answers

    platform::WindowHandle MainWindow() override;
    platform::WindowHandle GetDlgItem(platform::WindowHandle parent, int id) override;
    void SetWindowTextW(platform::WindowHandle window, const wchar_t* text) override;
    void SetProgressPosition(platform::WindowHandle bar, std::int32_t position) override;
    void Hide(platform::WindowHandle window) override;
    void MessageBoxW(platform::WindowHandle owner, const wchar_t* text, const wchar_t* title,
                     std::uint32_t flags) override;
    void EndDialog(platform::WindowHandle dialog, int result) override;

private:
    Journal& journal_;
};

class Processes final : public platform::Processes {
public:
    explicit Processes(Journal& journal) : journal_(journal) {}

    bool createProcessOk = true;
    bool shellExecuteOk = true;
    std::uint32_t lastError = 0;
    std::vector<std::uint32_t> sleeps;
    std::wstring commandLine, shellFile;
    platform::WindowHandle shellOwner = nullptr;
    std::function<void(std::uint32_t)> onSleep;  // runs after each recorded sleep

    bool CreateProcessW(wchar_t* commandLine) override;
    bool ShellExecuteRunAs(platform::WindowHandle owner, const wchar_t* file) override;
    std::uint32_t GetLastError() override;
    [[noreturn]] void ExitProcess(std::uint32_t exitCode) override;
    void Sleep(std::uint32_t milliseconds) override;

private:
    Journal& journal_;
};

class AnimatorFreeze final : public platform::AnimatorFreeze {
public:
    explicit AnimatorFreeze(Journal& journal) : journal_(journal) {}
    void Freeze() override { journal_.Add("Freeze"); }
    void Thaw() override { journal_.Add("Thaw"); }
    void FreezeForGood() override { journal_.Add("FreezeForGood"); }

private:
    Journal& journal_;
};

// All fakes wired into one platform bundle.
struct World {
    Journal journal;
    Http http{journal};
    Files files{journal};
    Memory memory{journal};
    Windowing windows{journal};
    Processes processes{journal};
    AnimatorFreeze freeze{journal};
    platform::Platform platform{http, files, memory, windows, processes, freeze};
};

}  // namespace fake
