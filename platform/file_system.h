#pragma once
// Files, folders, the temporary directory and the heap, as the download code calls them.
#include <cstddef>
#include <cstdint>

#include "platform/handles.h"

namespace platform {

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, null, CREATE_ALWAYS,
    // FILE_ATTRIBUTE_NORMAL, null).
    virtual FileHandle CreateFileW(const wchar_t* path) = 0;
    virtual bool WriteFile(FileHandle file, const void* data, std::uint32_t size, std::uint32_t& written) = 0;
    virtual void CloseHandle(FileHandle file) = 0;
    virtual bool DeleteFileW(const wchar_t* path) = 0;
    virtual std::uint32_t GetTempPathW(std::uint32_t size, wchar_t* buffer) = 0;
    virtual std::uint32_t GetTempFileNameW(const wchar_t* directory, const wchar_t* prefix, wchar_t* buffer) = 0;
    virtual bool CreateDirectoryW(const wchar_t* path) = 0;
    virtual bool RemoveDirectoryW(const wchar_t* path) = 0;
};

class Memory {
public:
    virtual ~Memory() = default;
    virtual void* Allocate(std::size_t size) = 0;  // null when the heap refuses
    virtual void Free(void* block) = 0;
};

}  // namespace platform
