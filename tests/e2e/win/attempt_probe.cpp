// Real download attempts, driven from the command line, one after another in one process (a Wine
// process start costs more than an attempt):
//   attempt_probe <mode 1|2|3> <url> <path> [<mode> <url> <path>]...
// Prints one line per attempt: result, last status code, last mode, whether the file exists.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "download/download_attempt.h"
#include "download/run_state.h"
#include "platform/win32/win32_platform.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 4 || (argc - 1) % 3 != 0) {
        std::fwprintf(stderr, L"usage: attempt_probe <mode 1|2|3> <url> <path> [<mode> <url> <path>]...\n");
        return 64;
    }
    for (int i = 1; i < argc; i += 3) {
        const long mode = std::wcstol(argv[i], nullptr, 10);
        if (mode < 1 || mode > 3) {
            std::fwprintf(stderr, L"mode must be 1, 2 or 3\n");
            return 64;
        }
    }

    for (int i = 1, attempt = 1; i < argc; i += 3, ++attempt) {
        const wchar_t* url = argv[i + 1];
        const wchar_t* path = argv[i + 2];
        DownloadStatus status;
        const int result =
            DownloadToFile(platform::Win32Platform(), static_cast<NetworkMode>(std::wcstol(argv[i], nullptr, 10)),
                           &status, url, path, nullptr);
        const bool exists = GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
        std::printf("attempt=%d result=%d code=%u mode=%d file_exists=%d\n", attempt, result,
                    static_cast<unsigned>(status.Code()), static_cast<int>(status.Mode()), exists ? 1 : 0);
        std::fflush(stdout);
    }
    return 0;
}
