// The desktop on Linux under X11: windows, their owners and the cursor from
// the X server named by DISPLAY (Xlib, with the Shape extension for input
// shapes and the X-Resource extension for owning processes).
//
// Top-level windows are the root's children in stacking order, which holds
// every window a person can see, managed or not; where a window manager
// frames its clients, the frame stands for the window (its rectangle takes
// in the decorations) and the client inside it, the window with WM_STATE,
// gives the owner and the class.
//
// The accessible objects come from the accessibility bus where the window's
// process is on it (x11_accessibility.h).
//
// The connection is opened on the first search and kept; it is opened again
// when DISPLAY changes or the server went away. Without a server (no DISPLAY,
// or a Wayland session, whose clients see neither other windows nor the
// cursor) there is no cursor, so every search answers the empty rectangle.
//
// Xlib's default handlers end the process on a protocol error (a window that
// vanished between two requests) and on a lost connection, and a write to a
// closed socket raises SIGPIPE. None of that may reach the capture
// application: while this layer talks to the server it puts in handlers of
// its own (passing on what concerns other connections) and holds SIGPIPE.

// First: Xlib's macros (None among them) would rewrite the interface's names.
#include "window/desktop.h"
#include "window/platform/x11/x11_accessibility.h"

#include <X11/Xatom.h>
#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/shape.h>
#include <xcb/xcb.h>

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace dorvane {

namespace {

// The search's own connection, for the handlers to tell its errors apart.
Display* g_ours = nullptr;
bool g_lost = false;
unsigned long g_errors = 0;
int g_depth = 0;
XErrorHandler g_previousError = nullptr;
XIOErrorHandler g_previousIoError = nullptr;

int onError(Display* display, XErrorEvent* event) {
    if (display == g_ours) {
        ++g_errors;
        return 0;
    }
    return g_previousError != nullptr ? g_previousError(display, event) : 0;
}

int onIoError(Display* display) {
    if (display == g_ours) {
        g_lost = true;
        return 0;
    }
    return g_previousIoError != nullptr ? g_previousIoError(display) : 0;
}

// Called by Xlib in place of exit() once the connection is lost.
void onConnectionLost(Display*, void*) {
    g_lost = true;
}

// One stretch of requests to the server: the handlers above are in place and
// SIGPIPE is held (and a pending one taken away) until it ends. Stretches may
// nest; only the outermost one swaps.
class Requests {
public:
    Requests() : errorsAtStart_(g_errors) {
        if (g_depth++ > 0) return;
        g_previousError = XSetErrorHandler(&onError);
        g_previousIoError = XSetIOErrorHandler(&onIoError);
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigpending(&pendingBefore_);
        pthread_sigmask(SIG_BLOCK, &pipe, &maskBefore_);
    }

    ~Requests() {
        if (--g_depth > 0) return;
        XSetErrorHandler(g_previousError);
        XSetIOErrorHandler(g_previousIoError);
        g_previousError = nullptr;
        g_previousIoError = nullptr;
        // A SIGPIPE that our writes raised is ours to drop; one that was
        // already pending, or one the thread never blocked, stays as it was.
        if (!sigismember(&pendingBefore_, SIGPIPE) && !sigismember(&maskBefore_, SIGPIPE)) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec none{0, 0};
            while (sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &maskBefore_, nullptr);
    }

    Requests(const Requests&) = delete;
    Requests& operator=(const Requests&) = delete;

    // Whether every request of the stretch so far was answered.
    bool ok() const { return g_errors == errorsAtStart_ && !g_lost; }

private:
    unsigned long errorsAtStart_;
    sigset_t pendingBefore_{};
    sigset_t maskBefore_{};
};

// The interface's "none", which Xlib's None macro hides.
constexpr WindowHandle kNoWindow{};

Window toWindow(WindowHandle window) {
    return static_cast<Window>(window);
}
WindowHandle fromWindow(Window window) {
    return static_cast<WindowHandle>(window);
}

// The children of a window from the top of the stacking order down (the
// server lists them bottom to top); empty when it cannot be read.
std::vector<Window> childrenTopFirst(Display* display, Window parent) {
    Requests requests;
    Window root = None;
    Window parentOfParent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> result;
    if (XQueryTree(display, parent, &root, &parentOfParent, &children, &count) != 0 && requests.ok()) {
        result.reserve(count);
        for (unsigned int i = count; i > 0; --i) result.push_back(children[i - 1]);
    }
    if (children != nullptr) XFree(children);
    return result;
}

// Depth-first below `parent`, each child followed by its own descendants;
// false once the callback asked to stop.
bool visitChildren(Display* display, Window parent, WindowEnumProc proc, std::intptr_t value) {
    for (Window child : childrenTopFirst(display, parent)) {
        if (!proc(fromWindow(child), value)) return false;
        if (!visitChildren(display, child, proc, value)) return false;
    }
    return true;
}

// The string, read as Latin-1 (how the window-manager conventions encode
// WM_CLASS), cut to `capacity` - 1 characters.
std::u16string latin1ToUtf16(const char* text, int capacity) {
    std::u16string result;
    for (const char* c = text; *c != '\0' && static_cast<int>(result.size()) < capacity - 1; ++c)
        result.push_back(static_cast<char16_t>(static_cast<unsigned char>(*c)));
    return result;
}

class X11Desktop final : public Desktop, private x11::WindowFacts {
public:
    bool cursorPos(std::int32_t& x, std::int32_t& y) override {
        // Each search starts here: what the last one learnt is dropped.
        geometries_.clear();
        clients_.clear();
        accessibility_.beginSearch();
        if (!connect()) return false;
        if (pointer(x, y)) return true;
        // A server that went away since the last search shows only now; one
        // started again under the same name is asked at once.
        if (!g_lost) return false;
        disconnect();
        return connect() && pointer(x, y);
    }

    void enumWindows(WindowEnumProc proc, std::intptr_t value) override {
        if (!usable()) return;
        const std::vector<Window> windows = childrenTopFirst(display_, root_);
        topLevel_.clear();
        topLevel_.insert(windows.begin(), windows.end());
        fetchGeometries(windows);
        for (Window window : windows)
            if (!proc(fromWindow(window), value)) return;
    }

    void enumChildWindows(WindowHandle parent, WindowEnumProc proc, std::intptr_t value) override {
        if (!usable() || parent == kNoWindow) return;
        visitChildren(display_, toWindow(parent), proc, value);
    }

    // The outer box, border included, in root coordinates; right and bottom
    // just outside.
    bool windowRect(WindowHandle window, Rect& rect) override {
        if (!usable() || window == kNoWindow) return false;
        const auto known = geometries_.find(toWindow(window));
        if (known != geometries_.end()) {
            rect = known->second;
            return true;
        }
        Requests requests;
        Window root = None;
        int x = 0, y = 0;
        unsigned int width = 0, height = 0, border = 0, depth = 0;
        if (XGetGeometry(display_, toWindow(window), &root, &x, &y, &width, &height, &border, &depth) == 0 ||
            !requests.ok())
            return false;
        // The position is the border's outer corner in the parent, which for
        // the root's children is the root; others are asked where that is.
        if (topLevel_.count(toWindow(window)) == 0) {
            int insideX = 0, insideY = 0;
            Window child = None;
            if (XTranslateCoordinates(display_, toWindow(window), root_, 0, 0, &insideX, &insideY, &child) == 0 ||
                !requests.ok())
                return false;
            x = insideX - static_cast<int>(border);
            y = insideY - static_cast<int>(border);
        }
        const long outerWidth = static_cast<long>(width) + 2L * border;
        const long outerHeight = static_cast<long>(height) + 2L * border;
        rect = Rect{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                    static_cast<std::int32_t>(x + outerWidth), static_cast<std::int32_t>(y + outerHeight)};
        return true;
    }

    std::uint32_t currentProcessId() override { return static_cast<std::uint32_t>(getpid()); }

    // _NET_WM_PID where the client set it, else the process the server knows
    // for the connection that made the window (local clients only).
    std::uint32_t windowProcessId(WindowHandle window) override {
        if (!usable() || window == kNoWindow) return 0;
        const Window client = clientOf(toWindow(window));
        if (const std::uint32_t claimed = cardinalProperty(client, netWmPid_); claimed != 0) return claimed;
        return resourcePid(client);
    }

    // Mapped with every ancestor, and drawn: an input-only window shows
    // nothing to capture.
    bool isVisible(WindowHandle window) override {
        if (!usable() || window == kNoWindow) return false;
        Requests requests;
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display_, toWindow(window), &attributes) == 0 || !requests.ok()) return false;
        return attributes.map_state == IsViewable && attributes.c_class == InputOutput;
    }

    // A window whose input shape (or bounding shape, which clips it) is
    // empty takes no pointer input: it goes to what lies below.
    bool isClickThrough(WindowHandle window) override {
        if (!usable() || window == kNoWindow || !shape_) return false;
        if (shapeInput_ && shapeEmpty(toWindow(window), ShapeInput)) return true;
        return shapeEmpty(toWindow(window), ShapeBounding);
    }

    // The class part of WM_CLASS.
    std::u16string className(WindowHandle window, int capacity) override {
        if (!usable() || window == kNoWindow || capacity <= 0) return {};
        Requests requests;
        XClassHint hint{};
        std::u16string name;
        if (XGetClassHint(display_, clientOf(toWindow(window)), &hint) != 0 && requests.ok() &&
            hint.res_class != nullptr)
            name = latin1ToUtf16(hint.res_class, capacity);
        if (hint.res_name != nullptr) XFree(hint.res_name);
        if (hint.res_class != nullptr) XFree(hint.res_class);
        return name;
    }

    AccResult accessibleObject(WindowHandle window, AccRole, AccObject& object) override {
        object = AccObject{};
        if (!usable()) return kAccFail;
        return accessibility_.accessibleObject(window, object);
    }
    AccResult childCount(AccObject object, std::int32_t& count) override {
        return accessibility_.childCount(object, count);
    }
    AccResult children(AccObject object, std::int32_t start, std::int32_t count,
                       std::vector<AccVariant>& children) override {
        return accessibility_.children(object, start, count, children);
    }
    AccResult queryAccessible(AccDispatch dispatch, AccObject& object) override {
        return accessibility_.queryAccessible(dispatch, object);
    }
    AccResult location(AccObject object, const AccVariant& child, AccLocation& location) override {
        return accessibility_.location(object, child, location);
    }
    AccResult hitTest(AccObject object, std::int32_t x, std::int32_t y, AccVariant& answer) override {
        return accessibility_.hitTest(object, x, y, answer);
    }
    void release(AccObject object) override { accessibility_.release(object); }
    void release(AccDispatch dispatch) override { accessibility_.release(dispatch); }

private:
    // The pointer on the root window of the default screen; false when it is
    // on another screen or the server does not answer.
    bool pointer(std::int32_t& x, std::int32_t& y) {
        Requests requests;
        Window root = None, child = None;
        int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
        unsigned int buttons = 0;
        const Bool onScreen =
            XQueryPointer(display_, root_, &root, &child, &rootX, &rootY, &windowX, &windowY, &buttons);
        if (!requests.ok() || onScreen == False) return false;
        x = rootX;
        y = rootY;
        return true;
    }

    // Opens the display DISPLAY names, unless the one open is it and alive.
    bool connect() {
        const char* named = std::getenv("DISPLAY");
        const std::string wanted = named != nullptr ? named : "";
        if (display_ != nullptr && (g_lost || wanted != displayName_)) disconnect();
        if (display_ != nullptr) return true;
        if (wanted.empty()) return false;
        Requests requests;
        Display* display = XOpenDisplay(wanted.c_str());
        if (display == nullptr) return false;
        g_ours = display;
        g_lost = false;
        XSetIOErrorExitHandler(display, &onConnectionLost, nullptr);
        display_ = display;
        displayName_ = wanted;
        root_ = DefaultRootWindow(display);
        netWmPid_ = XInternAtom(display, "_NET_WM_PID", False);
        wmState_ = XInternAtom(display, "WM_STATE", False);
        atSpiBus_ = XInternAtom(display, "AT_SPI_BUS", False);
        int event = 0, error = 0, major = 0, minor = 0;
        shape_ = XShapeQueryExtension(display, &event, &error) != 0 && XShapeQueryVersion(display, &major, &minor) != 0;
        shapeInput_ = shape_ && (major > 1 || (major == 1 && minor >= 1));
        resources_ = XResQueryExtension(display, &event, &error) != 0 &&
                     XResQueryVersion(display, &major, &minor) != 0 && (major > 1 || (major == 1 && minor >= 2));
        if (!requests.ok()) {
            disconnect();
            return false;
        }
        return true;
    }

    void disconnect() {
        if (display_ != nullptr) {
            Requests requests;
            XCloseDisplay(display_);
        }
        display_ = nullptr;
        g_ours = nullptr;
        g_lost = false;
        displayName_.clear();
        topLevel_.clear();
        geometries_.clear();
        clients_.clear();
    }

    // WindowFacts (windowRect and windowProcessId are the Desktop's).
    bool contentBox(WindowHandle window, Rect& box) override {
        if (!usable() || window == kNoWindow) return false;
        const Window content = clientOf(toWindow(window));
        Requests requests;
        Window root = None, child = None;
        int x = 0, y = 0, rootX = 0, rootY = 0;
        unsigned int width = 0, height = 0, border = 0, depth = 0;
        if (XGetGeometry(display_, content, &root, &x, &y, &width, &height, &border, &depth) == 0 ||
            XTranslateCoordinates(display_, content, root_, 0, 0, &rootX, &rootY, &child) == 0 || !requests.ok())
            return false;
        box = Rect{rootX, rootY, static_cast<std::int32_t>(rootX + static_cast<long>(width)),
                   static_cast<std::int32_t>(rootY + static_cast<long>(height))};
        return true;
    }

    // Only read in an X11 session: under Wayland the address is not kept on
    // the X server of the compatibility layer.
    std::string accessibilityBusProperty() override {
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        if (!usable() || (wayland != nullptr && *wayland != '\0')) return {};
        const Property bus = readProperty(root_, atSpiBus_, 1024, AnyPropertyType);
        std::string value;
        if (bus.read && bus.format == 8) value.assign(reinterpret_cast<const char*>(bus.data.get()), bus.items);
        return value;
    }

    bool usable() const { return display_ != nullptr && !g_lost; }

    // The outer boxes of the root's children, asked for all at once (one
    // wait for the server, not one per window), for this enumeration. A
    // window that is gone by then is left out, and asked again if at all.
    void fetchGeometries(const std::vector<Window>& windows) {
        geometries_.clear();
        xcb_connection_t* connection = XGetXCBConnection(display_);
        if (connection == nullptr) return;
        Requests requests;
        std::vector<xcb_get_geometry_cookie_t> cookies;
        cookies.reserve(windows.size());
        for (Window window : windows)
            cookies.push_back(xcb_get_geometry(connection, static_cast<xcb_window_t>(window)));
        for (std::size_t i = 0; i < windows.size(); ++i) {
            xcb_generic_error_t* error = nullptr;
            xcb_get_geometry_reply_t* reply = xcb_get_geometry_reply(connection, cookies[i], &error);
            if (reply != nullptr) {
                const std::int32_t border = reply->border_width;
                const std::int32_t left = reply->x;
                const std::int32_t top = reply->y;
                geometries_.emplace(
                    windows[i], Rect{left, top, left + reply->width + 2 * border, top + reply->height + 2 * border});
            }
            std::free(reply);
            std::free(error);
        }
    }

    // A window property as the server holds it, up to `length` 32-bit units
    // of it; `read` false when the request failed or the window has no such
    // property (of `type`, unless AnyPropertyType).
    struct Property {
        bool read = false;
        Atom type = None;
        int format = 0;
        unsigned long items = 0;
        std::unique_ptr<unsigned char, int (*)(void*)> data{nullptr, &XFree};
    };
    Property readProperty(Window window, Atom property, long length, Atom type) {
        Requests requests;
        Property result;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        const int status = XGetWindowProperty(display_, window, property, 0, length, False, type, &result.type,
                                              &result.format, &result.items, &after, &data);
        result.data.reset(data);
        result.read = status == Success && requests.ok() && result.type != None &&
                      (type == AnyPropertyType || result.type == type) && (length == 0 || data != nullptr);
        return result;
    }

    bool hasProperty(Window window, Atom property) { return readProperty(window, property, 0, AnyPropertyType).read; }

    // A 32-bit CARDINAL property; 0 when missing.
    std::uint32_t cardinalProperty(Window window, Atom property) {
        const Property cardinal = readProperty(window, property, 1, XA_CARDINAL);
        // Xlib hands 32-bit items out as longs.
        if (!cardinal.read || cardinal.format != 32 || cardinal.items < 1) return 0;
        return static_cast<std::uint32_t>(*reinterpret_cast<const unsigned long*>(cardinal.data.get()));
    }

    std::uint32_t resourcePid(Window window) {
        if (!resources_) return 0;
        Requests requests;
        XResClientIdSpec client{window, XRES_CLIENT_ID_PID_MASK};
        long count = 0;
        XResClientIdValue* ids = nullptr;
        std::uint32_t pid = 0;
        if (XResQueryClientIds(display_, 1, &client, &count, &ids) == Success && requests.ok()) {
            for (long i = 0; i < count && pid == 0; ++i) {
                const pid_t found = XResGetClientPid(&ids[i]);
                if (found > 0) pid = static_cast<std::uint32_t>(found);
            }
        }
        if (ids != nullptr) XResClientIdsDestroy(count, ids);
        return pid;
    }

    bool shapeEmpty(Window window, int kind) {
        Requests requests;
        int count = 0, ordering = 0;
        XRectangle* rects = XShapeGetRectangles(display_, window, kind, &count, &ordering);
        const bool answered = requests.ok();
        if (rects != nullptr) XFree(rects);
        return answered && count == 0;
    }

    // The window that stands for a top-level one: itself, or where it is a
    // window manager's frame the client inside it (the nearest window with
    // WM_STATE, breadth first, no deeper than frames go). Child windows stand
    // for themselves.
    Window clientOf(Window window) {
        if (topLevel_.count(window) == 0) return window;
        const auto known = clients_.find(window);
        if (known != clients_.end()) return known->second;
        Window client = window;
        if (!hasProperty(window, wmState_)) {
            constexpr int kFrameDepth = 3;
            std::deque<std::pair<Window, int>> pending{{window, 0}};
            bool found = false;
            while (!pending.empty() && !found) {
                const auto [parent, depth] = pending.front();
                pending.pop_front();
                if (depth >= kFrameDepth) continue;
                for (Window child : childrenTopFirst(display_, parent)) {
                    if (hasProperty(child, wmState_)) {
                        client = child;
                        found = true;
                        break;
                    }
                    pending.emplace_back(child, depth + 1);
                }
            }
        }
        clients_.emplace(window, client);
        return client;
    }

    Display* display_ = nullptr;
    std::string displayName_;
    Window root_ = None;
    Atom netWmPid_ = None;
    Atom wmState_ = None;
    Atom atSpiBus_ = None;
    bool shape_ = false;
    bool shapeInput_ = false;
    bool resources_ = false;
    // The root's children as the last enumeration saw them with their boxes,
    // and the clients found for them during this search.
    std::unordered_set<Window> topLevel_;
    std::unordered_map<Window, Rect> geometries_;
    std::unordered_map<Window, Window> clients_;
    x11::Accessibility accessibility_{*this};
};

}  // namespace

Desktop& systemDesktop() {
    static X11Desktop desktop;
    return desktop;
}

}  // namespace dorvane
