#pragma once
// Whether this platform refuses to write a file that has no write permission
// for anyone. Real Windows and POSIX do (the updater's copies refuse such a
// file even for root); Wine keeps the read-only attribute as missing write
// permission, which a process running as root writes through anyway.

namespace brenvik::rules::testing {

bool readOnlyFilesAreEnforced();

}  // namespace brenvik::rules::testing
