// dorvane_demo mouse: asks getWndByMouse for the window under the mouse (the
// top-level rule) and the element under it (deep) twenty times a second, on
// this thread as the capture application's user-interface thread does, and
// prints both whenever either changes.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <QRect>

#include "demo_modes.h"
#include "dorvane/DorvaneWindow.h"

namespace {

std::string describe(const QRect& rect) {
    if (rect.isNull()) return "none";
    char text[96];
    std::snprintf(text, sizeof text, "(%d, %d) %d x %d", rect.left(), rect.top(), rect.width(), rect.height());
    return text;
}

bool sameRect(const QRect& a, const QRect& b) {
    return a.left() == b.left() && a.top() == b.top() && a.width() == b.width() && a.height() == b.height();
}

bool number(const char* text, double low, double high, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out >= low && out <= high;
}

int usage() {
    std::fprintf(stderr, "usage: dorvane_demo mouse [--seconds N] [--scale S] [--once]\n");
    return 1;
}

}  // namespace

int mouseMode(int argc, char** argv) {
    double seconds = 0;  // until interrupted
    double scale = 1.0;
    bool once = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            if (!number(argv[++i], 0, 86400, seconds)) {
                std::fprintf(stderr, "dorvane_demo mouse: --seconds takes a number from 0 to 86400\n");
                return 1;
            }
        } else if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
            if (!number(argv[++i], 0.1, 10, scale)) {
                std::fprintf(stderr, "dorvane_demo mouse: --scale takes a number from 0.1 to 10\n");
                return 1;
            }
        } else if (std::strcmp(argv[i], "--once") == 0) {
            once = true;
        } else {
            return usage();
        }
    }
    if (!once) std::fprintf(stderr, "move the mouse; %s\n", seconds > 0 ? "the time ends it" : "Ctrl-C ends it");

    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    QRect lastTop(1, 1, -7, -7), lastDeep(1, 1, -7, -7);  // no answer looks like these
    for (;;) {
        QRect top, deep;
        getWndByMouse(&top, scale, false);
        getWndByMouse(&deep, scale, true);
        if (!sameRect(top, lastTop) || !sameRect(deep, lastDeep)) {
            std::printf("top-level %-28s deep %s\n", describe(top).c_str(), describe(deep).c_str());
            std::fflush(stdout);
            lastTop = top;
            lastDeep = deep;
        }
        if (once) return 0;
        if (seconds > 0 && std::chrono::duration<double>(Clock::now() - started).count() >= seconds) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
