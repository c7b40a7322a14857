#pragma once
// The accessible objects of the X11 desktop. A window whose process shows its
// user interface on the accessibility bus stands for that process's
// top-level element at the window's place, and the search goes down through
// the application's own elements. Any other window (or every window, while
// there is no accessibility bus) offers an object of its own, as the default
// window object does on Windows: it answers a hit test inside it with itself
// and is located at the window's rectangle, so the deep search ends at the
// innermost child window under the cursor.

#include <cstdint>
#include <string>
#include <vector>

#include "window/desktop.h"

namespace dorvane::x11 {

// What the objects need to know of windows from the X server.
class WindowFacts {
public:
    // The outer box, as Desktop::windowRect gives it.
    virtual bool windowRect(WindowHandle window, Rect& rect) = 0;
    virtual std::uint32_t windowProcessId(WindowHandle window) = 0;
    // The inside (no border) of the window that holds the application's
    // content, in root coordinates: a frame's client, or the window itself.
    virtual bool contentBox(WindowHandle window, Rect& box) = 0;
    // The root window's AT_SPI_BUS value; empty if none.
    virtual std::string accessibilityBusProperty() = 0;

protected:
    ~WindowFacts() = default;
};

class Accessibility {
public:
    explicit Accessibility(WindowFacts& facts) : facts_(facts) {}

    // A new search: whether the bus is there is asked again on first need.
    void beginSearch() { checked_ = false; }

    AccResult accessibleObject(WindowHandle window, AccObject& object);
    AccResult childCount(AccObject object, std::int32_t& count);
    AccResult children(AccObject object, std::int32_t start, std::int32_t count, std::vector<AccVariant>& children);
    AccResult queryAccessible(AccDispatch dispatch, AccObject& object);
    AccResult location(AccObject object, const AccVariant& child, AccLocation& location);
    AccResult hitTest(AccObject object, std::int32_t x, std::int32_t y, AccVariant& answer);
    void release(AccObject object);
    void release(AccDispatch dispatch);

private:
    bool busUsable();

    WindowFacts& facts_;
    bool checked_ = false;
    bool usable_ = false;
};

}  // namespace dorvane::x11
