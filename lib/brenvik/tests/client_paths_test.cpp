#include <gtest/gtest.h>

#include <filesystem>

#include "client_paths.h"
#include "support/temp_dir.h"

namespace brenvik::detail {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(ClientPaths, DownloadTargetAddsASlashOnlyWhenNeeded) {
    EXPECT_EQ(downloadTarget("D:\\upd", "sub/a.bin"), "D:\\upd/sub/a.bin");
    EXPECT_EQ(downloadTarget("D:\\upd\\", "a.bin"), "D:\\upd\\a.bin");
    EXPECT_EQ(downloadTarget("/tmp/d/", "a.bin"), "/tmp/d/a.bin");
}

// The levels themselves are made by the shared directory-tree rule; the
// client adds its own answers for the empty path and a bare root.
TEST(CreateDirectories, FailsOnEmptyPathAndOnAPlainFileInTheWay) {
    TempDir dir;
    testing::writeFile(dir.path() / "file", "x");
    EXPECT_FALSE(createDirectories(""));
    EXPECT_FALSE(createDirectories(dir.str() + "/file/below"));
    EXPECT_TRUE(createDirectories(dir.str() + "/one\\two//three/"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "one" / "two" / "three"));
}

TEST(CreateDirectories, BareRootOrDriveNeedsNoWork) {
    for (const char* path : {"/", "\\", "C:", "C:\\", "C:/"}) {
        EXPECT_TRUE(createDirectories(path)) << path;
    }
}

}  // namespace
}  // namespace brenvik::detail
