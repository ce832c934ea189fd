#include "download/download_thread.h"
#include "download/download_url.h"
#include "download/status_animator.h"
#include "download/thread_procs.h"
#include "platform/win32/win32_platform.h"

unsigned __stdcall DownloadThreadProc(void*) { return RunDownloadThread(platform::Win32Platform(), kDownloadUrl); }

unsigned __stdcall StatusAnimatorThreadProc(void*) {
    platform::Platform& p = platform::Win32Platform();
    RunStatusAnimator(p.windows, p.processes, platform::Win32AnimatorGate());
}
