// Stands in for the downloaded installer: records how it was started into "<own path>.ran" (UTF-8,
// first line the command line, second line the module path) and exits 0.
#include <windows.h>

#include <string>

#include "tests/e2e/win/utf8.h"

namespace {}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    wchar_t self[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) return 3;

    const std::string record = Utf8(GetCommandLineW()) + "\n" + Utf8(self) + "\n";

    // Written under another name and renamed, so a watcher never reads half a record.
    const std::wstring done = std::wstring(self) + L".ran";
    const std::wstring partial = done + L".part";
    HANDLE file =
        CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 4;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != record.size()) return 5;
    if (!MoveFileExW(partial.c_str(), done.c_str(), MOVEFILE_REPLACE_EXISTING)) return 6;
    return 0;
}
