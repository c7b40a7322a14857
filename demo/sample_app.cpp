// A stand-in for the installed application that the updater maintains. It
// reads version.txt beside its executable, notes its start in halvora.log in
// the same folder, and then stays running for a while (the updater has to end
// running copies before it replaces files), so an update can be watched from
// the outside: the log tells which version was started when. It ends early
// when a file named halvora.stop appears beside it, which lets a script end
// the copy the updater started without knowing its process.
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const fs::path dir = fs::absolute(fs::path(argc > 0 ? argv[0] : "")).parent_path();
    std::string version = "unknown";
    if (std::ifstream in(dir / "version.txt"); in) std::getline(in, version);

    // Ends by itself, so a demonstration never leaves it behind for long. The
    // updater starts it without arguments, so the time can also come from the
    // environment it inherits.
    int seconds = 120;
    if (const char* stay = std::getenv("HALVORA_STAY_SECONDS")) seconds = std::atoi(stay);
    if (argc > 2 && std::string(argv[1]) == "--stay") seconds = std::atoi(argv[2]);

    const std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    std::ofstream(dir / "halvora.log", std::ios::app) << stamp << " Halvora " << version << " started\n";
    std::cout << "Halvora " << version << " running from " << dir.string() << std::endl;

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::error_code ignored;
    while (std::chrono::steady_clock::now() < end) {
        if (fs::exists(dir / "halvora.stop", ignored)) {
            std::ofstream(dir / "halvora.log", std::ios::app) << "Halvora " << version << " stopped on request\n";
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
}
