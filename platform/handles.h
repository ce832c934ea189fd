#pragma once
// Opaque handle types for the platform seam. The logic never dereferences them; on Windows they
// carry HINTERNET, HANDLE and HWND values unchanged.
#include <cstdint>

namespace platform {

using HttpHandle = void*;    // WinHTTP session, connection or request; null is invalid
using FileHandle = void*;    // file handle; InvalidFile() is invalid, as CreateFileW reports it
using WindowHandle = void*;  // window; null means none

inline FileHandle InvalidFile() { return reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(-1)); }

}  // namespace platform
