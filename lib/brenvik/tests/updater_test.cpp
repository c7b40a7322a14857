#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include <brenvik/updater.h>

#include "support/temp_dir.h"
#include "support/test_http_server.h"

namespace brenvik {
namespace {

namespace fs = std::filesystem;
using testing::Reply;
using testing::TempDir;
using testing::TestHttpServer;
using Lines = std::vector<std::string>;

const char kExpectedBody[] = "{\n\t\"client_version\" : \"1.0.0\",\n\t\"system\" : \"windows\"\n}";

class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override {
        updater.setCurrentVersion("1.0.0");
        updater.setDownloadDir(downloadDir());
        updater.setLogCallback([this](const std::string& line) { log.push_back(line); });
        server.reply("/a.bin", Reply{200, "content a"});
        server.reply("/b.bin", Reply{200, "content b"});
        server.reply("/gone", Reply{404, "not here"});
    }

    std::string downloadDir() const { return dir.str() + "/dl"; }

    UpdateFileInfo entry(const std::string& name, const std::string& path) const {
        UpdateFileInfo file;
        file.fileName = name;
        file.downloadUrl = server.url(path);
        return file;
    }

    TestHttpServer server;
    TempDir dir;
    Updater updater;
    Lines log;
};

TEST_F(UpdaterTest, CheckWithoutServerUrlSendsNothing) {
    const CheckResultPair result = updater.checkForUpdates();
    EXPECT_EQ(result.first, UpdateResult::InvalidUrl);
    EXPECT_EQ(result.second.currentVersion, "");
    EXPECT_EQ(updater.getLastError(), "Update server URL not set");
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(UpdaterTest, CheckLogsEachOutcome) {
    server.reply("/none", Reply{200, R"({"has_update": false})"});
    server.reply("/empty", Reply{200, R"({"has_update": true, "latest_version": "2.0", "update_files": []})"});
    server.reply("/no-content", Reply{204, ""});
    server.reply("/broken", Reply{200, "{"});

    const struct {
        const char* path;
        UpdateResult result;
        Lines tail;  // lines after the two opening ones (a parse failure adds its own)
    } cases[] = {
        {"/none", UpdateResult::Success, {"Received response, parsing...", "No updates available"}},
        {"/empty",
         UpdateResult::Success,
         {"Received response, parsing...", "Update available: 2.0 (current: 1.0.0)", "Found 0 files to download"}},
        {"/no-content", UpdateResult::NetworkError, {"Failed to check for updates: HTTP error code: 204"}},
        {"/broken", UpdateResult::ParseError, {"Received response, parsing..."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        log.clear();
        const std::string url = server.url(c.path);
        updater.setServerUrl(url);
        const CheckResultPair result = updater.checkForUpdates();
        EXPECT_EQ(result.first, c.result);
        Lines expected = {"Checking for updates from: " + url, std::string("Sending POST data: ") + kExpectedBody};
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        if (c.result == UpdateResult::ParseError) {
            expected.push_back("Failed to parse version response: " + updater.getLastError());
            EXPECT_EQ(updater.getLastError().rfind("JSON parse error: ", 0), 0u);
        }
        EXPECT_EQ(log, expected);
    }
    const auto requests = server.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].contentType, "application/json");
    EXPECT_EQ(requests[0].body, kExpectedBody);
}

TEST_F(UpdaterTest, CheckAndDownloadWithoutUpdate) {
    server.reply("/none",
                 Reply{200, R"({"has_update": false, "update_files": [{"file_name": "a", "download_url": "u"}]})"});
    updater.setServerUrl(server.url("/none"));
    const CheckResultPair result = updater.checkAndDownload();
    EXPECT_EQ(result.first, UpdateResult::Success);
    EXPECT_EQ(result.second.updateFiles.size(), 1u);
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[3], "No updates available");
    EXPECT_EQ(log[4], "No updates to download");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(UpdaterTest, SuccessDoesNotClearLastError) {
    updater.checkForUpdates();  // no URL yet
    server.reply("/none", Reply{200, "{}"});
    updater.setServerUrl(server.url("/none"));
    EXPECT_EQ(updater.checkForUpdates().first, UpdateResult::Success);
    EXPECT_EQ(updater.getLastError(), "Update server URL not set");
}

TEST_F(UpdaterTest, NothingToDownloadNeedsNoDirectory) {
    updater.setDownloadDir("");
    EXPECT_EQ(updater.downloadUpdates(VersionInfo{}), DownloadResultPair(UpdateResult::Success, 0));
    EXPECT_EQ(log, Lines{"No files to download"});

    VersionInfo info;
    info.updateFiles.push_back(entry("a.bin", "/a.bin"));
    EXPECT_EQ(updater.downloadUpdates(info), DownloadResultPair(UpdateResult::FileError, 0));
    EXPECT_EQ(updater.getLastError(), "Download directory not set");
    EXPECT_EQ(log.size(), 1u);
}

TEST_F(UpdaterTest, SecondOfThreeFailingStopsTheRun) {
    VersionInfo info;
    info.updateFiles = {entry("a.bin", "/a.bin"), entry("sub/gone.bin", "/gone"), entry("b.bin", "/b.bin")};
    EXPECT_EQ(updater.downloadUpdates(info), DownloadResultPair(UpdateResult::DownloadFailed, 1));
    const Lines expected = {
        "Starting download of 3 files",
        "Downloading [1/3]: a.bin",
        "Successfully downloaded: a.bin",
        "Downloading [2/3]: sub/gone.bin",
        "Failed to download sub/gone.bin: Download HTTP error code: 404",
    };
    EXPECT_EQ(log, expected);
    EXPECT_EQ(testing::readFile(dir.path() / "dl" / "a.bin"), "content a");
    EXPECT_EQ(testing::readFile(dir.path() / "dl" / "sub" / "gone.bin"), "not here");
    EXPECT_FALSE(fs::exists(dir.path() / "dl" / "b.bin"));
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(UpdaterTest, PlainFileInTheParentPathFailsTheEntry) {
    fs::create_directories(dir.path() / "dl");
    testing::writeFile(dir.path() / "dl" / "blocker", "x");
    VersionInfo info;
    info.updateFiles = {entry("a.bin", "/a.bin"), entry("blocker/inner/b.bin", "/b.bin")};
    EXPECT_EQ(updater.downloadUpdates(info), DownloadResultPair(UpdateResult::FileError, 1));
    EXPECT_EQ(updater.getLastError(), "Failed to create parent directory: " + downloadDir() + "/blocker/inner");
    EXPECT_EQ(log.back(), "Successfully downloaded: a.bin");
}

TEST_F(UpdaterTest, UnsafeNamesAreRefusedBeforeAnythingIsWritten) {
    for (const char* name : {"../escape.bin", "sub/../../escape.bin", "sub\\..\\..\\escape.bin", "/abs.bin",
                             "\\abs.bin", "C:escape.bin"}) {
        SCOPED_TRACE(name);
        log.clear();
        VersionInfo info;
        info.updateFiles = {entry("a.bin", "/a.bin"), entry(name, "/b.bin")};
        EXPECT_EQ(updater.downloadUpdates(info), DownloadResultPair(UpdateResult::FileError, 1));
        const std::string reason = std::string("Unsafe file name: ") + name;
        EXPECT_EQ(updater.getLastError(), reason);
        EXPECT_EQ(log.back(), std::string("Failed to download ") + name + ": " + reason);
    }
    // Only the download directory holding a.bin appeared.
    std::vector<fs::path> created;
    for (const auto& item : fs::recursive_directory_iterator(dir.path())) {
        created.push_back(item.path().lexically_relative(dir.path()));
    }
    EXPECT_EQ(created, (std::vector<fs::path>{"dl", fs::path("dl") / "a.bin"}));
    for (const auto& request : server.requests()) {
        EXPECT_EQ(request.path, "/a.bin");
    }
}

TEST_F(UpdaterTest, DirectoryItemsAndBackslashNames) {
    int progressCalls = 0;
    std::string progressName;
    updater.setProgressCallback([&](const std::string& name, std::uint32_t, std::uint32_t, double) {
        ++progressCalls;
        progressName = name;
    });
    updater.setDownloadDir(downloadDir() + "/");
    VersionInfo info;
    info.updateFiles = {entry("plugins/", "/gone"), entry("bin\\x.dll", "/a.bin"), entry("deep\\dir\\", "/gone")};
    EXPECT_EQ(updater.downloadUpdates(info), DownloadResultPair(UpdateResult::Success, 3));
    const Lines expected = {
        "Starting download of 3 files",         "Downloading [1/3]: plugins/",
        "Successfully downloaded: plugins/",    "Downloading [2/3]: bin\\x.dll",
        "Successfully downloaded: bin\\x.dll",  "Downloading [3/3]: deep\\dir\\",
        "Successfully downloaded: deep\\dir\\", "All files downloaded successfully",
    };
    EXPECT_EQ(log, expected);
    EXPECT_TRUE(fs::is_directory(dir.path() / "dl" / "plugins"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "dl" / "deep" / "dir"));
    EXPECT_EQ(testing::readFile(dir.path() / "dl" / "bin" / "x.dll"), "content a");
    EXPECT_GT(progressCalls, 0);
    EXPECT_EQ(progressName, "bin\\x.dll");
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(UpdaterTest, DirectoryItemBlockedByAFileFails) {
    fs::create_directories(dir.path() / "dl");
    testing::writeFile(dir.path() / "dl" / "plugins", "x");
    VersionInfo info;
    info.updateFiles = {entry("plugins/", "/gone")};
    EXPECT_EQ(updater.downloadUpdates(info).first, UpdateResult::FileError);
    EXPECT_EQ(updater.getLastError(), "Failed to create parent directory: " + downloadDir() + "/plugins");
}

}  // namespace
}  // namespace brenvik
