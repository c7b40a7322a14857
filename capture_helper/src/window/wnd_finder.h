#pragma once
// The search for the window or element under the mouse, over the current
// desktop (window/desktop.h).
//
// The working state lives in process-wide statics and is overwritten by each
// search, so searches must not overlap: the capture application asks from its
// user-interface thread only. Only the creation of the finder is locked.

#include <QMutex>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "window/desktop.h"

namespace dorvane {

// The point handed to the enumeration callbacks: x in the low 16 bits, y in
// the high 16 bits; each is read back as a signed 16-bit number, so
// coordinates outside -32768..32767 wrap.
std::intptr_t packPoint(std::int32_t x, std::int32_t y);
std::int32_t packedX(std::intptr_t packed);
std::int32_t packedY(std::intptr_t packed);

// |dx| * |dy| in double precision, truncated toward zero to 32 bits; a
// product that does not fit counts as -2147483648, as the processor's
// conversion gives it.
std::int32_t spanArea(std::int32_t dx, std::int32_t dy);

// Where the collected child rectangles of a special window say it is: the
// top-left corner moves to a rectangle's top-left and the bottom-right corner
// to a rectangle's bottom-right whenever that spans a larger box. Starts at
// {1000000, 1000000, 0, 0}, which an empty list leaves as it is.
Rect combineRects(const std::vector<Rect>& rects);

// {l, t, l + w - 1, t + h - 1}: accessible locations end on their last pixel.
// The sums are 32-bit and wrap.
Rect locationRect(const AccLocation& location);

// What the class names are read with: GetClassNameW's buffer size,
// terminator included.
constexpr int kClassNameCapacity = 127;

// Windows of these classes are placed by their accessible children instead
// of their window rectangle.
bool isSpecialClass(const std::u16string& className);

class WndFinder {
public:
    static WndFinder* instance();

    // The top-level window under (x, y), the rectangle combined from the
    // children of a special one, or zero when there is no window.
    Rect topLevelRect(std::int32_t x, std::int32_t y);

    // The window search: the first top-level window at (x, y) that passes the
    // filters, with `descend` the innermost child window there. Returns it
    // (also in s_hwnd); None when there is none.
    static WindowHandle findWindow(std::int32_t x, std::int32_t y, bool descend);

    // Narrows s_best to the element at the end of the hit-test chain from
    // `object` when (x, y) lies inside it and it is smaller.
    static void hitTestAccessible(AccObject object, std::int32_t x, std::int32_t y);

    static bool topWindowProc(WindowHandle window, std::intptr_t packedPoint);
    static bool childWindowProc(WindowHandle window, std::intptr_t packedPoint);

    static QMutex s_mutex;
    static std::atomic<WndFinder*> s_instance;
    static bool s_descend;
    static WindowHandle s_hwnd;
    static std::vector<Rect> s_rects;
    static Rect s_best;

private:
    WndFinder() = default;
    static void hitTestAccessible(AccObject object, std::int32_t x, std::int32_t y, int depth);
};

inline bool isZero(const Rect& rect) {
    return rect == Rect{};
}

}  // namespace dorvane
