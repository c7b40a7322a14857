// Owns the windows that the window-search test looks at, in a process of its
// own: created where the test expects them, then kept, with their messages
// answered, until the test says stop.
//   dorvane_window_owner <ready event> <stop event>

#include <windows.h>

#include <cstdio>

namespace {

struct Placed {
    const wchar_t* className;
    DWORD exStyle;
    bool visible;
    int left, top, right, bottom;
};

// Kept in step with window_desktop_test.cpp. Each window is created above
// the ones before it; all stay above the windows of other tests that may
// share the display.
const Placed kWindows[] = {
    {L"DorvaneTestPlain", 0, true, 100, 100, 300, 250},   // below the test's own window
    {L"DorvaneTestPlain", 0, true, 400, 100, 700, 400},   // below the click-through one
    {L"DorvaneTestPlain", 0, true, 100, 450, 300, 600},   // below the hidden one
    {L"DorvaneTestPlain", 0, true, 800, 450, 1000, 600},  // alone
    {L"CabinetWClass", 0, true, 800, 100, 1000, 300},     // a folder window
    {L"DorvaneTestPlain", WS_EX_TRANSPARENT, true, 450, 150, 650, 350},
    {L"DorvaneTestPlain", 0, false, 150, 480, 250, 560},
};

bool registerClass(const wchar_t* name) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name;
    return RegisterClassW(&windowClass) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: dorvane_window_owner <ready event> <stop event>\n");
        return 2;
    }
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
    if (ready == nullptr || stop == nullptr) return 3;
    if (!registerClass(L"DorvaneTestPlain") || !registerClass(L"CabinetWClass")) return 4;
    for (const Placed& placed : kWindows) {
        const DWORD style = WS_POPUP | (placed.visible ? WS_VISIBLE : 0);
        HWND window = CreateWindowExW(placed.exStyle | WS_EX_TOPMOST, placed.className, L"", style, placed.left,
                                      placed.top, placed.right - placed.left, placed.bottom - placed.top, nullptr,
                                      nullptr, GetModuleHandleW(nullptr), nullptr);
        if (window == nullptr) return 5;
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    SetEvent(ready);
    // Other processes' accessibility calls reach the windows as messages. A
    // test that is gone without a word leaves it idle: half a minute without
    // a message ends it.
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &stop, FALSE, 30000, QS_ALLINPUT);
        if (woken != WAIT_OBJECT_0 + 1) break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    CloseHandle(ready);
    CloseHandle(stop);
    return 0;
}
