#include "download/download_url.h"

#ifndef SETUP_DOWNLOAD_URL
#error "SETUP_DOWNLOAD_URL must name the installer package's address"
#endif

extern const wchar_t kDownloadUrl[] = SETUP_DOWNLOAD_URL;
