// getWndByMouse through the library's export on a real desktop (under Wine on
// the build machine): windows of another process at known places, one of
// this process over them, and the cursor moved onto each.

#include <gtest/gtest.h>

#include <windows.h>

#include <QRect>

#include <string>

#include "dorvane/DorvaneWindow.h"
#include "rect_assertion.h"

namespace {

// The other process's windows (window_owner.cpp): their rectangles. Its
// folder window lies at (800, 100), 200 x 200.
const QRect kBelowOwn(100, 100, 200, 150);
const QRect kBelowClickThrough(400, 100, 300, 300);
const QRect kBelowHidden(100, 450, 200, 150);
const QRect kAlone(800, 450, 200, 150);

class RealDesktop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The capture application's user-interface thread has COM set up.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const std::string suffix = std::to_string(GetCurrentProcessId());
        const std::string readyName = "dorvane_window_owner_ready_" + suffix;
        const std::string stopName = "dorvane_window_owner_stop_" + suffix;
        ready_ = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
        stop_ = CreateEventA(nullptr, TRUE, FALSE, stopName.c_str());
        std::string command = "\"" DORVANE_WINDOW_OWNER "\" " + readyName + " " + stopName;
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        owner_ = PROCESS_INFORMATION{};
        started_ =
            CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &owner_) &&
            WaitForSingleObject(ready_, 20000) == WAIT_OBJECT_0;
        // This process's own window, over the first of the other's.
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"DorvaneTestOwn";
        RegisterClassW(&windowClass);
        own_ = CreateWindowExW(WS_EX_TOPMOST, L"DorvaneTestOwn", L"", WS_POPUP | WS_VISIBLE, 120, 120, 100, 80, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        if (own_ != nullptr) SetWindowPos(own_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }

    static void TearDownTestSuite() {
        if (own_ != nullptr) DestroyWindow(own_);
        SetEvent(stop_);
        if (owner_.hProcess != nullptr) {
            WaitForSingleObject(owner_.hProcess, 10000);
            CloseHandle(owner_.hProcess);
            CloseHandle(owner_.hThread);
        }
        CloseHandle(ready_);
        CloseHandle(stop_);
        CoUninitialize();
    }

    static QRect at(int x, int y, bool deep, double scale = 1.0) {
        EXPECT_TRUE(SetCursorPos(x, y));
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        QRect rect(1, 2, 3, 4);
        EXPECT_TRUE(getWndByMouse(&rect, scale, deep));
        return rect;
    }

    static HANDLE ready_, stop_;
    static PROCESS_INFORMATION owner_;
    static bool started_;
    static HWND own_;
};

HANDLE RealDesktop::ready_ = nullptr;
HANDLE RealDesktop::stop_ = nullptr;
PROCESS_INFORMATION RealDesktop::owner_{};
bool RealDesktop::started_ = false;
HWND RealDesktop::own_ = nullptr;

// With deep, the answer is the window's client object (the window objects
// that Wine makes answer a hit test with it): an element rectangle, which
// ends on its last pixel.
QRect asElement(const QRect& window) {
    return QRect(window.left(), window.top(), window.width() - 1, window.height() - 1);
}

// Wine's window objects report no children (the child count is not
// implemented), so a folder window comes back as the empty box
// {1000000, 1000000, 0, 0}; the element found with deep does not meet it.
const QRect kEmptyBox(1000000, 1000000, -1000000, -1000000);

// What lies on top at a point, before any filter: the case's premise.
enum class Top { Other, Own, ClickThrough, Hidden };

struct TopSearch {
    POINT point;
    HWND found;
};

BOOL CALLBACK findTop(HWND window, LPARAM param) {
    TopSearch& search = *reinterpret_cast<TopSearch*>(param);
    RECT rect{};
    if (!GetWindowRect(window, &rect) || !PtInRect(&rect, search.point)) return TRUE;
    search.found = window;
    return FALSE;
}

Top topmostAt(int x, int y) {
    TopSearch search{{x, y}, nullptr};
    EnumWindows(&findTop, reinterpret_cast<LPARAM>(&search));
    DWORD process = 0;
    GetWindowThreadProcessId(search.found, &process);
    if (process == GetCurrentProcessId()) return Top::Own;
    if (!(GetWindowLongW(search.found, GWL_STYLE) & WS_VISIBLE)) return Top::Hidden;
    if (GetWindowLongW(search.found, GWL_EXSTYLE) & WS_EX_TRANSPARENT) return Top::ClickThrough;
    return Top::Other;
}

TEST_F(RealDesktop, AnswersTheRectangleOfTheWindowUnderTheCursor) {
    ASSERT_TRUE(started_) << "the window owner did not start";
    ASSERT_NE(own_, nullptr);
    struct Case {
        const char* name;
        int x, y;
        Top top;
        QRect topLevel, deep;
    };
    const Case cases[] = {
        {"a window of another process", 850, 500, Top::Other, kAlone, asElement(kAlone)},
        {"a window of this process: the one below", 150, 150, Top::Own, kBelowOwn, asElement(kBelowOwn)},
        {"a click-through window: the one below", 500, 200, Top::ClickThrough, kBelowClickThrough,
         asElement(kBelowClickThrough)},
        {"a hidden window: the one below", 200, 500, Top::Hidden, kBelowHidden, asElement(kBelowHidden)},
        {"a folder window", 900, 200, Top::Other, kEmptyBox, kEmptyBox},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(topmostAt(c.x, c.y), c.top) << "the windows are not stacked as the case needs";
        EXPECT_TRUE(sameRect(at(c.x, c.y, false), c.topLevel));
        EXPECT_TRUE(sameRect(at(c.x, c.y, true), c.deep));
    }
}

TEST_F(RealDesktop, DividesByTheScale) {
    ASSERT_TRUE(started_) << "the window owner did not start";
    EXPECT_TRUE(sameRect(at(850, 500, false, 2.0), QRect(400, 225, 100, 75)));
    EXPECT_TRUE(sameRect(at(850, 500, true, 2.0), QRect(400, 225, 99, 74)));
    EXPECT_TRUE(sameRect(at(850, 500, false, 0.0), QRect()));
}

}  // namespace
