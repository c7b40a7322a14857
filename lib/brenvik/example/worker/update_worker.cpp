#include "worker/update_worker.h"

#include <algorithm>
#include <exception>
#include <vector>

#include <brenvik/updater.h>

#include "core/app_options.h"
#include "core/paths.h"
#include "install/apply_updates.h"
#include "install/output_file.h"
#include "worker/close_guard.h"

namespace example {

namespace {

constexpr int kCheckTimeoutSeconds = 10;
constexpr int kDownloadTimeoutSeconds = 300;

std::string describeCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "unknown exception";
    }
}

// The steps of one run. `stage` names the step in progress, so that an
// exception thrown out of it can be reported by name.
class UpdateRun {
public:
    explicit UpdateRun(RunObserver& observer) : observer_(observer) {}
    void run();
    const char* stage() const { return stage_; }
    // The one finish of the run; the message comes before the two flags.
    void finish(bool success, const std::string& message, bool restartTarget, bool closeWindow);

private:
    RunObserver& observer_;
    const char* stage_ = "preparing the update";
};

void UpdateRun::finish(bool success, const std::string& message, bool restartTarget, bool closeWindow) {
    FinishInfo info;
    info.success = success;
    info.restartTarget = restartTarget;
    info.closeWindow = closeWindow;
    info.message = message;
    observer_.finish(info);
}

void UpdateRun::run() {
    const AppOptions& options = g_appOptions;
    if (!createDirectoryTree(options.downloadDir)) {
        finish(false, "Failed to create download directory: " + options.downloadDir, false, false);
        return;
    }

    brenvik::Updater updater;
    updater.setCurrentVersion(options.currentVersion);
    updater.setServerUrl(options.updateUrl);
    updater.setDownloadDir(options.downloadDir);
    updater.setTimeout(kCheckTimeoutSeconds);
    updater.setDownloadTimeout(kDownloadTimeoutSeconds);
    updater.setLogCallback([this](const std::string& line) {
        if (shouldShowLogLine(line)) observer_.logLine(line);
    });
    ProgressBridge bridge;
    updater.setProgressCallback(
        [this, &bridge](const std::string& name, std::uint32_t received, std::uint32_t expected, double percent) {
            observer_.progress(bridge.report(name, received, expected, percent));
        });

    stage_ = "the update check";
    const brenvik::CheckResultPair checkResultPair = updater.checkForUpdates();
    const brenvik::VersionInfo versionInfo = checkResultPair.second;
    if (checkResultPair.first != brenvik::UpdateResult::Success) {
        finish(false, "Update check failed: " + updater.getLastError(), true, false);
        return;
    }
    if (versionInfo.hasUpdate == 0) {
        finish(true, "Already using the latest version.", true, false);
        return;
    }

    const auto fileCount = static_cast<std::uint32_t>(versionInfo.updateFiles.size());
    bridge.setTotalFiles(static_cast<std::int32_t>(fileCount));
    observer_.logLine("Latest version: " + versionInfo.latestVersion);
    observer_.logLine("Files to download: " + toDecimalString(fileCount));
    if (fileCount == 0) {
        finish(true, "Update found, but no files were returned.", true, false);
        return;
    }

    stage_ = "the download";
    const brenvik::DownloadResultPair downloadResultPair = updater.downloadUpdates(versionInfo);
    const std::string count = toDecimalString(static_cast<std::uint32_t>(downloadResultPair.second));
    if (downloadResultPair.first != brenvik::UpdateResult::Success) {
        finish(false, "Download failed after " + count + " file(s): " + updater.getLastError(), true, false);
        return;
    }

    std::vector<std::string> filenames;
    filenames.reserve(versionInfo.updateFiles.size());
    for (const brenvik::UpdateFileInfo& file : versionInfo.updateFiles) filenames.push_back(file.fileName);

    stage_ = "applying the update";
    std::string applyError;
    bool applied = false;
    {
        ApplyScope scope(closeGuard());
        if (!scope.active()) {
            // The user closed the display before applying began; the process
            // is ending, so the program directory is left untouched.
            finish(false, "Update cancelled before applying files.", false, false);
            return;
        }
        applied = applyUpdates(filenames, options.downloadDir, options.programDir, observer_, applyError);
        // The program is started again next: a copy that is new in this
        // release arrives with a download's permissions, not a program's.
        if (applied) makeExecutable(options.targetExePath);
    }
    if (!applied) {
        finish(false, "Downloaded " + count + " file(s), but apply failed: " + applyError, true, false);
        return;
    }
    finish(true, "Downloaded and applied " + count + " file(s).", true, false);
}

}  // namespace

void updateWorkerMain(RunObserver& observer) {
    UpdateRun run(observer);
    try {
        run.run();
    } catch (...) {
        // Without this the display would wait for a finish that never comes.
        // Reporting may itself fail when memory is exhausted; then there is
        // nothing left to report with.
        try {
            run.finish(false,
                       std::string("Update stopped by an exception during ") + run.stage() + ": " +
                           describeCurrentException(),
                       false, false);
        } catch (...) {
        }
    }
}

bool shouldShowLogLine(const std::string& line) {
    static const char* const hidden[] = {"http://", "https://", "Sending POST data", "client_version", "system"};
    return std::none_of(std::begin(hidden), std::end(hidden),
                        [&line](const char* text) { return line.find(text) != std::string::npos; });
}

std::string toDecimalString(std::uint32_t value) {
    return std::to_string(value);
}

ProgressInfo ProgressBridge::report(const std::string& name, std::uint32_t received, std::uint32_t expected,
                                    double percent) {
    if (name != currentFilename_) {
        currentFilename_ = name;
        ++currentFileIndex_;
    }
    ProgressInfo progress;
    // Truncation toward zero after adding a half rounds the non-negative range.
    const double scaled = percent * 10.0 + 0.5;
    std::int32_t permille = 0;
    if (scaled >= 1000.0) {
        permille = 1000;
    } else if (scaled > 0.0) {
        permille = static_cast<std::int32_t>(scaled);
    }
    progress.currentPermille = permille;
    if (totalFiles_ > 0 && currentFileIndex_ > 0) {
        progress.overallPermille = ((currentFileIndex_ - 1) * 1000 + permille) / totalFiles_;
    }
    progress.fileIndex = currentFileIndex_;
    progress.fileCount = totalFiles_;
    progress.downloadedBytes = received;
    progress.totalBytes = expected;
    progress.fileName = name;
    return progress;
}

}  // namespace example
