#pragma once
// One release directory: manifest.json beside the files it lists.
//
//   {
//     "latest_version": "1.2.0",
//     "release_notes": "What changed",
//     "files": ["Halvora.exe", "plugins/", "bin/x.dll", "pack.zip"]
//   }
//
// Names are relative to the release directory and are handed to clients as
// they stand; a name ending in '/' or '\' is a directory item with no file.
// A listed file must be a regular file inside the release directory once
// symlinks are resolved.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <json/value.h>

#include "version.h"

namespace brenvik::server {

struct ReleaseFile {
    std::string name;      // as listed in the manifest
    std::string diskPath;  // where the bytes live ('\' read as '/')
    bool isDirectory = false;
};

struct Release {
    std::string directory;  // the release directory with symlinks resolved
    std::string latestVersion;
    Version latest;
    std::string releaseNotes;
    std::vector<ReleaseFile> files;

    const ReleaseFile* find(const std::string& name) const;
};

// Reads and checks `directory`/manifest.json; on failure `error` says why.
std::optional<Release> loadRelease(const std::string& directory, std::string& error);

// The name with its "." and empty parts left out, or the name itself when it
// has none (`changed` tells which). The client asks for the URL its transfer
// library makes of the name, and that drops "./" and "//", so a name that has
// such parts could never be fetched.
std::string withoutEmptyParts(const std::string& name, bool& changed);

// True when `path` (already resolved) lies below `directory` (resolved).
bool isInsideDirectory(const std::string& path, const std::string& directory);

// Lower-case hexadecimal MD5 of a whole file; empty text when it cannot be
// read or when `cancel` becomes true while reading.
std::string md5OfFile(const std::string& path, const std::atomic<bool>* cancel = nullptr);

// Remembers file digests by path, size and modification time, so a check
// request does not read every file again.
class DigestCache {
public:
    std::string digestOf(const std::string& path);
    // Digests every file of `release` up front, writing a line to `progress`
    // when it starts, every few seconds while it runs and when it is done.
    void prepare(const Release& release, std::ostream& progress);
    // Ends a running digest early (the server is stopping); later calls
    // return empty digests without reading.
    void cancel() { cancelled_ = true; }

private:
    struct Entry {
        std::uint64_t size = 0;
        std::int64_t modified = 0;
        std::string md5;
    };
    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
    std::atomic<bool> cancelled_{false};
};

// The update-check reply for a client at `clientVersion`. Files are offered
// only when the release is newer; their URLs start with `baseUrl`.
Json::Value buildUpgradeReply(const Release& release, const Version& clientVersion, const std::string& baseUrl,
                              DigestCache& digests);

// Percent-encodes every byte of a file name except unreserved ones and '/'.
std::string encodeUrlPath(const std::string& name);

}  // namespace brenvik::server
