#pragma once
// Everything the download thread reaches of the platform, passed as one bundle.
#include "platform/file_system.h"
#include "platform/http_client.h"
#include "platform/processes.h"
#include "platform/windowing.h"

namespace platform {

struct Platform {
    HttpClient& http;
    FileSystem& files;
    Memory& memory;
    Windowing& windows;
    Processes& processes;
    AnimatorFreeze& animator;
};

}  // namespace platform
