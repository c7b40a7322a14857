#pragma once
// The names, limits and error numbers of the updater on Windows. The same
// header in platform/posix gives the POSIX ones; CMake puts one of the two
// on the include path.

#include <cstddef>
#include <cstdint>

namespace example {

// Size of every buffer that receives a path from the platform (MAX_PATH). An
// answer of this length or more counts as a failure, as does an empty one.
inline constexpr std::size_t kPathBufferSize = 260;

// What joinPath puts between two parts.
inline constexpr char kPathSeparator = '\\';

// Ends each line of the usage text and of console messages.
inline constexpr char kLineEnd[] = "\r\n";

inline constexpr char kProgramFileName[] = "example.exe";
inline constexpr char kHelperExeName[] = "brenvik_apply_helper.exe";

// The arguments of the usage text's examples, before the optional URL.
inline constexpr char kUsageExampleArguments[] = "C:\\Halvora .\\downloads C:\\Halvora\\Halvora.exe 1.0.0";

// The call named when starting the target fails.
inline constexpr char kStartProcessCall[] = "CreateProcessA";

// Win32 error numbers that portable code and tests refer to.
enum : std::uint32_t {
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorAccessDenied = 5,
    kErrorSharingViolation = 32,
    kErrorDiskFull = 112,
};

}  // namespace example
