#pragma once
// The progress window of a helper run: a thin Win32 view over DisplayModel.

#include <windows.h>

#include <functional>
#include <string>

#include "ui/display_model.h"
#include "ui/win32/window_sink.h"

namespace example {

struct WindowControls {
    HWND mainWindow = nullptr;
    HWND overallLabel = nullptr;
    HWND overallBar = nullptr;
    HWND currentLabel = nullptr;
    HWND currentBar = nullptr;
    HWND logEdit = nullptr;
};

// What the window runs: the worker body started on a detached thread from
// WM_CREATE, and the restart of the target after a successful run.
struct ProgressWindowHooks {
    std::function<void()> workerBody;
    std::function<bool(std::string& launchError)> launchTarget;
};

// Registers the class, creates and shows the window and runs the message loop
// until the window is destroyed. Returns 0 after a close, 1 when the window
// cannot be registered or created.
int runProgressWindow(HINSTANCE instance, int showCommand, const ProgressWindowHooks& hooks);

// The window's handles, sink and model, valid while the window exists.
const WindowControls& windowControls();
WindowSink* windowSink();
const DisplayModel& displayModel();

}  // namespace example
