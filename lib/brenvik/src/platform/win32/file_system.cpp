#include "../file_system.h"

#include <windows.h>

#include <direct.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace brenvik::platform {

PathKind pathKind(const std::string& path) {
    struct _stat64i32 status {};
    if (_stat64i32(path.c_str(), &status) != 0) {
        return PathKind::Missing;
    }
    return (status.st_mode & _S_IFDIR) != 0 ? PathKind::Directory : PathKind::Other;
}

bool makeDirectory(const std::string& path) {
    return _mkdir(path.c_str()) == 0;
}

std::FILE* openForWriting(const std::string& path) {
    // A link where the file goes is replaced by a file of its own, not
    // written through.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileA(path.c_str());
    }
    std::FILE* file = nullptr;
    if (fopen_s(&file, path.c_str(), "wb") != 0) {
        return nullptr;
    }
    return file;
}

}  // namespace brenvik::platform
