#pragma once
// Value types shared by the update client and its callers: one downloadable
// file, the parsed answer of an update check, the result codes and the two
// callback types. All strings are byte strings, used as the server sent them.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace brenvik {

// One entry of the server's "update_files" list.
struct UpdateFileInfo {
    std::string fileName;        // path relative to the download directory; '/' or '\' separate levels
    std::string downloadUrl;     // URL fetched for this file
    std::string version;         // carried, never interpreted
    std::uint32_t fileSize = 0;  // carried, never compared with the download
    std::string fileMd5;         // carried, never verified
};

// The parsed answer of one update check.
struct VersionInfo {
    std::string currentVersion;  // the client's configured version, not read from the reply
    std::string latestVersion;
    std::int32_t hasUpdate = 0;  // 1 when the server offers an update
    std::vector<UpdateFileInfo> updateFiles;
    std::string releaseNotes;
};

// Result of every client operation. VersionCheckFailed exists for
// completeness; no operation returns it.
enum class UpdateResult : std::int32_t {
    Success = 0,
    NetworkError = 1,
    ParseError = 2,
    FileError = 3,
    VersionCheckFailed = 4,
    DownloadFailed = 5,
    InvalidUrl = 6,
    CurlInitFailed = 7,
};

// checkForUpdates / checkAndDownload: the VersionInfo is meaningful on Success.
using CheckResultPair = std::pair<UpdateResult, VersionInfo>;
// downloadUpdates: the number of files finished before the operation ended.
using DownloadResultPair = std::pair<UpdateResult, int>;

// Called once per log line of the client, on the thread running the operation.
using LogCallback = std::function<void(const std::string& message)>;
// Called during a download while the total size is known. The byte counts are
// the low 32 bits of the transfer's counters; percent uses the full counters.
using ProgressCallback =
    std::function<void(const std::string& fileName, std::uint32_t downloaded, std::uint32_t total, double percent)>;

}  // namespace brenvik
