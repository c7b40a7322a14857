// The worker's outcomes against the project's update server, run in-process
// on a free port, with every reported line and the finish record checked.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>

#include "core/app_options.h"
#include "core/paths.h"
#include "running_server.h"
#include "support/temp_dir.h"
#include "recording_sink.h"
#include "worker/update_worker.h"

namespace example {
namespace {

namespace fs = std::filesystem;
using brenvik::testing::readFile;
using brenvik::testing::writeFile;
using ::testing::ElementsAreArray;

// Records what the worker reports; `onLog` may act on a line as it passes.
class RecordingObserver : public testing::RecordingSink<RunObserver> {
public:
    void progress(const ProgressInfo& progress) override { progress_.push_back(progress); }
    void finish(const FinishInfo& finish) override {
        finishes.push_back(finish);
        lines.push_back("<finish>");
    }
    std::vector<ProgressInfo> progress_;
    std::vector<FinishInfo> finishes;
};

class UpdateWorker : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(release() / "Halvora.exe", "new program");
        writeFile(release() / "bin" / "x.dll", std::string(300000, 'd'));
        writeFile(program() / "Halvora.exe", "old program");
        manifest(R"({"latest_version": "1.10.0", "files": ["Halvora.exe", "plugins/", "bin\\x.dll"]})");

        server_ = std::make_unique<brenvik::server::testing::RunningServer>(release().string());
        ASSERT_GT(server_->port, 0);

        g_appOptions = AppOptions{};
        g_appOptions.updateUrl = url("/api/upgrade");
        g_appOptions.programDir = program().string();
        g_appOptions.downloadDir = (root_ / "work" / "update_files").string();
        g_appOptions.currentVersion = "1.0.0";
    }
    fs::path release() const { return root_ / "release"; }
    fs::path program() const { return root_ / "program"; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server_->port) + path;
    }
    void manifest(const std::string& text) const { writeFile(release() / "manifest.json", text); }

    // Runs the worker and checks the single finish record it must report last.
    void runExpecting(bool success, bool restart, const std::string& message, const std::vector<std::string>& lines) {
        updateWorkerMain(sink_);
        ASSERT_EQ(sink_.finishes.size(), 1u);
        const FinishInfo& finish = sink_.finishes.front();
        EXPECT_EQ(finish.success, success);
        EXPECT_EQ(finish.restartTarget, restart);
        EXPECT_FALSE(finish.closeWindow);
        EXPECT_EQ(finish.message, message);
        std::vector<std::string> expected = lines;
        expected.push_back("<finish>");
        EXPECT_THAT(sink_.lines, ElementsAreArray(expected));
    }

    brenvik::testing::TempDir scratch_;
    const fs::path root_ = scratch_.path();
    std::unique_ptr<brenvik::server::testing::RunningServer> server_;
    RecordingObserver sink_;
};

const std::vector<std::string> kDownloadLines = {
    "Received response, parsing...",
    "Update available: 1.10.0 (current: 1.0.0)",
    "Found 3 files to download",
    "Latest version: 1.10.0",
    "Files to download: 3",
    "Starting download of 3 files",
    "Downloading [1/3]: Halvora.exe",
    "Successfully downloaded: Halvora.exe",
    "Downloading [2/3]: plugins/",
    "Successfully downloaded: plugins/",
    "Downloading [3/3]: bin\\x.dll",
    "Successfully downloaded: bin\\x.dll",
    "All files downloaded successfully",
};

TEST_F(UpdateWorker, DownloadedAndApplied) {
    // The program to start again, which the release replaces; it must be
    // runnable afterwards whatever permissions the download had.
    g_appOptions.targetExePath = (program() / "Halvora.exe").string();
    std::vector<std::string> lines = kDownloadLines;
    lines.insert(lines.end(), {"file: Halvora.exe", "dir: plugins/", "file: bin/x.dll"});
    runExpecting(true, true, "Downloaded and applied 3 file(s).", lines);
    EXPECT_EQ(readFile(program() / "Halvora.exe"), "new program");
    EXPECT_NE(fs::status(program() / "Halvora.exe").permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(fs::file_size(program() / "bin" / "x.dll"), 300000u);
    EXPECT_TRUE(fs::is_directory(program() / "plugins"));
    ASSERT_FALSE(sink_.progress_.empty());
    const ProgressInfo& last = sink_.progress_.back();
    EXPECT_EQ(last.fileName, "bin\\x.dll");
    EXPECT_EQ(last.currentPermille, 1000);
    EXPECT_EQ(last.fileCount, 3);
}

TEST_F(UpdateWorker, AlreadyUpToDate) {
    g_appOptions.currentVersion = "1.10.0";
    runExpecting(true, true, "Already using the latest version.",
                 {"Received response, parsing...", "No updates available"});
}

TEST_F(UpdateWorker, UpdateWithoutFiles) {
    manifest(R"({"latest_version": "1.10.0", "files": []})");
    runExpecting(true, true, "Update found, but no files were returned.",
                 {"Received response, parsing...", "Update available: 1.10.0 (current: 1.0.0)",
                  "Found 0 files to download", "Latest version: 1.10.0", "Files to download: 0"});
}

TEST_F(UpdateWorker, CheckFails) {
    g_appOptions.updateUrl = url("/api/elsewhere");
    runExpecting(false, true, "Update check failed: HTTP error code: 404",
                 {"Failed to check for updates: HTTP error code: 404"});
}

TEST_F(UpdateWorker, DownloadDirectoryCannotBeCreated) {
    writeFile(root_ / "blocker", "a file");
    g_appOptions.downloadDir = (root_ / "blocker" / "dl").string();
    runExpecting(false, false, "Failed to create download directory: " + g_appOptions.downloadDir, {});
}

TEST_F(UpdateWorker, SecondDownloadFails) {
    // Once the first file is in, the release loses its second entry's file.
    sink_.onLog = [this](const std::string& line) {
        if (line == "Successfully downloaded: Halvora.exe") {
            manifest(R"({"latest_version": "1.10.0", "files": ["Halvora.exe"]})");
        }
    };
    manifest(R"({"latest_version": "1.10.0", "files": ["Halvora.exe", "bin/x.dll", "other.txt"]})");
    writeFile(release() / "other.txt", "o");
    runExpecting(false, true, "Download failed after 1 file(s): Download HTTP error code: 404",
                 {"Received response, parsing...", "Update available: 1.10.0 (current: 1.0.0)",
                  "Found 3 files to download", "Latest version: 1.10.0", "Files to download: 3",
                  "Starting download of 3 files", "Downloading [1/3]: Halvora.exe",
                  "Successfully downloaded: Halvora.exe", "Downloading [2/3]: bin/x.dll",
                  "Failed to download bin/x.dll: Download HTTP error code: 404"});
    EXPECT_EQ(readFile(program() / "Halvora.exe"), "old program");
}

TEST_F(UpdateWorker, ApplyFails) {
    fs::permissions(program() / "Halvora.exe",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::string dl = g_appOptions.downloadDir;
    std::vector<std::string> lines = kDownloadLines;
    lines.push_back("file: Halvora.exe");
    runExpecting(false, true,
                 "Downloaded 3 file(s), but apply failed: Failed to copy " + joinPath(dl, "Halvora.exe") + " to " +
                     joinPath(program().string(), "Halvora.exe") + ": " + errorText(kErrorAccessDenied),
                 lines);
}

TEST_F(UpdateWorker, ExceptionEndsTheRunWithAFailureThatNamesIt) {
    sink_.onLog = [](const std::string& line) {
        if (line == "dir: plugins/") throw std::runtime_error("disk on fire");
    };
    std::vector<std::string> lines = kDownloadLines;
    lines.insert(lines.end(), {"file: Halvora.exe", "dir: plugins/"});
    runExpecting(false, false, "Update stopped by an exception during applying the update: disk on fire", lines);
}

TEST_F(UpdateWorker, SystemFileNamesStayOutOfTheLogButNotTheProgress) {
    writeFile(release() / "system.ini", std::string(1000, 's'));
    manifest(R"({"latest_version": "1.10.0", "files": ["system.ini"]})");
    runExpecting(true, true, "Downloaded and applied 1 file(s).",
                 {"Received response, parsing...", "Update available: 1.10.0 (current: 1.0.0)",
                  "Found 1 files to download", "Latest version: 1.10.0", "Files to download: 1",
                  "Starting download of 1 files", "All files downloaded successfully", "file: system.ini"});
    ASSERT_FALSE(sink_.progress_.empty());
    EXPECT_EQ(sink_.progress_.back().fileName, "system.ini");
}

}  // namespace
}  // namespace example
