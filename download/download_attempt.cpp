#include "download/download_attempt.h"

#include <cwchar>

#include "platform/unique_handle.h"

namespace {

using platform::FileHandle;
using platform::HttpHandle;

constexpr wchar_t kUserAgent[] =
    L"Mozilla/5.0 (Windows; U; Windows NT 6.1; en-US; rv:1.9.2) Gecko/20100115 Firefox/3.6";
const wchar_t* const kAcceptTypes[] = {L"text/*", L"application/*", L"image/*", nullptr};
constexpr std::size_t kBufferUnits = 1024;
constexpr std::uint32_t kHttpOk = 200;

struct HttpTraits {
    using Api = platform::HttpClient;
    using Handle = HttpHandle;
    static Handle Invalid() { return nullptr; }
    static void Close(Api& api, Handle handle) { api.CloseHandle(handle); }
};
using UniqueHttp = platform::UniqueHandle<HttpTraits>;

struct BlockTraits {
    using Api = platform::Memory;
    using Handle = void*;
    static Handle Invalid() { return nullptr; }
    static void Close(Api& api, Handle block) { api.Free(block); }
};
using UniqueBlock = platform::UniqueHandle<BlockTraits>;

// The installer file while it is being written: closed and deleted unless the attempt keeps it, so
// a failed attempt never leaves a partial file that could pass for a complete one.
class PartialFile {
public:
    PartialFile(platform::FileSystem& files, const wchar_t* path)
        : files_(files), path_(path), handle_(files.CreateFileW(path)) {}
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    ~PartialFile() {
        Close();
        if (created_ && !kept_) files_.DeleteFileW(path_);
    }

    bool Created() const { return created_; }
    FileHandle Handle() const { return handle_; }
    void Close() {
        if (handle_ != platform::InvalidFile()) files_.CloseHandle(std::exchange(handle_, platform::InvalidFile()));
    }
    void Keep() { kept_ = true; }

private:
    platform::FileSystem& files_;
    const wchar_t* path_;
    FileHandle handle_;
    bool created_ = handle_ != platform::InvalidFile();
    bool kept_ = false;
};

// Copies exactly length units and terminates; refuses what would not fit instead of cutting it.
bool CopyPart(wchar_t (&target)[kBufferUnits], const wchar_t* source, std::uint32_t length) {
    if (length >= kBufferUnits) return false;
    if (length > 0) std::wmemcpy(target, source, length);
    target[length] = L'\0';
    return true;
}

struct SessionAccess {
    platform::AccessType access = platform::AccessType::NoProxy;
    platform::IeProxyConfig ie;
};

// The user's proxy strings are ours to release; they must outlive WinHttpOpen and no longer.
void FreeIeStrings(platform::HttpClient& http, platform::IeProxyConfig& ie) {
    for (wchar_t** text : {&ie.autoConfigUrl, &ie.proxy, &ie.proxyBypass}) {
        if (*text != nullptr) http.FreeProxyString(std::exchange(*text, nullptr));
    }
}

}  // namespace

std::int32_t ProgressPosition(std::uint32_t received, std::uint32_t declared) {
    const auto signedDeclared = static_cast<std::int32_t>(declared);
    if (signedDeclared == 0) return 0;
    const double percent = static_cast<double>(static_cast<std::int32_t>(received)) * 100.0 / signedDeclared;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(percent)));
}

void SetProgressPercent(platform::Windowing& windows, platform::WindowHandle bar, std::uint32_t received,
                        std::uint32_t declared) {
    windows.SetProgressPosition(bar, ProgressPosition(received, declared));
}

int DownloadToFile(const platform::Platform& p, NetworkMode mode, DownloadStatus* status, const wchar_t* url,
                   const wchar_t* path, platform::WindowHandle progressBar) {
    status->SetMode(mode);
    status->SetCode(StatusCode::Connecting);
    auto fail = [status](StatusCode code) {
        status->SetCode(code);
        return 0;
    };
    if (url == nullptr || path == nullptr) return fail(StatusCode::Failed);

    SessionAccess how;
    if (mode == NetworkMode::DefaultProxy) how.access = platform::AccessType::DefaultProxy;
    if (mode == NetworkMode::IeProxy) {
        if (!p.http.GetIEProxyConfigForCurrentUser(how.ie)) return fail(StatusCode::Failed);
        how.access = platform::AccessType::NamedProxy;
    }
    UniqueHttp session(p.http, p.http.Open(kUserAgent, how.access, how.ie.proxy, how.ie.proxyBypass));
    FreeIeStrings(p.http, how.ie);
    if (!session) return fail(StatusCode::Failed);
    status->SetCode(StatusCode::SessionOpened);

    platform::UrlParts parts;
    if (!p.http.CrackUrl(url, static_cast<std::uint32_t>(std::wcslen(url)), parts)) return fail(StatusCode::Failed);
    status->SetCode(StatusCode::UrlCracked);

    // The query part (parts.extraInfo) is left out on purpose: it is never sent.
    wchar_t host[kBufferUnits];
    wchar_t object[kBufferUnits];
    if (!CopyPart(host, parts.hostName, parts.hostNameLength) || !CopyPart(object, parts.urlPath, parts.urlPathLength))
        return fail(StatusCode::Failed);

    UniqueHttp connection(p.http, p.http.Connect(session.get(), host, parts.port));
    if (!connection) return fail(StatusCode::Failed);
    status->SetCode(StatusCode::Connected);

    UniqueHttp request(p.http, p.http.OpenRequest(connection.get(), L"GET", object, L"HTTP/1.1", kAcceptTypes,
                                                  platform::kFlagRefresh));
    if (!request) return fail(StatusCode::Failed);
    status->SetCode(StatusCode::RequestOpened);

    if (!p.http.SendRequest(request.get())) return fail(StatusCode::Failed);
    status->SetCode(StatusCode::RequestSent);

    PartialFile file(p.files, path);
    if (!file.Created()) return fail(StatusCode::Failed);

    if (!p.http.ReceiveResponse(request.get())) return fail(StatusCode::Failed);
    status->SetCode(StatusCode::ResponseReceived);

    // Only the package itself counts: an error page must never be started as the installer.
    std::uint32_t httpStatus = 0;
    if (!p.http.QueryStatusCode(request.get(), httpStatus) || httpStatus != kHttpOk) return fail(StatusCode::Failed);

    std::uint32_t declared = 0;
    if (!p.http.QueryContentLength(request.get(), declared)) return fail(StatusCode::Failed);

    std::uint32_t received = 0;
    for (;;) {
        std::uint32_t available = 0;
        if (!p.http.QueryDataAvailable(request.get(), available)) return fail(StatusCode::Failed);
        if (available == 0) break;

        UniqueBlock chunk(p.memory, p.memory.Allocate(available));
        if (!chunk) return fail(StatusCode::OutOfBuffer);

        std::uint32_t read = 0;
        if (!p.http.ReadData(request.get(), chunk.get(), available, read)) return fail(StatusCode::Failed);
        status->SetCode(StatusCode::ChunkRead);
        received += read;
        SetProgressPercent(p.windows, progressBar, received, declared);

        // A short or failed write would leave a truncated installer that the counts call complete.
        std::uint32_t written = 0;
        if (!p.files.WriteFile(file.Handle(), chunk.get(), read, written) || written != read)
            return fail(StatusCode::Failed);
    }

    file.Close();
    request.reset();
    connection.reset();
    session.reset();
    if (received != declared) return fail(StatusCode::Failed);
    file.Keep();
    status->SetCode(StatusCode::Completed);
    return 1;
}
