// Directories on the Win32 ANSI calls, which read both separators.
#include "platform/directory.h"

#include <windows.h>

namespace brenvik::rules::platform {

std::string systemPath(const std::string& path) {
    return path;
}

bool isDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

MakeDirectoryResult makeDirectory(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) {
        return MakeDirectoryResult::Created;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS ? MakeDirectoryResult::AlreadyExists : MakeDirectoryResult::Failed;
}

}  // namespace brenvik::rules::platform
