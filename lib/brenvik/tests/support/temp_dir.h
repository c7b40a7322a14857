#pragma once
// A fresh directory below the system's temporary directory, removed again
// when the test ends, and small file helpers for the client tests.

#include <filesystem>
#include <string>

namespace brenvik::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The directory as the client takes it, with '/' separators.
    std::string str() const { return path_.generic_string(); }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

}  // namespace brenvik::testing
