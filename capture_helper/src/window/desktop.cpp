// Rectangle arithmetic of the window search, and which desktop it runs on.

#include "window/desktop.h"

namespace dorvane {

namespace {

Desktop* g_replacement = nullptr;

bool isEmpty(const Rect& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

}  // namespace

bool pointInRect(const Rect& rect, std::int32_t x, std::int32_t y) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

bool intersectRects(Rect& out, const Rect& a, const Rect& b) {
    Rect common{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top, a.right < b.right ? a.right : b.right,
                a.bottom < b.bottom ? a.bottom : b.bottom};
    if (isEmpty(a) || isEmpty(b) || isEmpty(common)) {
        out = Rect{};
        return false;
    }
    out = common;
    return true;
}

Desktop& currentDesktop() {
    return g_replacement != nullptr ? *g_replacement : systemDesktop();
}

void setDesktop(Desktop* desktop) {
    g_replacement = desktop;
}

}  // namespace dorvane
