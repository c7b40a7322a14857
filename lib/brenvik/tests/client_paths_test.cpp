#include <gtest/gtest.h>

#include <filesystem>

#include "client_paths.h"
#include "support/temp_dir.h"

namespace brenvik::detail {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(IsUnsafeFileName, RefusesNamesThatLeaveTheDownloadDirectory) {
    for (const char* name : {"", "\\a", "/a", "C:a", "x:y", "..", "../a", "a/../b", "a\\..\\b", "a/.."}) {
        EXPECT_TRUE(isUnsafeFileName(name)) << name;
    }
    for (const char* name : {"a", "a/b/", "./a", "a/.../b", "..a/b", "a..", "a//b", "bin\\x.dll", ".. "}) {
        EXPECT_FALSE(isUnsafeFileName(name)) << name;
    }
}

TEST(ClientPaths, ParentDirectoryAndDownloadTarget) {
    const struct {
        const char* path;
        const char* parent;
    } parents[] = {{"a.bin", ""}, {"d/sub/a.bin", "d/sub"}, {"D:\\upd/sub\\a.bin", "D:\\upd/sub"}, {"/a", ""}};
    for (const auto& c : parents) {
        EXPECT_EQ(getParentDirectory(c.path), c.parent) << c.path;
    }
    EXPECT_EQ(downloadTarget("D:\\upd", "sub/a.bin"), "D:\\upd/sub/a.bin");
    EXPECT_EQ(downloadTarget("D:\\upd\\", "a.bin"), "D:\\upd\\a.bin");
    EXPECT_EQ(downloadTarget("/tmp/d/", "a.bin"), "/tmp/d/a.bin");
}

TEST(CreateDirectories, CreatesEveryLevelWhateverTheSeparator) {
    TempDir dir;
    EXPECT_TRUE(createDirectories(dir.str() + "/one\\two//three/"));
    EXPECT_TRUE(fs::is_directory(dir.path() / "one" / "two" / "three"));
    EXPECT_TRUE(createDirectories(dir.str() + "/one/two"));  // existing levels are fine
}

TEST(CreateDirectories, FailsOnEmptyPathAndOnAPlainFileInTheWay) {
    TempDir dir;
    testing::writeFile(dir.path() / "file", "x");
    EXPECT_FALSE(createDirectories(""));
    EXPECT_FALSE(createDirectories(dir.str() + "/file/below"));
    EXPECT_FALSE(ensureDirectory(dir.str() + "/file"));
}

// Below an unreachable share nothing can be made; above it nothing may be:
// neither the server nor the share appears as a directory of the current
// drive (on Linux, of the root).
TEST(CreateDirectories, NetworkPathsStartBelowTheShare) {
    for (const char* path : {"\\\\brenvik-nohost\\share\\dl\\sub", "//brenvik-nohost/share/dl",
                             "\\\\brenvik-nohost\\share", "\\\\brenvik-nohost"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(createDirectories(path));
        EXPECT_FALSE(fs::exists("/brenvik-nohost"));
        EXPECT_FALSE(fs::exists("\\brenvik-nohost"));
    }
}

TEST(CreateDirectories, BareRootOrDriveNeedsNoWork) {
    for (const char* path : {"/", "\\", "C:", "C:\\"}) {
        EXPECT_TRUE(createDirectories(path)) << path;
    }
}

}  // namespace
}  // namespace brenvik::detail
