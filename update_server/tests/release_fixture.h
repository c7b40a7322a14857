#pragma once
// A release directory for the server tests, removed when the test ends.

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace brenvik::server::testing {

class ReleaseFixture {
public:
    ReleaseFixture() {
        write("Halvora.exe", "new program");
        write("bin/x.dll", std::string(300000, 'd'));
        write("data file.txt", "");
        manifest(R"({"latest_version": "1.10.0", "release_notes": "Faster",
                     "files": ["Halvora.exe", "plugins/", "bin\\x.dll", "data file.txt"]})");
    }
    void write(const std::string& name, const std::string& content) const {
        brenvik::testing::writeFile(path() / name, content);
    }
    void manifest(const std::string& text) const { write("manifest.json", text); }
    std::string dir() const { return path().string(); }
    const std::filesystem::path& path() const { return root_.path(); }

private:
    brenvik::testing::TempDir root_;
};

}  // namespace brenvik::server::testing
