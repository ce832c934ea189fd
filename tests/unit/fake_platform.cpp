#include "tests/unit/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace fake {

std::string Narrow(const wchar_t* text) {
    if (text == nullptr) return "(null)";
    std::string out;
    for (; *text != 0; ++text) {
        auto c = static_cast<std::uint32_t>(*text);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::vector<std::string> Journal::Starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& call : calls)
        if (call.rfind(prefix, 0) == 0) out.push_back(call);
    return out;
}

bool Journal::Has(const std::string& call) const { return IndexOf(call) >= 0; }

int Journal::IndexOf(const std::string& call) const {
    auto it = std::find(calls.begin(), calls.end(), call);
    return it == calls.end() ? -1 : static_cast<int>(it - calls.begin());
}

std::pair<std::int32_t, std::uint32_t> Journal::StatusAt(const std::string& call) const {
    const int index = IndexOf(call);
    return index < 0 ? std::pair<std::int32_t, std::uint32_t>{-2, 0} : statusAtCall[static_cast<std::size_t>(index)];
}

std::string HandleName(const void* handle) {
    if (handle == kSession) return "session";
    if (handle == kConnection) return "connection";
    if (handle == kRequest) return "request";
    if (handle == kFile) return "file";
    if (handle == kMainWindow) return "main";
    if (handle == kProgressBar) return "bar";
    if (handle == kStatusLabel) return "label";
    if (handle == nullptr) return "null";
    return "other";
}

// --- Http ---

bool Http::GetIEProxyConfigForCurrentUser(platform::IeProxyConfig& config) {
    journal_.Add("GetIEProxyConfig");
    if (Fails("GetIEProxyConfig")) return false;
    config = ieConfig;
    return true;
}

void Http::FreeProxyString(wchar_t* text) {
    journal_.Add("FreeProxyString");
    freedStrings.push_back(text);
}

platform::HttpHandle Http::Open(const wchar_t* agent, platform::AccessType accessType, const wchar_t* proxyName,
                                const wchar_t* proxyBypass) {
    journal_.Add("WinHttpOpen");
    userAgent = agent;
    access = static_cast<std::uint32_t>(accessType);
    proxyNull = proxyName == nullptr;
    bypassNull = proxyBypass == nullptr;
    openedProxy = proxyName ? proxyName : L"";
    openedBypass = proxyBypass ? proxyBypass : L"";
    return Fails("Open") ? nullptr : kSession;
}

// Splits http://host[:port][/path][?query] the way the system reports it: positions and lengths.
bool Http::CrackUrl(const wchar_t* url, std::uint32_t urlLength, platform::UrlParts& parts) {
    journal_.Add("WinHttpCrackUrl");
    if (Fails("CrackUrl") || urlLength != std::wcslen(url)) return false;
    const wchar_t* scheme = std::wcsstr(url, L"://");
    if (scheme == nullptr) return false;
    const wchar_t* host = scheme + 3;
    const wchar_t* end = url + urlLength;
    const wchar_t* hostEnd = host;
    while (hostEnd < end && *hostEnd != L':' && *hostEnd != L'/' && *hostEnd != L'?') ++hostEnd;
    parts.hostName = host;
    parts.hostNameLength = static_cast<std::uint32_t>(hostEnd - host);
    parts.port = 80;
    const wchar_t* cursor = hostEnd;
    if (cursor < end && *cursor == L':') {
        parts.port = static_cast<std::uint16_t>(std::wcstoul(cursor + 1, nullptr, 10));
        while (cursor < end && *cursor != L'/' && *cursor != L'?') ++cursor;
    }
    const wchar_t* query = cursor;
    while (query < end && *query != L'?') ++query;
    parts.urlPath = cursor;
    parts.urlPathLength = static_cast<std::uint32_t>(query - cursor);
    parts.extraInfo = query;
    parts.extraInfoLength = static_cast<std::uint32_t>(end - query);
    return true;
}

platform::HttpHandle Http::Connect(platform::HttpHandle session, const wchar_t* host, std::uint16_t port) {
    journal_.Add("WinHttpConnect");
    if (session != kSession) return nullptr;
    connectedHost = host;
    connectedPort = port;
    return Fails("Connect") ? nullptr : kConnection;
}

platform::HttpHandle Http::OpenRequest(platform::HttpHandle connection, const wchar_t* verbText,
                                       const wchar_t* objectName, const wchar_t* versionText,
                                       const wchar_t* const* types, std::uint32_t flags) {
    journal_.Add("WinHttpOpenRequest");
    if (connection != kConnection) return nullptr;
    verb = verbText;
    requestedObject = objectName;
    version = versionText;
    acceptTypes.clear();
    for (; types != nullptr && *types != nullptr; ++types) acceptTypes.emplace_back(*types);
    requestFlags = flags;
    return Fails("OpenRequest") ? nullptr : kRequest;
}

bool Http::SendRequest(platform::HttpHandle request) {
    journal_.Add("WinHttpSendRequest");
    return request == kRequest && !Fails("SendRequest");
}

bool Http::ReceiveResponse(platform::HttpHandle request) {
    journal_.Add("WinHttpReceiveResponse");
    return request == kRequest && !Fails("ReceiveResponse");
}

bool Http::QueryStatusCode(platform::HttpHandle request, std::uint32_t& status) {
    journal_.Add("QueryStatusCode");
    if (request != kRequest || Fails("QueryStatusCode")) return false;
    status = statusCode;
    return true;
}

bool Http::QueryContentLength(platform::HttpHandle request, std::uint32_t& length) {
    journal_.Add("QueryContentLength");
    if (request != kRequest || !contentLength) return false;
    length = *contentLength;
    return true;
}

bool Http::QueryDataAvailable(platform::HttpHandle request, std::uint32_t& available) {
    journal_.Add("QueryDataAvailable");
    if (request != kRequest || chunkIndex_ == failAvailableAtChunk) return false;
    available = chunks.empty() ? 0 : static_cast<std::uint32_t>(chunks.front().size());
    return true;
}

bool Http::ReadData(platform::HttpHandle request, void* buffer, std::uint32_t size, std::uint32_t& read) {
    journal_.Add("WinHttpReadData");
    if (request != kRequest || chunkIndex_ == failReadAtChunk || chunks.empty()) return false;
    const std::string chunk = chunks.front();
    chunks.pop_front();
    ++chunkIndex_;
    read = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(chunk.size()));
    std::memcpy(buffer, chunk.data(), read);
    return true;
}

void Http::CloseHandle(platform::HttpHandle handle) { journal_.Add("close " + HandleName(handle)); }

// --- Files ---

platform::FileHandle Files::CreateFileW(const wchar_t* path) {
    journal_.Add("CreateFileW");
    if (Fails("CreateFileW")) return platform::InvalidFile();
    openPath_ = path;
    files[openPath_].clear();
    return kFile;
}

bool Files::WriteFile(platform::FileHandle file, const void* data, std::uint32_t size, std::uint32_t& written) {
    journal_.Add("WriteFile");
    written = 0;
    if (file != kFile || Fails("WriteFile")) return false;
    written = size > shortWriteBy ? size - shortWriteBy : 0;
    files[openPath_].append(static_cast<const char*>(data), written);
    return true;
}

void Files::CloseHandle(platform::FileHandle file) { journal_.Add("close " + HandleName(file)); }

bool Files::DeleteFileW(const wchar_t* path) {
    journal_.Add("DeleteFileW");
    if (Fails("DeleteFileW")) return false;
    return files.erase(path) > 0;
}

std::uint32_t Files::GetTempPathW(std::uint32_t size, wchar_t* buffer) {
    journal_.Add("GetTempPathW");
    if (tempPathResult) return *tempPathResult;
    if (tempPath.size() + 1 > size) return static_cast<std::uint32_t>(tempPath.size() + 1);
    std::wmemcpy(buffer, tempPath.c_str(), tempPath.size() + 1);
    return static_cast<std::uint32_t>(tempPath.size());
}

std::uint32_t Files::GetTempFileNameW(const wchar_t* directory, const wchar_t* prefix, wchar_t* buffer) {
    journal_.Add("GetTempFileNameW");
    tempFileDirectory = directory;
    tempFilePrefix = prefix;
    if (Fails("GetTempFileNameW")) return 0;
    std::wmemcpy(buffer, uniqueName.c_str(), uniqueName.size() + 1);
    files[uniqueName] = "";
    return 1;
}

bool Files::CreateDirectoryW(const wchar_t* path) {
    journal_.Add("CreateDirectoryW");
    if (Fails("CreateDirectoryW") || files.count(path) > 0) return false;
    return directories.insert(path).second;
}

bool Files::RemoveDirectoryW(const wchar_t* path) {
    journal_.Add("RemoveDirectoryW");
    const std::wstring folder = path;
    for (const auto& [name, contents] : files)
        if (name.rfind(folder + L"\\", 0) == 0) return false;  // not empty
    return directories.erase(folder) > 0;
}

// --- Memory ---

void* Memory::Allocate(std::size_t size) {
    journal_.Add("Allocate");
    if (allocations_++ == failAllocationAt) return nullptr;
    ++live;
    return ::operator new(size == 0 ? 1 : size);
}

void Memory::Free(void* block) {
    journal_.Add("Free");
    --live;
    ::operator delete(block);
}

// --- Windowing ---

platform::WindowHandle Windowing::MainWindow() {
    journal_.Add("MainWindow");
    if (onMainWindow) onMainWindow();
    platform::WindowHandle main = mainWindows.front();
    if (mainWindows.size() > 1) mainWindows.pop_front();
    return main;
}

platform::WindowHandle Windowing::GetDlgItem(platform::WindowHandle parent, int id) {
    journal_.Add("GetDlgItem " + std::to_string(id));
    if (parent != kMainWindow) return nullptr;
    if (id == 1003) return kProgressBar;
    if (id == 1007 && hasLabel) return kStatusLabel;
    return nullptr;
}

void Windowing::SetWindowTextW(platform::WindowHandle window, const wchar_t* text) {
    journal_.Add("SetWindowTextW " + HandleName(window) + " " + Narrow(text));
    if (window == kStatusLabel) labelTexts.emplace_back(text);
}

void Windowing::SetProgressPosition(platform::WindowHandle bar, std::int32_t position) {
    journal_.Add("PBM_SETPOS " + HandleName(bar) + " " + std::to_string(position));
    positions.push_back(position);
}

void Windowing::Hide(platform::WindowHandle window) { journal_.Add("Hide " + HandleName(window)); }

void Windowing::MessageBoxW(platform::WindowHandle owner, const wchar_t* text, const wchar_t* title,
                            std::uint32_t flags) {
    journal_.Add("MessageBoxW " + HandleName(owner) + " " + Narrow(text));
    boxes.push_back({owner, text, title, flags});
    if (onMessageBox) onMessageBox();
}

void Windowing::EndDialog(platform::WindowHandle dialog, int result) {
    journal_.Add("EndDialog " + HandleName(dialog) + " " + std::to_string(result));
}

// --- Processes ---

bool Processes::CreateProcessW(wchar_t* line) {
    journal_.Add("CreateProcessW");
    commandLine = line;
    return createProcessOk;
}

bool Processes::ShellExecuteRunAs(platform::WindowHandle owner, const wchar_t* file) {
    journal_.Add("ShellExecuteExW runas " + HandleName(owner));
    shellOwner = owner;
    shellFile = file;
    return shellExecuteOk;
}

std::uint32_t Processes::GetLastError() {
    journal_.Add("GetLastError");
    return lastError;
}

void Processes::ExitProcess(std::uint32_t exitCode) {
    journal_.Add("ExitProcess " + std::to_string(exitCode));
    throw ProcessExited{exitCode};
}

void Processes::Sleep(std::uint32_t milliseconds) {
    journal_.Add("Sleep " + std::to_string(milliseconds));
    sleeps.push_back(milliseconds);
    if (onSleep) onSleep(milliseconds);
}

}  // namespace fake
