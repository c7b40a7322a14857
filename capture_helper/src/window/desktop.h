#pragma once
// What the search for the window under the mouse needs of the desktop: the
// top-level windows from the top of the Z order down, child windows, the
// cursor, the calling process, and the accessibility tree of a window. One
// implementation per platform (platform/<name>/), and a fake one in the tests.
//
// The calls mirror the Windows functions they are made for, so that the
// Windows layer is a thin translation: the enumerations call back once per
// window with a caller's value and stop when the callback says so, and the
// accessibility calls answer with the platform's result codes, whose two
// kinds of success the search tells apart.
//
// All calls come from the thread that asks for the window under the mouse.

#include <cstdint>
#include <string>
#include <vector>

namespace dorvane {

// A rectangle in screen pixels. Window rectangles end just outside their
// right and bottom edges; rectangles made from accessible locations end on
// them (the search keeps that difference).
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

inline bool operator==(const Rect& a, const Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator!=(const Rect& a, const Rect& b) {
    return !(a == b);
}

// The point is inside when left <= x < right and top <= y < bottom.
bool pointInRect(const Rect& rect, std::int32_t x, std::int32_t y);
// The common part of a and b in `out`; false, with `out` all zero, when either
// is empty (right <= left or bottom <= top) or they do not overlap.
bool intersectRects(Rect& out, const Rect& a, const Rect& b);

// Opaque handles of the platform's objects; 0 is none.
enum class WindowHandle : std::uintptr_t { None = 0 };
// An accessible object (what the search asks for locations and hit tests).
enum class AccObject : std::uintptr_t { None = 0 };
// An automation object that may be asked for its accessible object.
enum class AccDispatch : std::uintptr_t { None = 0 };

// Result codes of the accessibility calls: 0 is complete success, another
// non-negative code a success with a reservation (such as "nothing there"),
// a negative code a failure.
using AccResult = std::int32_t;
constexpr AccResult kAccOk = 0;
constexpr AccResult kAccFalse = 1;
constexpr AccResult kAccFail = static_cast<AccResult>(0x80004005u);
inline bool accOk(AccResult result) {
    return result == kAccOk;
}
inline bool accSucceeded(AccResult result) {
    return result >= 0;
}

// The accessible object of a window as a whole, or of its client area.
enum class AccRole { Window, Client };

// The element id that stands for an object itself.
constexpr std::int32_t kChildIdSelf = 0;

// A child as the accessibility calls name it: nothing, an element of the
// object by id (kChildIdSelf for the object itself), or an object of its own.
struct AccVariant {
    enum class Kind { Empty, Element, Dispatch };
    Kind kind = Kind::Empty;
    std::int32_t id = kChildIdSelf;            // Element
    AccDispatch dispatch = AccDispatch::None;  // Dispatch: the receiver releases it
};

struct AccLocation {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Called once per window with the value given to the enumeration; returning
// false stops it.
using WindowEnumProc = bool (*)(WindowHandle window, std::intptr_t value);

class Desktop {
public:
    virtual ~Desktop() = default;

    // The cursor in screen pixels; false if it cannot be read.
    virtual bool cursorPos(std::int32_t& x, std::int32_t& y) = 0;
    // The top-level windows, from the top of the Z order down.
    virtual void enumWindows(WindowEnumProc proc, std::intptr_t value) = 0;
    // All windows below `parent`, each child followed by its own descendants.
    virtual void enumChildWindows(WindowHandle parent, WindowEnumProc proc, std::intptr_t value) = 0;
    virtual bool windowRect(WindowHandle window, Rect& rect) = 0;
    virtual std::uint32_t currentProcessId() = 0;
    // The process that owns the window; 0 if it is not (or no longer) a window.
    virtual std::uint32_t windowProcessId(WindowHandle window) = 0;
    // The window's own visible flag (its parents' are not looked at).
    virtual bool isVisible(WindowHandle window) = 0;
    // Whether the window lets the mouse through to what lies below.
    virtual bool isClickThrough(WindowHandle window) = 0;
    // The window's class name, cut to fit `capacity` characters counting a
    // terminator; empty if it cannot be read.
    virtual std::u16string className(WindowHandle window, int capacity) = 0;

    // Accessibility. Every object and dispatch handed out is the caller's to
    // release, whatever the result code says.
    virtual AccResult accessibleObject(WindowHandle window, AccRole role, AccObject& object) = 0;
    virtual AccResult childCount(AccObject object, std::int32_t& count) = 0;
    // Up to `count` children from `start`; `children` holds those obtained.
    virtual AccResult children(AccObject object, std::int32_t start, std::int32_t count,
                               std::vector<AccVariant>& children) = 0;
    virtual AccResult queryAccessible(AccDispatch dispatch, AccObject& object) = 0;
    virtual AccResult location(AccObject object, const AccVariant& child, AccLocation& location) = 0;
    // What lies at the screen point (x, y): Empty outside the object.
    virtual AccResult hitTest(AccObject object, std::int32_t x, std::int32_t y, AccVariant& answer) = 0;
    virtual void release(AccObject object) = 0;
    virtual void release(AccDispatch dispatch) = 0;

    // Rectangle arithmetic; a platform may answer with its own functions,
    // which must agree with pointInRect and intersectRects.
    virtual bool containsPoint(const Rect& rect, std::int32_t x, std::int32_t y) { return pointInRect(rect, x, y); }
    virtual bool intersect(Rect& out, const Rect& a, const Rect& b) { return intersectRects(out, a, b); }
};

// The platform's desktop, made on first use and kept.
Desktop& systemDesktop();

// The desktop the search uses: the platform's, unless a test put in its own.
Desktop& currentDesktop();
// Replaces it (not owned; null puts the platform's back). Not for use while
// a search runs.
void setDesktop(Desktop* desktop);

}  // namespace dorvane
