// brenvik_update_server [--host H] [--port N] [--workers N] [--public-url URL]
//                       <release directory>
// brenvik_update_server --write-manifest DIR --version X [--notes TEXT]
//                       [--exclude PATTERN]... [--force]
//
// Serves one release directory to the updater. Computes the MD5 of every
// listed file first (progress on stderr), then prints "listening on
// <host>:<port>" (with --port 0 the port is a free one), then one access-log
// line per request. SIGINT and SIGTERM end it cleanly, without waiting for
// running downloads.
//
// With --write-manifest it serves nothing: it lists the files of DIR into
// DIR/manifest.json (see manifest_writer.h) and prints what it listed.

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>
#include <vector>

#include "command_line.h"
#include "manifest_writer.h"
#include "release.h"
#include "update_server.h"

namespace {

constexpr std::size_t kMaxWorkers = 4096;
constexpr const char* kProgram = "brenvik_update_server";

int writeManifest(const brenvik::server::ManifestRequest& request) {
    using Kind = brenvik::server::ManifestItem::Kind;
    std::vector<brenvik::server::ManifestItem> items;
    std::string error;
    if (!brenvik::server::writeManifest(request, items, error)) {
        std::cerr << kProgram << ": " << error << "\n";
        return 1;
    }
    for (const auto& item : items) {
        const char* action = item.kind == Kind::directory ? "create" : item.kind == Kind::archive ? "unpack" : "copy";
        std::cout << "  " << action << std::string(8 - std::string(action).size(), ' ') << item.name << "\n";
        const auto slash = item.name.rfind('/');
        if (item.kind == Kind::archive && slash != std::string::npos) {
            std::cerr << kProgram << ": note: " << item.name
                      << " is unpacked into the program directory itself, not into " << item.name.substr(0, slash + 1)
                      << "\n";
        }
    }
    const std::string written = (std::filesystem::path(request.directory) / "manifest.json").string();
    std::cout << "wrote " << written << ": version " << request.version << ", " << items.size()
              << (items.size() == 1 ? " item" : " items") << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string host = "127.0.0.1";
    int port = 8002;
    brenvik::server::ServerOptions options;
    brenvik::server::ManifestRequest manifest;

    const std::string workersHelp = "connections served at once (default " + std::to_string(options.workers) +
                                    ", at most " + std::to_string(kMaxWorkers) + ")";
    brenvik::cli::OptionParser parser(
        kProgram,
        "[OPTION]... RELEASE_DIR\n"
        "--write-manifest DIR --version VERSION [--notes TEXT] [--exclude PATTERN]... [--force]",
        "Serves the release in RELEASE_DIR (manifest.json and the files it lists) to the updater,\n"
        "or with --write-manifest lists the files of DIR into DIR/manifest.json.");
    parser.text("host", "HOST", "address to listen on (default 127.0.0.1)", host)
        .number("port", "PORT", "port to listen on (default 8002; 0 picks a free one)", 0, 65535, port)
        .number("workers", "N", workersHelp.c_str(), 1, kMaxWorkers, options.workers)
        .custom("public-url", "URL",
                "start of the download URLs in check replies, e.g. https://cdn.example.com/halvora\n"
                "(default: http:// and the request's Host header)",
                [&options](const std::string& value) {
                    const std::string problem = brenvik::server::checkPublicUrl(value);
                    if (problem.empty()) options.publicUrl = value;
                    return problem;
                })
        .text("write-manifest", "DIR", "write DIR/manifest.json for the files in DIR instead of serving",
              manifest.directory)
        .text("version", "VERSION", "the release's dotted version, e.g. 1.2.0 (with --write-manifest)",
              manifest.version)
        .text("notes", "TEXT", "the release notes (with --write-manifest)", manifest.notes)
        .texts("exclude", "PATTERN",
               "leave out files and folders whose name matches PATTERN, or whose path\n"
               "does when PATTERN has a '/' (with --write-manifest; repeatable)",
               manifest.excludes)
        .flag("force", "replace an existing manifest.json (with --write-manifest)", manifest.replace);
    std::vector<std::string> operands;
    if (const auto status = parser.parse(argc, argv, operands, 0, 1, "RELEASE_DIR")) return *status;

    const bool writing = parser.given("write-manifest");
    for (const char* name : {"host", "port", "workers", "public-url"}) {
        if (writing && parser.given(name)) {
            return parser.fail(std::string("--") + name + " does not go with --write-manifest");
        }
    }
    for (const char* name : {"version", "notes", "exclude", "force"}) {
        if (!writing && parser.given(name)) {
            return parser.fail(std::string("--") + name + " goes only with --write-manifest");
        }
    }
    if (writing) {
        if (!operands.empty()) return parser.fail("unexpected argument " + operands[0]);
        if (!parser.given("version")) return parser.fail("--write-manifest needs --version");
        return writeManifest(manifest);
    }
    if (operands.empty()) return parser.fail("missing RELEASE_DIR");
    const std::string releaseDirectory = operands[0];
    std::string error;
    if (!brenvik::server::loadRelease(releaseDirectory, error)) {
        std::cerr << kProgram << ": " << error << "\n";
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
        std::cerr << kProgram << ": " << server.bindError() << "\n";
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
