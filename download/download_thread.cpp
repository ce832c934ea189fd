#include "download/download_thread.h"

#include "download/download_attempt.h"
#include "download/run_state.h"
#include "download/text_buffer.h"

namespace {

constexpr std::uint32_t kMaxTempPath = 259;  // MAX_PATH less the terminator
constexpr wchar_t kFolderPrefix[] = L"Qor";
constexpr wchar_t kInstallerName[] = L"\\QornProSetup.exe";
constexpr std::uint32_t kFallbackPause = 1000;
constexpr std::uint32_t kSuccessPause = 1500;
constexpr std::uint32_t kStopPoll = 200;

[[noreturn]] void FailWithBox(const platform::Platform& p, platform::WindowHandle owner, const wchar_t* text) {
    p.windows.MessageBoxW(owner, text, setup_text::kBoxTitle, platform::kIconError);
    platform::EndProcess(p.processes);
}

// The animator must not overwrite the notice while it stands.
void ShowFallbackNotice(const platform::Platform& p, platform::WindowHandle label, const wchar_t* text) {
    p.animator.Freeze();
    p.windows.SetWindowTextW(label, text);
    p.processes.Sleep(kFallbackPause);
    p.animator.Thaw();
}

RunState WaitForStopAnswer(const platform::Platform& p) {
    RunState state = LoadRunState();
    while (state == RunState::AskingToStop) {
        p.processes.Sleep(kStopPoll);
        state = LoadRunState();
    }
    return state;
}

// A stop confirmed after the final check may have destroyed the dialog by now: every step from
// here looks the window up again and leaves it alone when it is gone.
[[noreturn]] void LaunchInstaller(const platform::Platform& p, const TextBuffer& installer) {
    if (platform::WindowHandle main = p.windows.MainWindow()) p.windows.Hide(main);

    // Quoted, so that a path with spaces cannot start another program.
    TextBuffer commandLine;
    if (CopyText(commandLine, L"\"") && AppendText(commandLine, installer) && AppendText(commandLine, L"\"") &&
        p.processes.CreateProcessW(commandLine))
        platform::EndProcess(p.processes);

    if (p.processes.ShellExecuteRunAs(p.windows.MainWindow(), installer)) {
        if (platform::WindowHandle main = p.windows.MainWindow()) p.windows.EndDialog(main, 0);
        platform::EndProcess(p.processes);
    }
    if (p.processes.GetLastError() == platform::kErrorCancelled)
        p.windows.MessageBoxW(nullptr, setup_text::kNeedAdmin, setup_text::kBoxTitle, platform::kIconInformation);
    platform::EndProcess(p.processes);
}

}  // namespace

unsigned RunDownloadThread(const platform::Platform& p, const wchar_t* url) {
    DownloadStatus status;
    status.SetCode(StatusCode::Initializing);
    status.SetMode(NetworkMode::None);
    g_status.store(&status, std::memory_order_relaxed);

    const platform::WindowHandle main = p.windows.MainWindow();
    if (main == nullptr) FailWithBox(p, nullptr, setup_text::kNoMainWindow);
    const platform::WindowHandle bar = p.windows.GetDlgItem(main, kIdProgress);
    const platform::WindowHandle label = p.windows.GetDlgItem(main, kIdStatus);

    TextBuffer work;
    const std::uint32_t tempLength = p.files.GetTempPathW(kTextUnits, work);
    if (tempLength == 0 || tempLength > kMaxTempPath) FailWithBox(p, main, setup_text::kNoTempPath);
    if (work[tempLength - 1] != L'\\') AppendText(work, L"\\");

    TextBuffer directory;
    CopyText(directory, work);
    if (p.files.GetTempFileNameW(directory, kFolderPrefix, work) == 0 || !p.files.DeleteFileW(work) ||
        !p.files.CreateDirectoryW(work))
        FailWithBox(p, p.windows.MainWindow(), setup_text::kNoFolder);

    TextBuffer folder;
    CopyText(folder, work);
    AppendText(work, kInstallerName);

    int downloaded = DownloadToFile(p, NetworkMode::Direct, &status, url, work, bar);
    if (!downloaded) {
        ShowFallbackNotice(p, label, setup_text::kDirectFailed);
        status.SetCode(StatusCode::Initializing);
        downloaded = DownloadToFile(p, NetworkMode::DefaultProxy, &status, url, work, bar);
    }
    if (!downloaded) {
        ShowFallbackNotice(p, label, setup_text::kDefaultProxyFailed);
        status.SetCode(StatusCode::Initializing);
        downloaded = DownloadToFile(p, NetworkMode::IeProxy, &status, url, work, bar);
    }

    // From here on the animator stays frozen, so it never reads the record after this returns.
    if (downloaded) {
        p.animator.FreezeForGood();
        p.windows.SetWindowTextW(label, setup_text::kDownloaded);
        p.processes.Sleep(kSuccessPause);
    } else {
        p.files.RemoveDirectoryW(folder);
        p.animator.FreezeForGood();
        p.windows.SetProgressPosition(bar, 0);
        p.windows.SetWindowTextW(label, setup_text::kDownloadFailed);
    }

    if (WaitForStopAnswer(p) == RunState::StopConfirmed) return 0;

    if (!downloaded) FailWithBox(p, p.windows.MainWindow(), setup_text::kDownloadFailed);
    LaunchInstaller(p, work);
}
