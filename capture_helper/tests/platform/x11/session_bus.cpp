#include "platform/x11/session_bus.h"

#include "platform/x11/x_server.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace dorvane::testing {

namespace {

bool groupGone(pid_t group) {
    return kill(-group, 0) != 0 && errno == ESRCH;
}

}  // namespace

bool SessionBus::start() {
    stop();
    group_ = startAnnouncing({DBUS_DAEMON_PROGRAM, "--session", "--nofork", "--nopidfile", "--print-address={fd}"},
                             true, 10, address_, error_);
    if (group_ < 0) return false;
    if (address_.empty()) {
        stop();
        error_ = "the session bus did not say its address";
        return false;
    }
    return true;
}

void SessionBus::stop() {
    if (group_ > 0) {
        kill(-group_, SIGTERM);
        int status = 0;
        waitpid(group_, &status, 0);
        // The buses' children are not ours to wait for; they are gone when
        // the group is empty.
        for (int i = 0; i < 100 && !groupGone(group_); ++i) usleep(20000);
        if (!groupGone(group_)) kill(-group_, SIGKILL);
        for (int i = 0; i < 100 && !groupGone(group_); ++i) usleep(20000);
    }
    group_ = -1;
    address_.clear();
}

}  // namespace dorvane::testing
