// The display of a helper run on Linux: the worker thread feeds an event
// queue that this (main) thread renders as a terminal view on standard error.
//
// Exit codes:
//   0    the run succeeded (up to date, nothing to do, or updated) and the
//        target was started again
//   2    the run failed; the last line on standard error says why
//   3    the run succeeded but the target could not be started again
//   128+n  ended by signal n (Ctrl+C gives 130); while files are being
//        applied the signal takes effect once applying has ended

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "ui/helper_view.h"
#include "ui/posix/event_queue.h"
#include "ui/posix/terminal_view.h"
#include "ui/worker_thread.h"
#include "worker/close_guard.h"

namespace example {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitRunFailed = 2;
constexpr int kExitRestartFailed = 3;

volatile sig_atomic_t g_stopSignal = 0;

extern "C" void onStopSignal(int signalNumber) {
    g_stopSignal = signalNumber;
}

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking read returns to look at the flag
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

void writeToStandardError(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

[[noreturn]] void endNow(int code) {
    std::fflush(stderr);
    // A worker may still be running; static destructors must not pull its
    // data away underneath it.
    std::_Exit(code);
}

// Waits for Enter on an interactive standard input, as a user closes a
// window. Returns early on a stop signal or end of input.
void waitForEnter(TerminalView& view) {
    if (!::isatty(STDIN_FILENO)) return;
    view.note("Press Enter to close.");
    for (;;) {
        if (g_stopSignal != 0) return;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&input, 1, 200);
        if (ready <= 0) continue;
        char byte = 0;
        const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
        if (got <= 0 || byte == '\n') return;
    }
}

}  // namespace

int runHelperView(void* /*instance*/, int /*showCommand*/, const HelperViewHooks& hooks) {
    EventQueue queue;
    setMessageSink(&queue);
    installStopHandlers();
    TerminalView view(writeToStandardError, ::isatty(STDERR_FILENO) != 0);

    WorkerThread worker;
    worker.start(hooks.workerBody);

    bool closeRequested = false;
    for (;;) {
        if (g_stopSignal != 0 && !closeRequested) {
            if (closeGuard().requestClose()) endNow(128 + g_stopSignal);
            closeRequested = true;
            view.note("Stopping once the files being applied are complete...");
        }
        DisplayEvent event;
        if (!queue.waitNext(event, std::chrono::milliseconds(100))) continue;
        if (event.kind == DisplayEvent::Kind::Log) {
            view.appendLogLine(event.line);
            continue;
        }
        if (event.kind == DisplayEvent::Kind::Progress) {
            view.showProgress(event.progress);
            continue;
        }

        const FinishAction action = view.applyFinish(event.finish);
        if (closeRequested) endNow(128 + g_stopSignal);
        int code = kExitRunFailed;
        if (action == FinishAction::CloseNow) {
            code = kExitSuccess;
        } else if (action == FinishAction::RestartThenClose) {
            std::string launchError;
            const bool launched = hooks.launchTarget && hooks.launchTarget(launchError);
            view.applyLaunchResult(launched, launchError);
            code = launched ? kExitSuccess : kExitRestartFailed;
        }
        if (code != kExitSuccess) waitForEnter(view);
        if (g_stopSignal != 0) endNow(128 + g_stopSignal);

        // The finish is the worker's last message; give it a moment to tear
        // down its client, and its thread to end, before the process exits.
        const bool ended = worker.finish(std::chrono::seconds(2));
        setMessageSink(nullptr);
        if (!ended) endNow(code);
        return code;
    }
}

}  // namespace example
