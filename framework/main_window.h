#pragma once
#include <windows.h>

// The application's main window as the worker threads look it up. The window's owner sets it
// before the threads start and clears it when the window is destroyed.
void SetMainWindow(HWND window);
HWND GetMainWindow();
