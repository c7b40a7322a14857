// Owns windows for the X11 window-search test in a process of its own, on
// the X server that DISPLAY names: creates them where its arguments say,
// prints "ready" once the server has them, and keeps them until its
// standard input closes.
//   dorvane_x_window_owner WINDOW...
// Each WINDOW is x,y,width,height,kind[,class]. Kinds: plain; clickthrough
// (an empty input shape); unmapped; child (a child of the last window that is
// not one, at x,y inside it). Top-level windows carry _NET_WM_PID and
// WM_CLASS "dorvane_test" with the class (default DorvaneTestPlain).

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Placed {
    int x = 0, y = 0, width = 0, height = 0;
    std::string kind;
    std::string className = "DorvaneTestPlain";
};

bool parse(const char* text, Placed& placed) {
    std::vector<std::string> fields;
    std::stringstream stream(text);
    for (std::string field; std::getline(stream, field, ',');) fields.push_back(field);
    if (fields.size() < 5 || fields.size() > 6) return false;
    try {
        placed.x = std::stoi(fields[0]);
        placed.y = std::stoi(fields[1]);
        placed.width = std::stoi(fields[2]);
        placed.height = std::stoi(fields[3]);
    } catch (...) {
        return false;
    }
    placed.kind = fields[4];
    if (fields.size() == 6) placed.className = fields[5];
    const std::string& kind = placed.kind;
    return placed.width > 0 && placed.height > 0 &&
           (kind == "plain" || kind == "clickthrough" || kind == "unmapped" || kind == "child");
}

}  // namespace

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "dorvane_x_window_owner: cannot open the display\n");
        return 3;
    }
    const Window root = DefaultRootWindow(display);
    const Atom netWmPid = XInternAtom(display, "_NET_WM_PID", False);
    const unsigned long pid = static_cast<unsigned long>(getpid());
    Window parent = None;
    for (int i = 1; i < argc; ++i) {
        Placed placed;
        if (!parse(argv[i], placed)) {
            std::fprintf(stderr, "dorvane_x_window_owner: bad window %s\n", argv[i]);
            return 2;
        }
        const bool child = placed.kind == "child";
        if (child && parent == None) return 2;
        const Window window = XCreateSimpleWindow(
            display, child ? parent : root, placed.x, placed.y, static_cast<unsigned>(placed.width),
            static_cast<unsigned>(placed.height), 0, 0, WhitePixel(display, DefaultScreen(display)));
        if (!child) {
            parent = window;
            XChangeProperty(display, window, netWmPid, XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&pid), 1);
            XClassHint hint{};
            std::string name = "dorvane_test";
            hint.res_name = &name[0];
            hint.res_class = &placed.className[0];
            XSetClassHint(display, window, &hint);
        }
        if (placed.kind == "clickthrough")
            XShapeCombineRectangles(display, window, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
        if (placed.kind != "unmapped") XMapWindow(display, window);
    }
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);
    char buffer[64];
    while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    XCloseDisplay(display);
    return 0;
}
