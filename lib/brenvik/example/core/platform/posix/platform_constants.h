#pragma once
// The names, limits and error numbers of the updater on POSIX. The same
// header in platform/win32 gives the Windows ones; CMake puts one of the two
// on the include path.

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>

namespace example {

// Size of every buffer that receives a path from the platform. An answer of
// this length or more counts as a failure, as does an empty one.
inline constexpr std::size_t kPathBufferSize = PATH_MAX;

// What joinPath puts between two parts.
inline constexpr char kPathSeparator = '/';

// Ends each line of the usage text and of console messages.
inline constexpr char kLineEnd[] = "\n";

inline constexpr char kProgramFileName[] = "example";
inline constexpr char kHelperExeName[] = "brenvik_apply_helper";

// The arguments of the usage text's examples, before the optional URL.
inline constexpr char kUsageExampleArguments[] = "/opt/Halvora ./downloads /opt/Halvora/Halvora 1.0.0";

// The call named when starting the target fails.
inline constexpr char kStartProcessCall[] = "posix_spawn";

// The errno values that stand where Windows has these Win32 numbers.
enum : std::uint32_t {
    kErrorFileNotFound = ENOENT,
    kErrorPathNotFound = ENOENT,
    kErrorAccessDenied = EACCES,
    kErrorSharingViolation = ETXTBSY,
    kErrorDiskFull = ENOSPC,
};

}  // namespace example
