#include "core/platform/posix/error_codes.h"

#include <cerrno>

namespace example {
namespace platform {

namespace {

struct Translation {
    int error;
    std::uint32_t win32;
};

// The Win32 code that the matching Win32 call reports for the same situation.
constexpr Translation kTranslations[] = {
    {ENOENT, 2},          // ERROR_FILE_NOT_FOUND
    {ENOTDIR, 3},         // ERROR_PATH_NOT_FOUND
    {EMFILE, 4},          // ERROR_TOO_MANY_OPEN_FILES
    {ENFILE, 4},
    {EACCES, 5},          // ERROR_ACCESS_DENIED
    {EPERM, 5},
    {EISDIR, 5},
    {EBADF, 6},           // ERROR_INVALID_HANDLE
    {ENOMEM, 8},          // ERROR_NOT_ENOUGH_MEMORY
    {EAGAIN, 8},
    {EXDEV, 17},          // ERROR_NOT_SAME_DEVICE
    {EROFS, 19},          // ERROR_WRITE_PROTECT
    {ETXTBSY, 32},        // ERROR_SHARING_VIOLATION
    {EBUSY, 32},
    {ENOSPC, 112},        // ERROR_DISK_FULL
    {EDQUOT, 112},
    {EINVAL, 87},         // ERROR_INVALID_PARAMETER
    {ESRCH, 87},
    {ENOTEMPTY, 145},     // ERROR_DIR_NOT_EMPTY
    {EEXIST, 183},        // ERROR_ALREADY_EXISTS
    {ENOEXEC, 193},       // ERROR_BAD_EXE_FORMAT
    {ENAMETOOLONG, 206},  // ERROR_FILENAME_EXCED_RANGE
    {EFBIG, 223},         // ERROR_FILE_TOO_LARGE
    {EIO, 1117},          // ERROR_IO_DEVICE
    {ELOOP, 1921},        // ERROR_CANT_RESOLVE_FILENAME
};

constexpr std::uint32_t kGeneralFailure = 31;  // ERROR_GEN_FAILURE

}  // namespace

std::uint32_t win32ErrorFromErrno(int error) {
    if (error == 0) {
        return 0;
    }
    for (const Translation& translation : kTranslations) {
        if (translation.error == error) {
            return translation.win32;
        }
    }
    return kGeneralFailure;
}

std::uint32_t win32PathErrorFromErrno(int error) {
    return error == ENOENT ? 3 : win32ErrorFromErrno(error);
}

}  // namespace platform
}  // namespace example
