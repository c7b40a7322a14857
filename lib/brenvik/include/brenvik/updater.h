#pragma once
// The update client: asks the update server whether a newer version exists
// and downloads the files it lists. Failures are returned as UpdateResult
// codes with a last-error text; nothing is thrown apart from std::bad_alloc.
//
// An Updater belongs to one thread at a time. Each instance performs the
// transfer library's global set-up and tear-down, so creating or destroying
// one must not overlap with transfers running on other threads.

#include <memory>
#include <string>

#include <brenvik/update_types.h>

namespace brenvik {

class Updater {
public:
    Updater();
    ~Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // Setters store their argument as given; nothing is validated.
    void setCurrentVersion(const std::string& version);
    void setServerUrl(const std::string& url);
    void setDownloadDir(const std::string& dir);
    void setTimeout(int seconds);          // whole-transfer limit of the check, 0 = none
    void setDownloadTimeout(int seconds);  // whole-transfer limit of each download, 0 = none
    void setProgressCallback(ProgressCallback callback);
    void setLogCallback(LogCallback callback);

    // POSTs {"client_version", "system"} to the server URL and parses the reply.
    CheckResultPair checkForUpdates();
    // Downloads every entry below the download directory, in order, stopping
    // at the first failure. A name ending in '/' or '\' creates a directory.
    DownloadResultPair downloadUpdates(const VersionInfo& versionInfo);
    // checkForUpdates, then downloadUpdates when an update is offered.
    CheckResultPair checkAndDownload();

    // Text of the most recent failure; a success never clears it.
    std::string getLastError() const;

    // Fixed text of a result code; "Unknown Error" outside the known range.
    static std::string errorToString(UpdateResult code);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace brenvik
