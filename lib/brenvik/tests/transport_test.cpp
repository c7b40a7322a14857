#include <gtest/gtest.h>

#include <stdexcept>

#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "transport.h"

namespace brenvik::detail {
namespace {

using testing::Reply;
using testing::TempDir;
using testing::TestHttpServer;

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        globalInit();
        Reply redirect;
        redirect.status = 302;
        redirect.location = server.url("/hop2");
        server.reply("/hop1", redirect);
        redirect.location = "/final";  // relative on the second hop
        server.reply("/hop2", redirect);
        server.reply("/final", Reply{200, "final body", "application/json"});
    }
    void TearDown() override { globalCleanup(); }

    TestHttpServer server;
    TempDir dir;
    std::string lastError;
};

TEST_F(TransportTest, PostOutcomes) {
    server.reply("/no-content", Reply{204, "", "application/json"});
    Reply stall{200, "{}", "application/json"};
    stall.stallMs = 2500;
    server.reply("/stall", stall);

    const struct {
        const char* path;
        long timeout;
        UpdateResult result;
        const char* error;
        const char* response;
    } cases[] = {
        {"/final", 10, UpdateResult::Success, "", "final body"},
        {"/hop1", 10, UpdateResult::Success, "", "final body"},
        {"/no-content", 10, UpdateResult::NetworkError, "HTTP error code: 204", ""},
        {"/missing", 10, UpdateResult::NetworkError, "HTTP error code: 404", "no route"},
        {"/stall", 1, UpdateResult::NetworkError, "CURL error: Timeout was reached", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        lastError.clear();
        std::string response = "stale";
        EXPECT_EQ(httpPost(server.url(c.path), "{}", response, c.timeout, lastError), c.result);
        EXPECT_EQ(lastError, c.error);
        EXPECT_EQ(response, c.response);
    }
}

TEST_F(TransportTest, EmptyPostBodyIsSentAsJsonWithZeroLength) {
    server.reply("/check", Reply{200, "{}", "application/json"});
    std::string response;
    ASSERT_EQ(httpPost(server.url("/check"), "", response, 10, lastError), UpdateResult::Success);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].contentType, "application/json");
    EXPECT_TRUE(requests[0].hasContentLength);
    EXPECT_EQ(requests[0].body, "");
}

TEST_F(TransportTest, DownloadOutcomes) {
    const std::string payload(100000, 'p');
    server.reply("/file", Reply{200, payload});
    Reply unsized{200, payload};
    unsized.framing = Reply::Framing::NoLength;
    server.reply("/unsized", unsized);
    Reply dropped{200, payload};
    dropped.framing = Reply::Framing::DropMidBody;
    server.reply("/dropped", dropped);
    server.reply("/gone", Reply{404, "not here"});

    const struct {
        const char* path;
        bool withCallback;
        UpdateResult result;
        const char* errorPrefix;
        std::string content;
        bool progressCalled;
    } cases[] = {
        {"/file", true, UpdateResult::Success, "", payload, true},
        {"/file", false, UpdateResult::Success, "", payload, false},
        {"/hop1", true, UpdateResult::Success, "", "final body", true},
        {"/unsized", true, UpdateResult::Success, "", payload, false},
        {"/gone", true, UpdateResult::DownloadFailed, "Download HTTP error code: 404", "not here", true},
        {"/dropped", true, UpdateResult::DownloadFailed, "Download failed: ", payload, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto target = dir.path() / "target.bin";
        testing::writeFile(target, "previous content that must go");
        lastError.clear();
        int calls = 0;
        bool argumentsRight = true;
        ProgressCallback progress;
        if (c.withCallback) {
            progress = [&](const std::string& name, std::uint32_t now, std::uint32_t total, double percent) {
                ++calls;
                argumentsRight = argumentsRight && name == "shown name" && now <= total &&
                                 percent == static_cast<double>(now) / total * 100.0;
            };
        }
        EXPECT_EQ(downloadFile(server.url(c.path), target.generic_string(), "shown name", 10, progress, lastError),
                  c.result);
        EXPECT_EQ(lastError.rfind(c.errorPrefix, 0), 0u) << lastError;
        EXPECT_EQ(testing::readFile(target), c.content);
        EXPECT_EQ(calls > 0, c.progressCalled) << calls;
        EXPECT_TRUE(argumentsRight);
    }
}

TEST_F(TransportTest, DownloadTimesOutAndLeavesAnEmptiedFile) {
    Reply stall{200, "late"};
    stall.stallMs = 2500;
    server.reply("/stall", stall);
    const auto target = dir.path() / "target.bin";
    testing::writeFile(target, "previous");
    EXPECT_EQ(downloadFile(server.url("/stall"), target.generic_string(), "t", 1, {}, lastError),
              UpdateResult::DownloadFailed);
    EXPECT_EQ(lastError, "Download failed: Timeout was reached");
    EXPECT_EQ(testing::readFile(target), "");
}

// The exception reaches the caller only after the output file is closed and
// the handle released: the file can be written again at once.
TEST_F(TransportTest, ProgressCallbackExceptionReachesTheCallerAfterCleanUp) {
    server.reply("/file", Reply{200, std::string(100000, 'p')});
    const auto target = dir.path() / "target.bin";
    const ProgressCallback throwing = [](const std::string&, std::uint32_t, std::uint32_t, double) {
        throw std::runtime_error("display gone");
    };
    EXPECT_THROW(downloadFile(server.url("/file"), target.generic_string(), "t", 10, throwing, lastError),
                 std::runtime_error);
    testing::writeFile(target, "again");
    EXPECT_EQ(testing::readFile(target), "again");
}

// A reply or a redirect may name any scheme; only http and https are spoken,
// so no local file is read and no chosen bytes go to another service.
TEST_F(TransportTest, OnlyHttpAndHttpsAreSpoken) {
    const auto secret = dir.path() / "secret.txt";
    testing::writeFile(secret, "local secret");
    const std::string local = secret.generic_string();
    const std::string fileUrl = "file://" + std::string(local[0] == '/' ? "" : "/") + local;
    Reply toFile;
    toFile.status = 302;
    toFile.location = fileUrl;
    server.reply("/to-file", toFile);
    const std::string hostPort = server.url("").substr(std::string("http://").size());
    const struct {
        const char* what;
        std::string url;
        std::size_t requests;  // that reach the test server
    } cases[] = {
        {"a file URL", fileUrl, 0},
        {"a redirect to a file URL", server.url("/to-file"), 1},
        {"gopher", "gopher://" + hostPort + "/1hello", 0},
        {"dict", "dict://" + hostPort + "/d:word", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = server.requests().size();
        std::string response;
        lastError.clear();
        // A transfer library built for http alone finds a redirect to a scheme
        // it does not know malformed rather than unsupported; either way it
        // goes nowhere.
        const auto refused = [&c](const std::string& error, const std::string& prefix) {
            return error == prefix + "Unsupported protocol" ||
                   (c.requests > 0 && error == prefix + "URL using bad/illegal format or missing URL");
        };
        EXPECT_EQ(httpPost(c.url, "{}", response, 10, lastError), UpdateResult::NetworkError);
        EXPECT_TRUE(refused(lastError, "CURL error: ")) << lastError;
        EXPECT_EQ(response, "");
        const auto target = dir.path() / "target.bin";
        lastError.clear();
        EXPECT_EQ(downloadFile(c.url, target.generic_string(), "t", 10, {}, lastError), UpdateResult::DownloadFailed);
        EXPECT_TRUE(refused(lastError, "Download failed: ")) << lastError;
        EXPECT_EQ(testing::readFile(target), "");
        EXPECT_EQ(server.requests().size() - before, 2 * c.requests);
    }
}

TEST_F(TransportTest, DownloadIntoMissingDirectoryFailsBeforeAnyTransfer) {
    const std::string target = dir.str() + "/absent/target.bin";
    EXPECT_EQ(downloadFile(server.url("/final"), target, "t", 10, {}, lastError), UpdateResult::FileError);
    EXPECT_EQ(lastError, "Failed to open file for writing: " + target);
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace brenvik::detail
