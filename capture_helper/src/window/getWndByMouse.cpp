// The exported search: the top-level rule or the deep one, and the scale step.

#include "dorvane/DorvaneWindow.h"

#include <cmath>
#include <cstdint>

#include "window/desktop.h"
#include "window/wnd_finder.h"

namespace dorvane {

namespace {

// The deepest window's element under the cursor, kept within the top-level
// answer where there is one.
Rect deepRect(WndFinder& finder, std::int32_t x, std::int32_t y) {
    Desktop& desktop = currentDesktop();
    Rect result;
    const WindowHandle window = WndFinder::findWindow(x, y, true);
    if (window == WindowHandle::None) return result;

    WndFinder::s_rects.clear();
    WndFinder::s_best = Rect{};
    const bool special = isSpecialClass(desktop.className(window, kClassNameCapacity));
    if (special) result = finder.topLevelRect(x, y);

    AccObject object = AccObject::None;
    if (accOk(desktop.accessibleObject(window, AccRole::Window, object))) WndFinder::hitTestAccessible(object, x, y);
    if (object != AccObject::None) desktop.release(object);

    if (isZero(WndFinder::s_best)) {
        if (!special) result = finder.topLevelRect(x, y);
    } else if (isZero(result)) {
        result = WndFinder::s_best;
    } else {
        Rect common;
        if (desktop.intersect(common, WndFinder::s_best, result)) result = common;
    }
    return result;
}

// value / scale truncated toward zero; false when that is no 32-bit number.
bool scaled(std::int32_t value, double scale, std::int32_t& out) {
    const double quotient = std::trunc(static_cast<double>(value) / scale);
    if (!(quotient >= -2147483648.0 && quotient <= 2147483647.0)) return false;
    out = static_cast<std::int32_t>(quotient);
    return true;
}

std::int32_t minusOne(std::int32_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) - 1u);
}

}  // namespace

}  // namespace dorvane

extern "C" DORVANE_API bool getWndByMouse(QRect* rect, double scale, bool deep) {
    using namespace dorvane;
    if (rect == nullptr) return true;
    *rect = QRect();
    // Dividing by 0 or by something not finite gives no coordinates at all.
    if (scale == 0.0 || !std::isfinite(scale)) return true;

    std::int32_t x = 0;
    std::int32_t y = 0;
    if (!currentDesktop().cursorPos(x, y)) return true;
    WndFinder& finder = *WndFinder::instance();
    const Rect found = deep ? deepRect(finder, x, y) : finder.topLevelRect(x, y);

    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    if (!scaled(found.left, scale, left) || !scaled(found.top, scale, top) || !scaled(found.right, scale, right) ||
        !scaled(found.bottom, scale, bottom))
        return true;
    // Left l, top t, width r - l, height b - t: Qt keeps the last pixel, at
    // r - 1 and b - 1 (32-bit arithmetic, wrapping as Qt's own would).
    rect->setCoords(left, top, minusOne(right), minusOne(bottom));
    return true;
}
