#include "support/test_support.h"

#include "core/paths.h"

#include <thread>

namespace fs = std::filesystem;

namespace example {
namespace testing {

std::string ScratchDirectory::operator/(const std::string& relative) const {
    return joinPath(path_, relative);
}

namespace {
fs::path hostPath(const std::string& path) {
    return fs::u8path(normalizeSeparators(path));
}
}  // namespace

void writeFile(const std::string& path, const std::string& content) {
    brenvik::testing::writeFile(hostPath(path), content);
}

std::string readFile(const std::string& path) {
    return brenvik::testing::readFile(hostPath(path));
}

bool fileExists(const std::string& path) {
    return brenvik::testing::fileExists(hostPath(path));
}

bool makeDirectoryLink(const std::string& target, const std::string& link) {
    std::error_code error;
    std::filesystem::create_directory_symlink(normalizeSeparators(target), normalizeSeparators(link), error);
    return !error;
}

void removeDirectoryLink(const std::string& link) {
    std::error_code error;
    std::filesystem::remove(normalizeSeparators(link), error);
}

std::string siblingProgram(const std::string& name) {
    const std::string withSuffix = joinPath(executableDirectory(), name + ".exe");
    return fileExists(withSuffix) ? withSuffix : joinPath(executableDirectory(), name);
}

std::vector<std::string> waitForRecordedArguments(const std::string& directory, std::chrono::milliseconds timeout) {
    const std::string file = joinPath(directory, "argv.txt");
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fileExists(file)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::vector<std::string> arguments;
    const std::string content = readFile(file);
    std::string::size_type position = 0;
    while (position < content.size()) {
        const auto colon = content.find(':', position);
        const std::size_t length = std::stoul(content.substr(position, colon - position));
        arguments.push_back(content.substr(colon + 1, length));
        position = colon + 1 + length + 1;
    }
    return arguments;
}

}  // namespace testing
}  // namespace example
