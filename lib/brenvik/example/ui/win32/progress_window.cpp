#include "ui/win32/progress_window.h"

#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "core/app_options.h"
#include "core/command_line.h"
#include "ui/worker_thread.h"
#include "worker/close_guard.h"

namespace example {

namespace {

constexpr char kWindowTitle[] = "brenvik_helper";
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 396;
constexpr WPARAM kBarRangeMax = 1000;

WindowControls g_controls;
DisplayModel g_model;
std::unique_ptr<WindowSink> g_sink;
HelperViewHooks g_hooks;
// The worker of this run; joined once it has returned.
WorkerThread g_worker;

void applyControlFont(HWND parent, HWND child) {
    auto font = reinterpret_cast<HFONT>(SendMessageA(parent, WM_GETFONT, 0, 0));
    if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (font != nullptr) SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

HWND createChildControl(HWND parent, const char* className, const char* text, DWORD style, int x, int y, int width,
                        int height) {
    HWND child = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    applyControlFont(parent, child);
    return child;
}

void createControls(HWND parent) {
    g_controls.overallLabel = createChildControl(parent, "STATIC", "0/0  0.0%", 0, 16, 18, 586, 20);
    g_controls.overallBar = createChildControl(parent, PROGRESS_CLASSA, "", PBS_SMOOTH, 16, 43, 586, 24);
    g_controls.currentLabel = createChildControl(parent, "STATIC", "", 0, 16, 81, 586, 20);
    g_controls.currentBar = createChildControl(parent, PROGRESS_CLASSA, "", PBS_SMOOTH, 16, 106, 586, 24);
    g_controls.logEdit = CreateWindowExA(
        WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
        16, 147, 586, 189, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    applyControlFont(parent, g_controls.logEdit);
    // An edit control takes 30,000 characters unless told otherwise and then
    // silently drops every later line, the final outcome included; a run
    // that extracts a few thousand files writes more than that.
    SendMessageA(g_controls.logEdit, EM_SETLIMITTEXT, 0, 0);
    SendMessageA(g_controls.overallBar, PBM_SETRANGE, 0, MAKELPARAM(0, kBarRangeMax));
    SendMessageA(g_controls.currentBar, PBM_SETRANGE, 0, MAKELPARAM(0, kBarRangeMax));
}

// Copies the model's labels and bars into the controls.
void renderProgress() {
    SendMessageA(g_controls.overallBar, PBM_SETPOS, static_cast<WPARAM>(g_model.overallBar()), 0);
    SendMessageA(g_controls.currentBar, PBM_SETPOS, static_cast<WPARAM>(g_model.currentBar()), 0);
    SetWindowTextA(g_controls.overallLabel, g_model.overallLabel().c_str());
    SetWindowTextA(g_controls.currentLabel, g_model.currentLabel().c_str());
}

void resetProgressDisplay() {
    g_model.reset();
    renderProgress();
    SetWindowTextA(g_controls.logEdit, "");
}

// Adds one line to the log control; the model holds its own copy.
void appendToLogEdit(const std::string& text) {
    const int length = GetWindowTextLengthA(g_controls.logEdit);
    SendMessageA(g_controls.logEdit, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageA(g_controls.logEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageA(g_controls.logEdit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>("\r\n"));
}

void appendLogLine(const std::string& text) {
    g_model.appendLogLine(text);
    appendToLogEdit(text);
}

void startUpdateWorker() {
    resetProgressDisplay();
    g_worker.start(g_hooks.workerBody);
}

void handleFinish(HWND window, const FinishInfo& finish) {
    const FinishAction action = g_model.applyFinish(finish);
    appendToLogEdit(finish.message);
    if (closeGuard().closePending()) {
        // The user asked to close while files were being applied.
        DestroyWindow(window);
        return;
    }
    if (action == FinishAction::CloseNow) {
        DestroyWindow(window);
    } else if (action == FinishAction::RestartThenClose) {
        std::string launchError;
        const bool launched = g_hooks.launchTarget && g_hooks.launchTarget(launchError);
        if (g_model.applyLaunchResult(launched, launchError)) {
            // Without the timer the window would stay open for good; closing
            // at once only skips the pause before it.
            if (SetTimer(window, kCloseTimerId, kCloseDelayMs, nullptr) == 0) DestroyWindow(window);
        } else {
            appendToLogEdit(launchError);
        }
    }
}

LRESULT CALLBACK windowProc(HWND window, UINT messageId, WPARAM wParam, LPARAM lParam) {
    switch (messageId) {
    case WM_CREATE:
        g_controls.mainWindow = window;
        g_sink = std::make_unique<WindowSink>(window);
        setMessageSink(g_sink.get());
        createControls(window);
        startUpdateWorker();
        return 0;
    case WM_CLOSE:
        if (!closeGuard().requestClose()) {
            appendLogLine("Closing once the files being applied are complete.");
            return 0;
        }
        break;
    case WM_DESTROY:
        setMessageSink(nullptr);
        PostQuitMessage(0);
        return 0;
    case WM_TIMER:
        if (!DisplayModel::isCloseTimer(wParam)) break;
        KillTimer(window, kCloseTimerId);
        DestroyWindow(window);
        return 0;
    case WM_APP_LOG: {
        std::string* line = g_sink->receiveLog(lParam);
        appendLogLine(*line);
        g_sink->release(line);
        return 0;
    }
    case WM_APP_PROGRESS: {
        ProgressInfo* progress = g_sink->receiveProgress(lParam);
        g_model.showProgress(*progress);
        renderProgress();
        g_sink->release(progress);
        return 0;
    }
    case WM_APP_FINISHED: {
        FinishInfo* finish = g_sink->receiveFinish(lParam);
        handleFinish(window, *finish);
        g_sink->release(finish);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcA(window, messageId, wParam, lParam);
}

}  // namespace

const WindowControls& windowControls() {
    return g_controls;
}
WindowSink* windowSink() {
    return g_sink.get();
}
const DisplayModel& displayModel() {
    return g_model;
}

int runProgressWindow(HINSTANCE instance, int showCommand, const HelperViewHooks& hooks) {
    g_hooks = hooks;
    closeGuard().reset();

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClassName;
    if (RegisterClassA(&windowClass) == 0) {
        writeConsoleError("RegisterClassA failed.");
        return 1;
    }

    HWND window =
        CreateWindowExA(0, kWindowClassName, kWindowTitle, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                        CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        UnregisterClassA(kWindowClassName, instance);
        MessageBoxA(nullptr, "Failed to create main window.", "Brenvik Error", MB_ICONERROR);
        return 1;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    UnregisterClassA(kWindowClassName, instance);
    g_controls = WindowControls{};
    return static_cast<int>(message.wParam);
}

int runHelperView(void* instance, int showCommand, const HelperViewHooks& hooks) {
    const int code = runProgressWindow(static_cast<HINSTANCE>(instance), showCommand, hooks);
    // A worker that outlives the window (closed during the check or the
    // downloads) is cut off here rather than left to watch the program's
    // static data being destroyed underneath it.
    if (!g_worker.finish(std::chrono::seconds(2))) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}

}  // namespace example
