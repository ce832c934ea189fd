#pragma once
// The window operations the worker threads use on the setup dialog and its controls.
#include <cstdint>

#include "platform/handles.h"

namespace platform {

// MB_* flags the program passes.
constexpr std::uint32_t kIconError = 0x00000010;        // MB_ICONERROR
constexpr std::uint32_t kIconInformation = 0x00000040;  // MB_ICONINFORMATION

class Windowing {
public:
    virtual ~Windowing() = default;
    // The application's main window, or null when there is none (never created, or destroyed).
    virtual WindowHandle MainWindow() = 0;
    virtual WindowHandle GetDlgItem(WindowHandle parent, int id) = 0;
    virtual void SetWindowTextW(WindowHandle window, const wchar_t* text) = 0;
    // SendMessageW(bar, PBM_SETPOS, position, 0).
    virtual void SetProgressPosition(WindowHandle bar, std::int32_t position) = 0;
    // ShowWindow(window, SW_HIDE).
    virtual void Hide(WindowHandle window) = 0;
    virtual void MessageBoxW(WindowHandle owner, const wchar_t* text, const wchar_t* title, std::uint32_t flags) = 0;
    // Ends the modal dialog with the given result.
    virtual void EndDialog(WindowHandle dialog, int result) = 0;
};

}  // namespace platform
