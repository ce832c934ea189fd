#pragma once
// The WinHTTP operations of one download attempt, one method per call, no decisions.
#include <cstdint>

#include "platform/handles.h"

namespace platform {

// WINHTTP_ACCESS_TYPE_* values, passed through unchanged.
enum class AccessType : std::uint32_t { DefaultProxy = 0, NoProxy = 1, NamedProxy = 3 };

// What WinHttpGetIEProxyConfigForCurrentUser hands back. The strings belong to the caller and
// are released with HttpClient::FreeProxyString.
struct IeProxyConfig {
    bool autoDetect = false;
    wchar_t* autoConfigUrl = nullptr;
    wchar_t* proxy = nullptr;
    wchar_t* proxyBypass = nullptr;
};

// The parts of URL_COMPONENTS the attempt uses: positions into the cracked URL and lengths.
struct UrlParts {
    const wchar_t* hostName = nullptr;
    std::uint32_t hostNameLength = 0;
    const wchar_t* urlPath = nullptr;
    std::uint32_t urlPathLength = 0;
    const wchar_t* extraInfo = nullptr;
    std::uint32_t extraInfoLength = 0;
    std::uint16_t port = 0;
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual bool GetIEProxyConfigForCurrentUser(IeProxyConfig& config) = 0;
    virtual void FreeProxyString(wchar_t* text) = 0;
    virtual HttpHandle Open(const wchar_t* userAgent, AccessType access, const wchar_t* proxyName,
                            const wchar_t* proxyBypass) = 0;
    // Asks for scheme, host, path and extra information as positions and lengths; no user name
    // or password.
    virtual bool CrackUrl(const wchar_t* url, std::uint32_t urlLength, UrlParts& parts) = 0;
    virtual HttpHandle Connect(HttpHandle session, const wchar_t* host, std::uint16_t port) = 0;
    virtual HttpHandle OpenRequest(HttpHandle connection, const wchar_t* verb, const wchar_t* objectName,
                                   const wchar_t* version, const wchar_t* const* acceptTypes, std::uint32_t flags) = 0;
    virtual bool SendRequest(HttpHandle request) = 0;
    virtual bool ReceiveResponse(HttpHandle request) = 0;
    virtual bool QueryStatusCode(HttpHandle request, std::uint32_t& status) = 0;
    virtual bool QueryContentLength(HttpHandle request, std::uint32_t& length) = 0;
    virtual bool QueryDataAvailable(HttpHandle request, std::uint32_t& available) = 0;
    virtual bool ReadData(HttpHandle request, void* buffer, std::uint32_t size, std::uint32_t& read) = 0;
    virtual void CloseHandle(HttpHandle handle) = 0;
};

constexpr std::uint32_t kFlagRefresh = 0x00000100;  // WINHTTP_FLAG_REFRESH

}  // namespace platform
