#include "install/output_file.h"

#include <windows.h>

#include "core/paths.h"

namespace example {

std::FILE* openTemporaryBeside(const std::string& target, std::string& temporaryPath) {
    std::string directory = parentPathOf(target);
    if (directory.empty()) directory = ".";
    // Makes the file, with a name no other file in the directory has.
    char name[MAX_PATH] = {};
    if (GetTempFileNameA(directory.c_str(), "upd", 0, name) == 0) return nullptr;
    std::FILE* stream = nullptr;
    if (fopen_s(&stream, name, "wb") != 0) {
        DeleteFileA(name);
        return nullptr;
    }
    temporaryPath = name;
    return stream;
}

void removeFile(const std::string& path) {
    DeleteFileA(path.c_str());
}

int existingPermissions(const std::string&) {
    return -1;
}

bool restorePermissions(const std::string&, int) {
    return true;
}

int newFilePermissions() {
    return -1;
}

void makeExecutable(const std::string&) {}

}  // namespace example
