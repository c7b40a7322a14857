// brenvik_update_server [--host H] [--port N] <release directory>
//
// Serves one release directory to the updater. Prints "listening on
// <host>:<port>" once bound (with --port 0 the port is a free one), then one
// access-log line per request. SIGINT and SIGTERM end it cleanly.

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>

#include "release.h"
#include "update_server.h"

namespace {

int usage(const char* why) {
    std::cerr << "brenvik_update_server: " << why << "\n"
              << "usage: brenvik_update_server [--host HOST] [--port PORT] RELEASE_DIR\n"
              << "  HOST defaults to 127.0.0.1, PORT to 8002 (0 picks a free port);\n"
              << "  RELEASE_DIR holds manifest.json and the files it lists.\n";
    return 2;
}

bool parsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    port = std::stoi(text);
    return port <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
    std::string host = "127.0.0.1";
    int port = 8002;
    std::string releaseDirectory;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--host" || arg == "--port") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--host") {
                host = value;
            } else if (!parsePort(value, port)) {
                return usage("bad port");
            }
        } else if (arg == "--help" || arg == "-h") {
            usage("serves an update release");
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && releaseDirectory.empty()) {
            releaseDirectory = arg;
        } else {
            return usage(("unexpected argument " + arg).c_str());
        }
    }
    if (releaseDirectory.empty()) {
        return usage("no release directory");
    }
    std::string error;
    if (!brenvik::server::loadRelease(releaseDirectory, error)) {
        std::cerr << "brenvik_update_server: " << error << "\n";
        return 1;
    }

    // Signals go to one waiting thread only, which stops the server from
    // ordinary code instead of a signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    brenvik::server::UpdateServer server(releaseDirectory, std::cout);
    const int bound = server.bind(host, port);
    if (bound < 0) {
        std::cerr << "brenvik_update_server: cannot listen on " << host << ":" << port << "\n";
        return 1;
    }
    std::cout << "listening on " << host << ":" << bound << std::endl;

    std::thread waiter([&server, &stopSignals] {
        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
    });
    const bool served = server.run();
    if (!served) {
        // Wake the waiter so it can be joined.
        pthread_kill(waiter.native_handle(), SIGTERM);
    }
    waiter.join();
    std::cout << "stopped" << std::endl;
    return served ? 0 : 1;
}
