#pragma once
// A private X server for a test (Xvfb, never the session's display), found
// through -displayfd so that parallel tests each get a free display, and a
// helper process that owns windows on it.

#include <sys/types.h>

#include <string>
#include <vector>

namespace dorvane::testing {

// Starts a program that says where it can be reached as the first line it
// writes to a descriptor of its own (Xvfb's display number, a bus's
// address): each "{fd}" in `args` stands for that descriptor's number. Its
// standard streams are /dev/null; `ownGroup` puts it in a process group of
// its own, led by it. The pid, or -1 with the reason in `error`; `line` is
// empty when nothing came within `seconds`.
pid_t startAnnouncing(std::vector<std::string> args, bool ownGroup, int seconds, std::string& line, std::string& error);

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

// A helper program of the test's with its standard input and output on
// pipes (its input is held until stop()), that says "ready" as its first line
// of output once it has done what it is there for.
class HelperProcess {
public:
    HelperProcess() = default;
    ~HelperProcess() { stop(); }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // True once it said so within 30 seconds; what followed "ready" on that
    // line is in detail().
    bool start(std::vector<std::string> argv);
    // Closes its input, which tells it to leave, and waits for that (ending
    // it if it hangs).
    void stop();
    // Ends it at once, as a crash would.
    void kill();
    pid_t pid() const { return pid_; }
    const std::string& detail() const { return detail_; }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    std::string detail_;
};

// dorvane_x_window_owner with the given window arguments, on the display in
// DISPLAY; kept until stop() (or the test process's end, which closes its
// standard input).
class WindowOwner : public HelperProcess {
public:
    bool start(const std::vector<std::string>& windows);
};

}  // namespace dorvane::testing
