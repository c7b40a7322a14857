// The window search, the top-level rule with its combination of child
// rectangles, and the hit-test chain.

#include "window/wnd_finder.h"

#include <QMutexLocker>

#include <cmath>
#include <limits>

namespace dorvane {

namespace {

// Accessible servers live in other processes and may answer a hit test with
// an object that leads back to itself; the chain is cut off here rather than
// exhausting the stack. Real trees are far shallower.
constexpr int kMaxHitTestDepth = 256;

const std::u16string kQtGuiClass = u"TXGuiFoundation";
const std::u16string kFolderClass = u"CabinetWClass";

// 32-bit sums and differences as the processor makes them: wrapped, not
// undefined.
std::int32_t wrap32(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

std::int32_t sub32(std::int32_t a, std::int32_t b) {
    return wrap32(static_cast<std::int64_t>(a) - b);
}

// (right - left) * (bottom - top) of a rectangle, exactly: each factor needs
// 33 bits, the product's magnitude 64.
struct ExactArea {
    bool negative = false;
    std::uint64_t magnitude = 0;
};

ExactArea exactArea(const Rect& rect) {
    const std::int64_t width = static_cast<std::int64_t>(rect.right) - rect.left;
    const std::int64_t height = static_cast<std::int64_t>(rect.bottom) - rect.top;
    const std::uint64_t w = static_cast<std::uint64_t>(width < 0 ? -width : width);
    const std::uint64_t h = static_cast<std::uint64_t>(height < 0 ? -height : height);
    ExactArea area;
    area.magnitude = w * h;
    area.negative = area.magnitude != 0 && ((width < 0) != (height < 0));
    return area;
}

bool operator<(const ExactArea& a, const ExactArea& b) {
    if (a.negative != b.negative) return a.negative;
    return a.negative ? a.magnitude > b.magnitude : a.magnitude < b.magnitude;
}

// Steps 1 to 4 of both callbacks: the window holds the point and is one that
// the search may stop at.
bool accepts(Desktop& desktop, WindowHandle window, std::intptr_t packedPoint) {
    Rect rect;
    if (!desktop.windowRect(window, rect)) rect = Rect{};
    if (!desktop.containsPoint(rect, packedX(packedPoint), packedY(packedPoint))) return false;
    if (desktop.windowProcessId(window) == desktop.currentProcessId()) return false;
    if (!desktop.isVisible(window)) return false;
    if (desktop.isClickThrough(window)) return false;
    return true;
}

Rect windowRectOf(Desktop& desktop, WindowHandle window) {
    Rect rect;
    if (!desktop.windowRect(window, rect)) rect = Rect{};
    return rect;
}

// The locations of the object's direct children, appended to s_rects.
void collectChildRects(Desktop& desktop, AccObject object) {
    std::int32_t count = 0;
    if (!accSucceeded(desktop.childCount(object, count))) return;
    // A negative count is a broken server; there is nothing to fetch.
    if (count <= 0) return;
    std::vector<AccVariant> children;
    const AccResult fetched = desktop.children(object, 0, count, children);
    for (const AccVariant& child : children) {
        if (child.kind != AccVariant::Kind::Dispatch || child.dispatch == AccDispatch::None) continue;
        if (accSucceeded(fetched)) {
            AccObject accessible = AccObject::None;
            if (accOk(desktop.queryAccessible(child.dispatch, accessible)) && accessible != AccObject::None) {
                AccVariant self;
                self.kind = AccVariant::Kind::Element;
                self.id = kChildIdSelf;
                AccLocation location;
                if (accOk(desktop.location(accessible, self, location)))
                    WndFinder::s_rects.push_back(locationRect(location));
            }
            if (accessible != AccObject::None) desktop.release(accessible);
        }
        desktop.release(child.dispatch);
    }
}

}  // namespace

QMutex WndFinder::s_mutex;
std::atomic<WndFinder*> WndFinder::s_instance{nullptr};
bool WndFinder::s_descend = false;
WindowHandle WndFinder::s_hwnd = WindowHandle::None;
std::vector<Rect> WndFinder::s_rects;
Rect WndFinder::s_best;

std::intptr_t packPoint(std::int32_t x, std::int32_t y) {
    const std::uint32_t packed =
        (static_cast<std::uint32_t>(x) & 0xFFFFu) | ((static_cast<std::uint32_t>(y) & 0xFFFFu) << 16);
    return static_cast<std::intptr_t>(packed);
}

std::int32_t packedX(std::intptr_t packed) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uintptr_t>(packed) & 0xFFFFu));
}

std::int32_t packedY(std::intptr_t packed) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((static_cast<std::uintptr_t>(packed) >> 16) & 0xFFFFu));
}

std::int32_t spanArea(std::int32_t dx, std::int32_t dy) {
    const double product = std::fabs(static_cast<double>(dx)) * std::fabs(static_cast<double>(dy));
    // Only what truncates into the 32-bit range converts; the rest is the
    // processor's "integer indefinite".
    if (!(product < 2147483648.0)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(product);
}

Rect combineRects(const std::vector<Rect>& rects) {
    Rect combined{1000000, 1000000, 0, 0};
    std::int32_t area = 0;
    bool first = true;
    for (const Rect& r : rects) {
        if (first) {
            combined = r;
            area = spanArea(sub32(r.right, r.left), sub32(r.bottom, r.top));
            first = false;
            continue;
        }
        const std::int32_t toTopLeft = spanArea(sub32(r.left, combined.right), sub32(r.top, combined.bottom));
        if (toTopLeft > area) {
            combined.left = r.left;
            combined.top = r.top;
        }
        if (toTopLeft > area) area = toTopLeft;
        const std::int32_t toBottomRight = spanArea(sub32(r.right, combined.left), sub32(r.bottom, combined.top));
        if (toBottomRight > area) {
            combined.right = r.right;
            combined.bottom = r.bottom;
            area = toBottomRight;
        }
    }
    return combined;
}

Rect locationRect(const AccLocation& location) {
    return Rect{location.left, location.top, wrap32(static_cast<std::int64_t>(location.left) + location.width - 1),
                wrap32(static_cast<std::int64_t>(location.top) + location.height - 1)};
}

bool isSpecialClass(const std::u16string& className) {
    return className == kQtGuiClass || className == kFolderClass;
}

WndFinder* WndFinder::instance() {
    WndFinder* finder = s_instance.load(std::memory_order_acquire);
    if (finder != nullptr) return finder;
    QMutexLocker lock(&s_mutex);
    finder = s_instance.load(std::memory_order_relaxed);
    if (finder == nullptr) {
        finder = new WndFinder;
        s_instance.store(finder, std::memory_order_release);
    }
    return finder;
}

bool WndFinder::topWindowProc(WindowHandle window, std::intptr_t packedPoint) {
    Desktop& desktop = currentDesktop();
    if (!accepts(desktop, window, packedPoint)) return true;
    s_hwnd = window;
    if (s_descend) desktop.enumChildWindows(window, &WndFinder::childWindowProc, packedPoint);
    return false;
}

bool WndFinder::childWindowProc(WindowHandle window, std::intptr_t packedPoint) {
    Desktop& desktop = currentDesktop();
    if (!accepts(desktop, window, packedPoint)) return true;
    s_hwnd = window;
    desktop.enumChildWindows(window, &WndFinder::childWindowProc, packedPoint);
    return false;
}

WindowHandle WndFinder::findWindow(std::int32_t x, std::int32_t y, bool descend) {
    s_descend = descend;
    s_hwnd = WindowHandle::None;
    currentDesktop().enumWindows(&WndFinder::topWindowProc, packPoint(x, y));
    return s_hwnd;
}

Rect WndFinder::topLevelRect(std::int32_t x, std::int32_t y) {
    Desktop& desktop = currentDesktop();
    const WindowHandle window = findWindow(x, y, false);
    if (window == WindowHandle::None) return Rect{};
    s_best = Rect{};
    const std::u16string className = desktop.className(window, kClassNameCapacity);
    const Rect windowRect = windowRectOf(desktop, window);
    if (!isSpecialClass(className)) return windowRect;

    s_rects.clear();
    AccObject object = AccObject::None;
    const AccRole role = className == kQtGuiClass ? AccRole::Client : AccRole::Window;
    if (!accOk(desktop.accessibleObject(window, role, object))) {
        if (object != AccObject::None) desktop.release(object);
        return windowRect;
    }
    if (object != AccObject::None) {
        collectChildRects(desktop, object);
        desktop.release(object);
    }
    s_best = combineRects(s_rects);
    return isZero(s_best) ? windowRect : s_best;
}

void WndFinder::hitTestAccessible(AccObject object, std::int32_t x, std::int32_t y) {
    hitTestAccessible(object, x, y, 0);
}

void WndFinder::hitTestAccessible(AccObject object, std::int32_t x, std::int32_t y, int depth) {
    if (object == AccObject::None || depth >= kMaxHitTestDepth) return;
    Desktop& desktop = currentDesktop();
    AccVariant answer;
    const AccResult hit = desktop.hitTest(object, x, y, answer);
    const bool isDispatch = answer.kind == AccVariant::Kind::Dispatch;
    if (!accSucceeded(hit)) {
        if (isDispatch && answer.dispatch != AccDispatch::None) desktop.release(answer.dispatch);
        return;
    }
    if (isDispatch) {
        if (answer.dispatch == AccDispatch::None) return;
        AccObject child = AccObject::None;
        if (accOk(desktop.queryAccessible(answer.dispatch, child))) hitTestAccessible(child, x, y, depth + 1);
        if (child != AccObject::None) desktop.release(child);
        desktop.release(answer.dispatch);
        return;
    }
    AccLocation location;
    if (!accOk(desktop.location(object, answer, location))) return;
    const Rect rect = locationRect(location);
    if (desktop.containsPoint(rect, x, y) && (isZero(s_best) || exactArea(rect) < exactArea(s_best))) s_best = rect;
}

}  // namespace dorvane
