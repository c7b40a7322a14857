#include "install/output_file.h"

namespace example {

std::string systemPath(const std::string& path) { return path; }

std::FILE* openOutputFile(const std::string& path) {
    std::FILE* stream = nullptr;
    if (fopen_s(&stream, path.c_str(), "wb") != 0) return nullptr;
    return stream;
}

int existingPermissions(const std::string&) { return -1; }

void restorePermissions(const std::string&, int) {}

}  // namespace example
