#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <brenvik/updater.h>
#include <httplib.h>

#include "release_fixture.h"
#include "update_server.h"

namespace brenvik::server {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The real server, in this process, on a free loopback port.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = server.bind("127.0.0.1", 0);
        ASSERT_GT(port, 0);
        thread = std::thread([this] { server.run(); });
        server_wait_ready();
    }
    void TearDown() override {
        stopServer();
        std::error_code ignored;
        fs::remove_all(downloads(), ignored);
    }
    void stopServer() {
        server.stop();
        if (thread.joinable()) thread.join();
    }
    // The access log is written on the server's threads after each response
    // has gone out, so it is read only once the server has stopped.
    std::string finalAccessLog() {
        stopServer();
        return accessLog.str();
    }
    void server_wait_ready() {
        httplib::Client probe("127.0.0.1", port);
        for (int i = 0; i < 100 && !probe.Get("/"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
    fs::path downloads() const { return release.path().string() + "-downloads"; }

    testing::ReleaseFixture release;
    std::ostringstream accessLog;
    UpdateServer server{release.dir(), accessLog};
    int port = 0;
    std::thread thread;
};

TEST(UpdateServerLifetime, StopBeforeRunStillEndsRun) {
    testing::ReleaseFixture release;
    std::ostringstream log;
    UpdateServer server{release.dir(), log};
    ASSERT_GT(server.bind("127.0.0.1", 0), 0);
    server.stop();
    std::thread runner([&server] { server.run(); });
    runner.join();  // hangs here if the early stop was lost
}

TEST_F(ServerTest, MalformedCheckBodiesGet400WithJsonError) {
    httplib::Client client("127.0.0.1", port);
    for (const char* body : {"", "{", "[1]", "{}", R"({"client_version": 1})", R"({"client_version": "abc"})"}) {
        const auto res = client.Post("/api/upgrade", body, "application/json");
        ASSERT_TRUE(res) << body;
        EXPECT_EQ(res->status, 400) << body;
        EXPECT_EQ(res->get_header_value("Content-Type"), "application/json");
        EXPECT_NE(res->body.find("\"error\""), std::string::npos) << res->body;
    }
}

TEST_F(ServerTest, OversizedCheckBodyIsRefusedUnread) {
    httplib::Client client("127.0.0.1", port);
    const std::string padded = std::string(1 << 20, ' ') + R"({"client_version": "1.0"})";
    const auto res = client.Post("/api/upgrade", padded, "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 413);
}

TEST_F(ServerTest, BrokenReleaseGives500) {
    release.manifest("{");
    httplib::Client client("127.0.0.1", port);
    const auto res = client.Post("/api/upgrade", R"({"client_version": "1.0"})", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 500);
}

TEST_F(ServerTest, FilesHaveLengthAndRanges) {
    httplib::Client client("127.0.0.1", port);
    const std::string dll(300000, 'd');

    auto res = client.Get("/files/bin%5Cx.dll");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Length"), "300000");
    EXPECT_EQ(res->body, dll);

    release.write("Halvora.exe", "0123456789");
    res = client.Get("/files/Halvora.exe", {{"Range", "bytes=2-5"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 206);
    EXPECT_EQ(res->body, "2345");
    EXPECT_EQ(res->get_header_value("Content-Range"), "bytes 2-5/10");

    for (const char* path :
         {"/files/plugins/", "/files/manifest.json", "/files/absent", "/files/..%2Fetc", "/files/a\nforged"}) {
        res = client.Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
    }
    const std::string log = finalAccessLog();
    EXPECT_NE(log.find("\"GET /files/bin\\x.dll HTTP/1.1\" 200 300000\n"), std::string::npos) << log;
    // A decoded line break in the path must not start a line of its own.
    EXPECT_NE(log.find("\"GET /files/a\\x0aforged HTTP/1.1\" 404"), std::string::npos) << log;
}

TEST_F(ServerTest, UpdaterDownloadsTheWholeRelease) {
    Updater updater;
    updater.setServerUrl(url("/api/upgrade"));
    updater.setCurrentVersion("1.9.3");
    updater.setDownloadDir(downloads().string());
    const CheckResultPair result = updater.checkAndDownload();
    ASSERT_EQ(result.first, UpdateResult::Success) << updater.getLastError();
    EXPECT_EQ(result.second.latestVersion, "1.10.0");
    EXPECT_EQ(result.second.updateFiles.size(), 4u);
    EXPECT_EQ(readFile(downloads() / "Halvora.exe"), "new program");
    EXPECT_EQ(readFile(downloads() / "bin" / "x.dll"), std::string(300000, 'd'));
    EXPECT_TRUE(fs::is_directory(downloads() / "plugins"));
    EXPECT_TRUE(fs::is_regular_file(downloads() / "data file.txt"));

    updater.setCurrentVersion("1.10.0");
    const CheckResultPair upToDate = updater.checkForUpdates();
    EXPECT_EQ(upToDate.first, UpdateResult::Success);
    EXPECT_EQ(upToDate.second.hasUpdate, 0);
    EXPECT_TRUE(upToDate.second.updateFiles.empty());
}

}  // namespace
}  // namespace brenvik::server
