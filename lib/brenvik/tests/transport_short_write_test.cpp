#include <gtest/gtest.h>

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

}  // namespace
}  // namespace brenvik::detail
