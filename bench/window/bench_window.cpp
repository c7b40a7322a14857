// bench_window: how long getWndByMouse takes with 100 top-level windows.
//
//   bench_window [--calls 1000] [--runs 5] [--help]
//
// On an X server of its own (Xvfb) with a session bus of its own: 100 windows
// of another process in a 10 x 10 grid, and the tests' GTK application over
// them, on the accessibility bus. Prints the median and 99th percentile of
// one call, over all calls of all runs, for:
//  - the top-level answer with the cursor on the lowest of the 100 windows
//    (the search passes all the others first);
//  - the deep answer there (a window without accessibility);
//  - the deep answer on a button of the GTK application (through AT-SPI);
//  - xdotool getmouselocation with the cursor on the same window (a process
//    per answer, as a script would ask), the peer for the top-level answer.

#include <QRect>

#include "command_line.h"
#include "dorvane/DorvaneWindow.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/session_bus.h"
#include "platform/x11/x_server.h"
#include "statistics.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using dorvane::testing::HelperProcess;
using dorvane::testing::SessionBus;
using dorvane::testing::WindowOwner;
using dorvane::testing::XServer;

constexpr int kAppX = 100, kAppY = 100;  // the GTK application's window

struct Figures {
    double median = 0;
    double p99 = 0;
};

Figures figures(const std::vector<double>& ms) {
    return {bench::median(ms), bench::percentile(ms, 0.99)};
}

void moveCursor(Display* display, int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XSync(display, False);
}

// Milliseconds of each of `calls` calls.
void time(int calls, const std::function<void()>& call, std::vector<double>& ms) {
    for (int i = 0; i < calls; ++i) {
        const auto start = Clock::now();
        call();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
}

QRect ask(bool deep) {
    QRect rect;
    getWndByMouse(&rect, 1.0, deep);
    return rect;
}

bool runXdotool() {
    std::string program = XDOTOOL_PROGRAM, verb = "getmouselocation";
    char* argv[] = {&program[0], &verb[0], nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string describe(const QRect& rect) {
    char text[64];
    std::snprintf(text, sizeof text, "(%d, %d) %d x %d", rect.left(), rect.top(), rect.width(), rect.height());
    return text;
}

int fail(const char* what) {
    std::fprintf(stderr, "bench_window: %s\n", what);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int calls = 1000, runs = 5;
    brenvik::cli::OptionParser parser("bench_window", "[OPTION]...",
                                      "Latency of getWndByMouse with 100 windows on an X server of its own.");
    parser.number("calls", "N", "calls per run and case (default 1000)", 1, 1000000, calls)
        .number("runs", "N", "runs of each case (default 5)", 1, 1000, runs);
    std::vector<std::string> operands;
    if (const auto status = parser.parse(argc, argv, operands, 0, 0)) return *status;
    if (std::strlen(X_WINDOW_OWNER_PROGRAM) == 0 || std::strlen(GTK_FIXTURE_PROGRAM) == 0)
        return fail("needs the tests' helper programs: configure with the tests on");
    const bool withXdotool = std::strlen(XDOTOOL_PROGRAM) != 0;

    XServer server;
    if (!server.start()) return fail(server.error().c_str());
    setenv("DISPLAY", server.name().c_str(), 1);
    unsetenv("AT_SPI_BUS_ADDRESS");
    unsetenv("WAYLAND_DISPLAY");
    setenv("GSETTINGS_BACKEND", "memory", 1);
    SessionBus bus;
    if (!bus.start()) return fail(bus.error().c_str());
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    Display* display = XOpenDisplay(server.name().c_str());
    if (display == nullptr) return fail("cannot open the display");

    std::vector<std::string> grid;
    for (int row = 0; row < 10; ++row)
        for (int column = 0; column < 10; ++column)
            grid.push_back(std::to_string(column * 125) + "," + std::to_string(row * 100) + ",120,95,plain");
    WindowOwner owner;
    if (!owner.start(grid)) return fail("the window owner did not get ready");
    HelperProcess app;
    if (!app.start({GTK_FIXTURE_PROGRAM, std::to_string(kAppX), std::to_string(kAppY)}))
        return fail("the GTK application did not get ready");

    // The lowest window of the grid, and the application's first button once
    // it is on the accessibility bus.
    const int lowX = 60, lowY = 50;
    const int buttonX = kAppX + 50, buttonY = kAppY + 40;
    moveCursor(display, buttonX, buttonY);
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (ask(true).width() != 159 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    moveCursor(display, buttonX, buttonY);
    const QRect element = ask(true);
    moveCursor(display, lowX, lowY);
    const QRect window = ask(false), windowDeep = ask(true);
    std::printf("answers: top-level %s, deep %s on the lowest window; deep %s on the button\n",
                describe(window).c_str(), describe(windowDeep).c_str(), describe(element).c_str());

    std::vector<double> top, deepPlain, deepElement, xdotool;
    for (int run = 0; run < runs; ++run) {
        moveCursor(display, lowX, lowY);
        time(
            calls, [] { ask(false); }, top);
        time(
            calls, [] { ask(true); }, deepPlain);
        if (withXdotool)
            time(
                std::max(1, calls / 10), [] { runXdotool(); }, xdotool);
        moveCursor(display, buttonX, buttonY);
        time(
            calls, [] { ask(true); }, deepElement);
    }

    std::printf("\n%d runs of %d calls (xdotool: %d), 100 top-level windows on Xvfb\n\n", runs, calls,
                std::max(1, calls / 10));
    std::printf("| what | median ms | p99 ms |\n|---|---:|---:|\n");
    const auto row = [](const char* what, const Figures& f) {
        std::printf("| %s | %.3f | %.3f |\n", what, f.median, f.p99);
    };
    const Figures topFigures = figures(top);
    row("getWndByMouse, top-level", topFigures);
    row("getWndByMouse, deep, a window without accessibility", figures(deepPlain));
    row("getWndByMouse, deep, a GTK button through AT-SPI", figures(deepElement));
    if (withXdotool) {
        const Figures peer = figures(xdotool);
        row("xdotool getmouselocation (a process each)", peer);
        std::printf("\ntop-level median against xdotool's: %.3f\n", topFigures.median / peer.median);
    } else {
        std::printf("\n(xdotool is not installed: no peer figures)\n");
    }
    app.stop();
    owner.stop();
    XCloseDisplay(display);
    return 0;
}
