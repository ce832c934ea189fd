#include "framework/main_window.h"

#include <atomic>

namespace {
std::atomic<HWND> g_mainWindow{nullptr};
}

void SetMainWindow(HWND window) { g_mainWindow.store(window, std::memory_order_relaxed); }

HWND GetMainWindow() { return g_mainWindow.load(std::memory_order_relaxed); }
