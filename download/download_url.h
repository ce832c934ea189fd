#pragma once

// The installer package's address, fixed when the program is built.
extern const wchar_t kDownloadUrl[];
