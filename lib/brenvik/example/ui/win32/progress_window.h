#pragma once
// The progress window of a helper run: a thin Win32 view over DisplayModel.

#include <windows.h>

#include <string>

#include "ui/display_model.h"
#include "ui/helper_view.h"
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

// Registers the class, creates and shows the window and runs the message loop
// until the window is destroyed. The window starts the worker body on a
// thread of its own from WM_CREATE and calls launchTarget after a successful
// run. Returns 0 after a close, 1 when the window cannot be registered or
// created.
int runProgressWindow(HINSTANCE instance, int showCommand, const HelperViewHooks& hooks);

// The window's handles, sink and model, valid while the window exists.
const WindowControls& windowControls();
WindowSink* windowSink();
const DisplayModel& displayModel();

}  // namespace example
