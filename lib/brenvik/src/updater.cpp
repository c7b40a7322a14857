#include <brenvik/updater.h>

#include <json/json.h>

#include "client_paths.h"
#include "reply_parser.h"
#include "transport.h"

namespace brenvik {

struct Updater::Impl {
    std::string currentVersion;
    std::string serverUrl;
    std::string downloadDir;
    int timeout = 10;
    int downloadTimeout = 300;
    ProgressCallback progressCallback;
    LogCallback logCallback;
    std::string lastError;
    const bool initialized;

    Impl() : initialized(detail::globalInit()) {}
    ~Impl() {
        if (initialized) {
            detail::globalCleanup();
        }
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void log(const std::string& message) const {
        if (logCallback) {
            logCallback(message);
        }
    }

    std::string buildRequestBody() const {
        Json::Value root;
        root["client_version"] = currentVersion;
        root["system"] = "windows";
        Json::StreamWriterBuilder builder;
        return Json::writeString(builder, root);
    }

    UpdateResult httpPost(const std::string& url, const std::string& postData, std::string& response) {
        return detail::httpPost(url, postData, response, timeout, lastError);
    }

    UpdateResult downloadFile(const std::string& url, const std::string& filepath, const std::string& fileName) {
        return detail::downloadFile(url, filepath, fileName, downloadTimeout, progressCallback, lastError);
    }

    UpdateResult parseVersionResponse(const std::string& response, VersionInfo& versionInfo) {
        return detail::parseVersionResponse(response, currentVersion, versionInfo, lastError);
    }

    // Fetches one entry, or creates it when its name stands for a directory.
    UpdateResult fetchEntry(const UpdateFileInfo& file, const std::string& filepath) {
        if (!detail::namesDirectory(file.fileName)) {
            return downloadFile(file.downloadUrl, filepath, file.fileName);
        }
        if (!detail::createDirectories(filepath)) {
            lastError = "Failed to create directory: " + filepath;
            return UpdateResult::FileError;
        }
        return UpdateResult::Success;
    }
};

Updater::Updater() : impl_(std::make_unique<Impl>()) {}

Updater::~Updater() = default;

void Updater::setCurrentVersion(const std::string& version) {
    impl_->currentVersion = version;
}
void Updater::setServerUrl(const std::string& url) {
    impl_->serverUrl = url;
}
void Updater::setDownloadDir(const std::string& dir) {
    impl_->downloadDir = dir;
}
void Updater::setTimeout(int seconds) {
    impl_->timeout = seconds;
}
void Updater::setDownloadTimeout(int seconds) {
    impl_->downloadTimeout = seconds;
}
void Updater::setProgressCallback(ProgressCallback callback) {
    impl_->progressCallback = std::move(callback);
}
void Updater::setLogCallback(LogCallback callback) {
    impl_->logCallback = std::move(callback);
}

std::string Updater::getLastError() const {
    return impl_->lastError;
}

CheckResultPair Updater::checkForUpdates() {
    VersionInfo versionInfo;
    if (impl_->serverUrl.empty()) {
        impl_->lastError = "Update server URL not set";
        return {UpdateResult::InvalidUrl, versionInfo};
    }
    const std::string postData = impl_->buildRequestBody();
    const std::string url = impl_->serverUrl;
    impl_->log("Checking for updates from: " + url);
    impl_->log("Sending POST data: " + postData);

    std::string response;
    const UpdateResult posted = impl_->httpPost(url, postData, response);
    if (posted != UpdateResult::Success) {
        impl_->log("Failed to check for updates: " + impl_->lastError);
        return {posted, versionInfo};
    }
    impl_->log("Received response, parsing...");
    if (impl_->parseVersionResponse(response, versionInfo) != UpdateResult::Success) {
        impl_->log("Failed to parse version response: " + impl_->lastError);
        return {UpdateResult::ParseError, versionInfo};
    }
    if (versionInfo.hasUpdate != 0) {
        impl_->log("Update available: " + versionInfo.latestVersion + " (current: " + impl_->currentVersion + ")");
        impl_->log("Found " + std::to_string(versionInfo.updateFiles.size()) + " files to download");
    } else {
        impl_->log("No updates available");
    }
    return {UpdateResult::Success, versionInfo};
}

DownloadResultPair Updater::downloadUpdates(const VersionInfo& versionInfo) {
    const auto& files = versionInfo.updateFiles;
    if (files.empty()) {
        impl_->log("No files to download");
        return {UpdateResult::Success, 0};
    }
    if (impl_->downloadDir.empty()) {
        impl_->lastError = "Download directory not set";
        return {UpdateResult::FileError, 0};
    }
    if (!detail::createDirectories(impl_->downloadDir)) {
        impl_->lastError = "Failed to create download directory: " + impl_->downloadDir;
        return {UpdateResult::FileError, 0};
    }
    const std::string total = std::to_string(files.size());
    impl_->log("Starting download of " + total + " files");

    int successCount = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const UpdateFileInfo& file = files[i];
        // The name comes from the server; one that climbs out of the download
        // directory is refused before anything of it touches the disk.
        if (isUnsafeFileName(file.fileName)) {
            impl_->lastError = "Unsafe file name: " + file.fileName;
            impl_->log("Failed to download " + file.fileName + ": " + impl_->lastError);
            return {UpdateResult::FileError, successCount};
        }
        const std::string filepath = detail::downloadTarget(impl_->downloadDir, file.fileName);
        const std::string parentDirectory = detail::getParentDirectory(filepath);
        if (!parentDirectory.empty() && !detail::createDirectories(parentDirectory)) {
            impl_->lastError = "Failed to create parent directory: " + parentDirectory;
            return {UpdateResult::FileError, successCount};
        }
        impl_->log("Downloading [" + std::to_string(i + 1) + "/" + total + "]: " + file.fileName);
        const UpdateResult fetched = impl_->fetchEntry(file, filepath);
        if (fetched != UpdateResult::Success) {
            impl_->log("Failed to download " + file.fileName + ": " + impl_->lastError);
            return {fetched, successCount};
        }
        ++successCount;
        impl_->log("Successfully downloaded: " + file.fileName);
    }
    impl_->log("All files downloaded successfully");
    return {UpdateResult::Success, successCount};
}

CheckResultPair Updater::checkAndDownload() {
    const CheckResultPair checked = checkForUpdates();
    if (checked.first != UpdateResult::Success) {
        return checked;
    }
    const VersionInfo& versionInfo = checked.second;
    if (versionInfo.hasUpdate != 0) {
        const DownloadResultPair downloaded = downloadUpdates(versionInfo);
        return {downloaded.first, versionInfo};
    }
    impl_->log("No updates to download");
    return {UpdateResult::Success, versionInfo};
}

std::string Updater::errorToString(UpdateResult code) {
    switch (code) {
    case UpdateResult::Success:
        return "Success";
    case UpdateResult::NetworkError:
        return "Network Error";
    case UpdateResult::ParseError:
        return "Parse Error";
    case UpdateResult::FileError:
        return "File Error";
    case UpdateResult::VersionCheckFailed:
        return "Version Check Failed";
    case UpdateResult::DownloadFailed:
        return "Download Failed";
    case UpdateResult::InvalidUrl:
        return "Invalid URL";
    case UpdateResult::CurlInitFailed:
        return "CURL Initialization Failed";
    }
    return "Unknown Error";
}

}  // namespace brenvik
