#include "temp_dir.h"

#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace brenvik::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
    // Test programs run in parallel; a name another one took is skipped.
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    do {
        path_ = base / ("brenvik-test-" + std::to_string(random()) + std::to_string(random()));
    } while (!fs::create_directory(path_));
}

TempDir::~TempDir() {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
        // A link may point out of the directory (tests plant such links);
        // changing permissions through it would change its target.
        if (entry.is_symlink(ignored)) continue;
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(path_, ignored);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& content) {
    std::error_code ignored;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool fileExists(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

}  // namespace brenvik::testing
