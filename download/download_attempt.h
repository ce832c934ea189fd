#pragma once
#include <cstdint>

#include "download/run_state.h"
#include "platform/platform.h"

// One HTTP GET of url into the file at path, in one network mode. Returns 1 when the complete
// declared body lies in the file (code 0); otherwise 0 with code 7 or 1000 and no file left behind.
int DownloadToFile(const platform::Platform& p, NetworkMode mode, DownloadStatus* status, const wchar_t* url,
                   const wchar_t* path, platform::WindowHandle progressBar);

// Moves the bar to received * 100 / declared, both taken as signed 32-bit values; 0 when declared is 0.
void SetProgressPercent(platform::Windowing& windows, platform::WindowHandle bar, std::uint32_t received,
                        std::uint32_t declared);

// The position SetProgressPercent sends.
std::int32_t ProgressPosition(std::uint32_t received, std::uint32_t declared);
