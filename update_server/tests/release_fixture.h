#pragma once
// A release directory for the server tests, removed when the test ends.

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

namespace brenvik::server::testing {

class ReleaseFixture {
public:
    ReleaseFixture() {
        static int counter = 0;
        root_ = std::filesystem::temp_directory_path() /
                ("brenvik-release-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(root_ / "bin");
        write("Halvora.exe", "new program");
        write("bin/x.dll", std::string(300000, 'd'));
        write("data file.txt", "");
        manifest(R"({"latest_version": "1.10.0", "release_notes": "Faster",
                     "files": ["Halvora.exe", "plugins/", "bin\\x.dll", "data file.txt"]})");
    }
    ~ReleaseFixture() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    void write(const std::string& name, const std::string& content) const {
        std::ofstream(root_ / name, std::ios::binary) << content;
    }
    void manifest(const std::string& text) const { write("manifest.json", text); }
    std::string dir() const { return root_.string(); }
    const std::filesystem::path& path() const { return root_; }

private:
    std::filesystem::path root_;
};

}  // namespace brenvik::server::testing
