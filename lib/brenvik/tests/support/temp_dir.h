#pragma once
// What most test programs of the tree need around the code they test: a
// fresh scratch directory below the system's temporary directory, removed
// again when the test ends, and small whole-file helpers.

#include <filesystem>
#include <string>

namespace brenvik::testing {

class TempDir {
public:
    TempDir();
    // Removes the directory with everything in it, read-only files included
    // (which Windows would otherwise refuse to delete).
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The directory with '/' separators, as the code under test takes paths.
    std::string str() const { return path_.generic_string(); }

private:
    std::filesystem::path path_;
};

// The whole file; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
// Replaces the file's contents, creating its directory first.
void writeFile(const std::filesystem::path& path, const std::string& content);
bool fileExists(const std::filesystem::path& path);

}  // namespace brenvik::testing
