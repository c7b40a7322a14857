#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <future>
#include <sstream>
#include <thread>

#include <poll.h>

#include <brenvik/updater.h>
#include <httplib.h>
#include <json/json.h>

#include "release.h"
#include "release_fixture.h"
#include "running_server.h"
#include "slow_clients.h"
#include "update_server.h"

namespace brenvik::server {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ServerTest : public ::testing::Test {
protected:
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(downloads(), ignored);
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
    fs::path downloads() const { return release.path().string() + "-downloads"; }

    testing::ReleaseFixture release;
    testing::RunningServer running{release.dir()};
    int port = running.port;
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
    std::string nestedObjects;
    for (int i = 0; i < 2000; ++i) nestedObjects += R"({"a":)";
    const std::string bodies[] = {
        "",
        "{",
        "[1]",
        "{}",
        R"({"client_version": 1})",
        R"({"client_version": "abc"})",
        std::string(2000, '[') + std::string(2000, ']'),  // nested past the parser's own limit
        R"({"client_version": "1.0", "x":)" + nestedObjects,
    };
    for (const std::string& body : bodies) {
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
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, 413);
}

// A declared length too large is answered at once, without waiting for the
// body; a chunked body is cut off once it passes the limit.
TEST_F(ServerTest, LargeBodiesGet413AtOnce) {
    const std::string head = "POST /api/upgrade HTTP/1.1\r\nHost: h\r\n";
    const std::string chunk = "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
    const struct {
        const char* what;
        std::string request;
    } cases[] = {
        {"length only", head + "Content-Length: 100000000\r\n\r\n"},
        {"length past 64 bits", head + "Content-Length: 99999999999999999999999\r\n\r\n"},
        {"expecting 100-continue", head + "Content-Length: 100000000\r\nExpect: 100-continue\r\n\r\n"},
        {"chunked", head + "Transfer-Encoding: chunked\r\n\r\n" + chunk + chunk},
    };
    for (const auto& c : cases) {
        // The library waited for the whole declared body, up to its 5 s read
        // timeout, before answering; a client gives up long before.
        const std::string answer = testing::rawExchange(port, c.request, std::chrono::milliseconds(2000));
        EXPECT_EQ(answer.rfind("HTTP/1.1 413", 0), 0u) << c.what << ": " << answer;
        EXPECT_NE(answer.find("Connection: close"), std::string::npos) << c.what << ": " << answer;
    }
}

TEST_F(ServerTest, BrokenReleaseGives500AndLogsWhy) {
    release.manifest("{");
    const auto res = running.check();
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 500);
    const std::string log = running.finalAccessLog();
    EXPECT_NE(log.find("\"POST /api/upgrade HTTP/1.1\" 500 "), std::string::npos) << log;
    EXPECT_NE(log.find("release unavailable: "), std::string::npos) << log;
    EXPECT_NE(log.find("manifest.json is not a JSON object"), std::string::npos) << log;
}

// A file swapped for a symlink to somewhere else after the server started is
// not served, and the release it breaks is reported.
TEST_F(ServerTest, SymlinkLeavingTheReleaseIsNotServed) {
    testing::ReleaseFixture other;
    other.write("secret.txt", "not for clients");
    fs::remove(release.path() / "Halvora.exe");
    fs::create_symlink(other.path() / "secret.txt", release.path() / "Halvora.exe");
    httplib::Client client("127.0.0.1", port);
    const auto res = client.Get("/files/Halvora.exe");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    EXPECT_EQ(res->body.find("not for clients"), std::string::npos);
    const auto checked = running.check();
    ASSERT_TRUE(checked);
    EXPECT_EQ(checked->status, 500);
}

// Checks answer with the digests made at start-up instead of reading the
// files again: a file rewritten with its size and time kept still gets its
// start-up digest, and one whose size changed gets its new one.
TEST_F(ServerTest, ChecksUseTheDigestsMadeAtStartUp) {
    const fs::path program = release.path() / "Halvora.exe";
    const std::string startUp = md5OfFile(program.string());
    std::ostringstream progress;
    running.server.computeDigests(progress);
    const auto digestInCheck = [this] {
        const auto res = running.check();
        Json::Value reply;
        if (res) {
            std::istringstream in(res->body);
            in >> reply;
        }
        return reply["update_files"][0]["file_md5"].asString();
    };

    const auto modified = fs::last_write_time(program);
    release.write("Halvora.exe", "NEW program");
    fs::last_write_time(program, modified);
    EXPECT_EQ(digestInCheck(), startUp);

    release.write("Halvora.exe", "a longer new program");
    EXPECT_EQ(digestInCheck(), md5OfFile(program.string()));
}

TEST_F(ServerTest, SecondServerOnTheSamePortIsRefused) {
    std::ostringstream log;
    UpdateServer second{release.dir(), log};
    EXPECT_EQ(second.bind("127.0.0.1", port), -1);
    EXPECT_NE(second.bindError().find("in use"), std::string::npos) << second.bindError();
    const auto res = running.check();
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
}

TEST(UpdateServerUrls, DownloadUrlsStartWithThePublicUrlWhenGiven) {
    const struct {
        const char* publicUrl;
        const char* expected;
    } cases[] = {
        {"", "http://updates.example.org:8002/files/Halvora.exe"},
        {"https://cdn.example.com/halvora", "https://cdn.example.com/halvora/files/Halvora.exe"},
        {"https://cdn.example.com/halvora/", "https://cdn.example.com/halvora/files/Halvora.exe"},
        {"http://10.0.0.2:8080", "http://10.0.0.2:8080/files/Halvora.exe"},
    };
    testing::ReleaseFixture release;
    for (const auto& c : cases) {
        ServerOptions options;
        options.publicUrl = c.publicUrl;
        testing::RunningServer running{release.dir(), options};
        httplib::Client client("127.0.0.1", running.port);
        const auto res = client.Post("/api/upgrade", {{"Host", "updates.example.org:8002"}},
                                     R"({"client_version": "1.0"})", "application/json");
        ASSERT_TRUE(res);
        Json::Value reply;
        std::istringstream in(res->body);
        in >> reply;
        EXPECT_EQ(reply["update_files"][0]["download_url"].asString(), c.expected) << c.publicUrl;
    }
    for (const char* bad : {"ftp://x", "cdn.example.com", "http://", "https:///path", "http://a b", "http://h/?q"}) {
        EXPECT_FALSE(checkPublicUrl(bad).empty()) << bad;
    }
}

TEST_F(ServerTest, FilesHaveLengthAndRanges) {
    httplib::Client client("127.0.0.1", port);
    const std::string dll(300000, 'd');

    auto res = client.Get("/files/bin%5Cx.dll");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Length"), "300000");
    EXPECT_EQ(res->body, dll);

    for (const char* path :
         {"/files/plugins/", "/files/manifest.json", "/files/absent", "/files/..%2Fetc", "/files/a\nforged"}) {
        res = client.Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
    }
    const std::string log = running.finalAccessLog();
    EXPECT_NE(log.find("\"GET /files/bin\\x.dll HTTP/1.1\" 200 300000\n"), std::string::npos) << log;
    // A decoded line break in the path must not start a line of its own.
    EXPECT_NE(log.find("\"GET /files/a\\x0aforged HTTP/1.1\" 404"), std::string::npos) << log;
}

// One range is served as asked; several are served as the one range that
// spans them, so the answer is never longer than the file; a header that
// cannot be read is ignored; nothing satisfiable gives 416 with the size.
TEST_F(ServerTest, RangesAreServedAsOneBoundedPart) {
    release.write("Halvora.exe", "0123456789");
    std::string many = "bytes=0-0";
    for (int i = 1; i < 1000; ++i) many += "," + std::to_string(i % 10) + "-" + std::to_string(i % 10);
    const struct {
        std::string range;
        int status;
        const char* body;
        const char* contentRange;
    } cases[] = {
        {"bytes=2-5", 206, "2345", "bytes 2-5/10"},
        {"bytes=7-", 206, "789", "bytes 7-9/10"},
        {"bytes=-3", 206, "789", "bytes 7-9/10"},
        {"bytes=-30", 206, "0123456789", "bytes 0-9/10"},
        {"bytes=8-100", 206, "89", "bytes 8-9/10"},
        {"bytes=1-2, 5-6", 206, "123456", "bytes 1-6/10"},
        {"bytes=4-4,20-30", 206, "4", "bytes 4-4/10"},
        {many, 206, "0123456789", "bytes 0-9/10"},
        {"bytes=10-20", 416, "", "bytes */10"},
        {"bytes=10-", 416, "", "bytes */10"},
        {"bytes=-0", 416, "", "bytes */10"},
        {"bytes=10-11,12-", 416, "", "bytes */10"},
        {"bytes=99999999999999999999-", 416, "", "bytes */10"},
        {"bytes=5-2", 200, "0123456789", ""},
        {"bytes=x-y", 200, "0123456789", ""},
        {"items=0-1", 200, "0123456789", ""},
    };
    httplib::Client client("127.0.0.1", port);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.range.substr(0, 40));
        const auto res = client.Get("/files/Halvora.exe", {{"Range", c.range}});
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status);
        EXPECT_EQ(res->get_header_value("Content-Range"), c.contentRange);
        if (c.status != 416) {
            EXPECT_EQ(res->body, c.body);
            EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(std::strlen(c.body)));
        }
    }
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
