// brenvik_update_server [--host H] [--port N] [--workers N] [--public-url URL]
//                       <release directory>
//
// Serves one release directory to the updater. Computes the MD5 of every
// listed file first (progress on stderr), then prints "listening on
// <host>:<port>" (with --port 0 the port is a free one), then one access-log
// line per request. SIGINT and SIGTERM end it cleanly, without waiting for
// running downloads.

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>

#include "release.h"
#include "update_server.h"

namespace {

constexpr std::size_t kMaxWorkers = 4096;

int usage(const char* why) {
    std::cerr << "brenvik_update_server: " << why << "\n"
              << "usage: brenvik_update_server [--host HOST] [--port PORT] [--workers N] [--public-url URL]"
                 " RELEASE_DIR\n"
              << "  HOST defaults to 127.0.0.1, PORT to 8002 (0 picks a free port);\n"
              << "  N connections are served at once (default " << brenvik::server::ServerOptions().workers
              << ", at most " << kMaxWorkers << ");\n"
              << "  URL starts the download URLs of check replies (default: http:// and the\n"
              << "  request's Host header), e.g. https://cdn.example.com/halvora;\n"
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

bool parseWorkers(const std::string& text, std::size_t& workers) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    workers = std::stoul(text);
    return workers >= 1 && workers <= kMaxWorkers;
}

}  // namespace

int main(int argc, char** argv) {
    std::string host = "127.0.0.1";
    int port = 8002;
    std::string releaseDirectory;
    brenvik::server::ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--host" || arg == "--port" || arg == "--workers" || arg == "--public-url") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--host") {
                host = value;
            } else if (arg == "--port") {
                if (!parsePort(value, port)) return usage("bad port");
            } else if (arg == "--workers") {
                if (!parseWorkers(value, options.workers)) return usage("bad worker count");
            } else {
                const std::string problem = brenvik::server::checkPublicUrl(value);
                if (!problem.empty()) return usage(("--public-url " + problem).c_str());
                options.publicUrl = value;
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

    brenvik::server::UpdateServer server(releaseDirectory, std::cout, options);
    const int bound = server.bind(host, port);
    if (bound < 0) {
        std::cerr << "brenvik_update_server: " << server.bindError() << "\n";
        return 1;
    }
    // Bound first, so that a port in use is reported before a long digest.
    // A stop signal during the digests ends them early.
    std::thread waiter([&server, &stopSignals] {
        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
    });
    server.computeDigests(std::cerr);
    std::cout << "listening on " << host << ":" << bound << std::endl;
    const bool served = server.run();
    if (!served) {
        // Wake the waiter so it can be joined.
        pthread_kill(waiter.native_handle(), SIGTERM);
    }
    waiter.join();
    std::cout << "stopped" << std::endl;
    return served ? 0 : 1;
}
