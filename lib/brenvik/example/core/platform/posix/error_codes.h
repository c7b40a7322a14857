#pragma once
// Translation of errno values into the Win32 error numbers that the updater
// reports on every platform.

#include <cstdint>

namespace example {
namespace platform {

enum : std::uint32_t {
    kErrorDirectoryName = 267,  // ERROR_DIRECTORY: not a usable directory
};

// The Win32 number for an errno value; 0 for 0.
std::uint32_t win32ErrorFromErrno(int error);

// The same, for a failure while opening or creating something inside a
// directory: a missing component there means the path, not the file, is
// missing.
std::uint32_t win32PathErrorFromErrno(int error);

}  // namespace platform
}  // namespace example
