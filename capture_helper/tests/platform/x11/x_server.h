#pragma once
// A private X server for a test (Xvfb, never the session's display), found
// through -displayfd so that parallel tests each get a free display, and a
// helper process that owns windows on it.

#include <sys/types.h>

#include <string>
#include <vector>

namespace dorvane::testing {

class XServer {
public:
    XServer() = default;
    ~XServer() { stop(); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Starts Xvfb with one 1280 x 1024 screen; false (with the reason in
    // error()) if it did not come up.
    bool start();
    void stop();
    // ":N", for DISPLAY.
    const std::string& name() const { return name_; }
    const std::string& error() const { return error_; }

private:
    pid_t pid_ = -1;
    std::string name_;
    std::string error_;
};

// dorvane_x_window_owner with the given window arguments, on the display in
// DISPLAY; kept until stop() (or the test process's end, which closes its
// standard input).
class WindowOwner {
public:
    WindowOwner() = default;
    ~WindowOwner() { stop(); }
    WindowOwner(const WindowOwner&) = delete;
    WindowOwner& operator=(const WindowOwner&) = delete;

    // True once it has said its windows are there.
    bool start(const std::vector<std::string>& windows);
    void stop();
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int input_ = -1;
};

}  // namespace dorvane::testing
