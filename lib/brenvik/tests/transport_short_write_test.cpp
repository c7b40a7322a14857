#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "support/test_http_server.h"
#include "transport.h"

namespace brenvik::detail {
namespace {

using testing::Reply;

// /dev/full accepts the open and refuses every write with "no space left",
// as a full disk does: a large body fails inside the transfer, a small one
// only when the buffered bytes are flushed at close.
TEST(TransportShortWrite, FullDiskFailsTheDownload) {
    globalInit();
    testing::TestHttpServer server;
    server.reply("/large", Reply{200, std::string(200000, 'x')});
    server.reply("/small", Reply{200, "tiny"});
    for (const char* path : {"/large", "/small"}) {
        std::string lastError;
        EXPECT_EQ(downloadFile(server.url(path), "/dev/full", "f", 10, {}, lastError), UpdateResult::DownloadFailed)
            << path;
        EXPECT_EQ(lastError.rfind("Download failed: ", 0), 0u) << lastError;
    }
    globalCleanup();
}

// A link planted where a download goes, or a second name of a file
// elsewhere, is replaced by the downloaded file; the file it leads to stays
// as it was.
TEST(TransportLinks, AreReplacedNotWrittenThrough) {
    globalInit();
    testing::TestHttpServer server;
    server.reply("/file", Reply{200, "downloaded"});
    for (const bool symbolic : {true, false}) {
        SCOPED_TRACE(symbolic ? "a symbolic link" : "a hard link");
        testing::TempDir dir;
        const auto outside = dir.path() / "outside.txt";
        const auto target = dir.path() / "target.bin";
        testing::writeFile(outside, "outside");
        if (symbolic) {
            std::filesystem::create_symlink(outside, target);
        } else {
            std::filesystem::create_hard_link(outside, target);
        }
        std::string lastError;
        EXPECT_EQ(downloadFile(server.url("/file"), target.generic_string(), "t", 10, {}, lastError),
                  UpdateResult::Success)
            << lastError;
        EXPECT_EQ(testing::readFile(outside), "outside");
        EXPECT_FALSE(std::filesystem::is_symlink(target));
        EXPECT_EQ(testing::readFile(target), "downloaded");
    }
    globalCleanup();
}

}  // namespace
}  // namespace brenvik::detail
