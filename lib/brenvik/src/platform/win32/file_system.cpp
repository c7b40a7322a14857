#include "../file_system.h"

#include <windows.h>

namespace brenvik::platform {

std::FILE* openForWriting(const std::string& path) {
    // A link where the file goes is replaced by a file of its own, not
    // written through.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        // Left in place, the link would be opened below and its target
        // emptied and written.
        if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            return nullptr;
        }
    }
    std::FILE* file = nullptr;
    if (fopen_s(&file, path.c_str(), "wb") != 0) {
        return nullptr;
    }
    return file;
}

}  // namespace brenvik::platform
