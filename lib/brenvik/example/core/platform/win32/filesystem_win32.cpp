// File-system layer on the Win32 ANSI calls.
#include "core/paths.h"
#include "core/platform.h"

#include <windows.h>

namespace example {
namespace platform {

namespace {

// Platform answers of 0, or of the buffer size and more, are failures.
bool acceptLength(DWORD length, const char* buffer, std::string& out) {
    if (length == 0 || length >= kPathBufferSize) {
        return false;
    }
    out.assign(buffer, length);
    return true;
}

}  // namespace

bool queryExecutablePath(std::string& out) {
    char buffer[kPathBufferSize] = {};
    return acceptLength(GetModuleFileNameA(nullptr, buffer, kPathBufferSize), buffer, out);
}

bool queryCurrentDirectory(std::string& out) {
    char buffer[kPathBufferSize] = {};
    return acceptLength(GetCurrentDirectoryA(kPathBufferSize, buffer), buffer, out);
}

bool queryFullPath(const std::string& path, std::string& out) {
    char buffer[kPathBufferSize] = {};
    return acceptLength(GetFullPathNameA(path.c_str(), kPathBufferSize, buffer, nullptr), buffer, out);
}

bool isLink(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace platform

std::uint32_t moveFileReplacing(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return 0;
    }
    return GetLastError();
}

std::uint32_t copyFileReplacing(const std::string& from, const std::string& to) {
    if (CopyFileA(from.c_str(), to.c_str(), FALSE)) {
        return 0;
    }
    return GetLastError();
}

}  // namespace example
