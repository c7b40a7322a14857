#include "support/test_support.h"

#include "core/paths.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace example {
namespace testing {

std::string ScratchDirectory::operator/(const std::string& relative) const {
    return joinPath(path_, relative);
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(fs::u8path(normalizeSeparators(path)), std::ios::binary);
    out << content;
}

std::string readFile(const std::string& path) {
    std::ifstream in(fs::u8path(normalizeSeparators(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return fs::is_regular_file(fs::u8path(normalizeSeparators(path)), ignored);
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
