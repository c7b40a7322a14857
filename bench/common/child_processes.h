#pragma once
// Child processes of a benchmark (a server, a download tool) that must not
// outlive it, whichever way it ends:
//   - a normal end or an error: the owner kills them by PID and waits;
//   - SIGINT, SIGTERM or SIGHUP: a thread of this process receives the
//     signal, kills every child still registered, runs the cleanup (say,
//     removing the work folder) and exits with 128 + the signal;
//   - a crash or SIGKILL of the benchmark: each child has asked the kernel
//     to send it SIGKILL when its parent dies (PR_SET_PDEATHSIG).
// Each child runs in a process group of its own, so a Ctrl-C in the terminal
// reaches only the benchmark, which then ends the children itself, and
// killing the group also ends whatever the child started.
//
//   bench::ChildProcesses::install([&] { fs::remove_all(work); });
//   const pid_t child = bench::ChildProcesses::fork();
//   if (child == 0) { ... exec or serve, then _exit ... }
//   ...
//   bench::ChildProcesses::stop(child);

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

class ChildProcesses {
public:
    // Call once, early in main, before other threads start: they inherit the
    // blocked stop signals, so only the waiting thread receives them.
    static void install(std::function<void()> cleanup) {
        State& state = instance();
        state.cleanup = std::move(cleanup);
        sigset_t signals = stopSignals();
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);
        std::thread([signals] {
            int received = 0;
            sigwait(&signals, &received);
            State& s = instance();
            {
                std::lock_guard<std::mutex> lock(s.mutex);
                s.stopping = true;
                for (const pid_t child : s.children) killGroup(child);
            }
            if (s.cleanup) s.cleanup();
            _exit(128 + received);
        }).detach();
    }

    // fork(), with the child registered (in the parent) and prepared (in the
    // child): its own process group, SIGKILL when the parent dies, the stop
    // signals unblocked again. Returns what fork() returns.
    static pid_t fork() {
        State& state = instance();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.stopping) return -1;
        const pid_t parent = getpid();
        const pid_t child = ::fork();
        if (child == 0) {
            setpgid(0, 0);
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            // The parent may have died before the request took hold.
            if (getppid() != parent) _exit(1);
            sigset_t signals = stopSignals();
            pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
            return 0;
        }
        if (child > 0) {
            setpgid(child, child);  // either side may run first
            state.children.insert(child);
        }
        return child;
    }

    // Waits for `child` to end by itself; returns its wait status.
    static int wait(pid_t child) {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        forget(child);
        // A child killed by a stop signal is no failure to report: the
        // signal's thread is about to end the process with its own status.
        while (stopping()) pause();
        return status;
    }

    // Ends `child` (with its group) and waits for it.
    static void stop(pid_t child, int signal = SIGKILL) {
        if (child <= 0) return;
        {
            std::lock_guard<std::mutex> lock(instance().mutex);
            if (instance().children.count(child) == 0) return;
            killGroup(child, signal);
        }
        wait(child);
    }

private:
    struct State {
        std::mutex mutex;
        std::set<pid_t> children;
        bool stopping = false;
        std::function<void()> cleanup;
    };
    static State& instance() {
        static State state;
        return state;
    }
    static sigset_t stopSignals() {
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGHUP);
        return signals;
    }
    static bool stopping() {
        std::lock_guard<std::mutex> lock(instance().mutex);
        return instance().stopping;
    }
    static void killGroup(pid_t child, int signal = SIGKILL) {
        kill(-child, signal);
        kill(child, signal);
    }
    static void forget(pid_t child) {
        std::lock_guard<std::mutex> lock(instance().mutex);
        instance().children.erase(child);
    }
};

}  // namespace bench
