// Copying over existing files: the outcomes of the Windows copy on every
// platform, each failure with the platform's own error number for it.
#include "core/paths.h"
#include "core/platform.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace example {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::ScratchDirectory;
using testing::writeFile;

class CopyFile : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(scratch / "source.bin", "new contents");
        writeFile(scratch / "target.bin", "old");
    }
    std::size_t entryCount() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()));
    }
    ScratchDirectory scratch;
};

TEST_F(CopyFile, ReplacesOrCreatesTheTarget) {
    EXPECT_EQ(copyFileReplacing(scratch / "source.bin", scratch / "target.bin"), 0u);
    EXPECT_EQ(readFile(scratch / "target.bin"), "new contents");
    EXPECT_EQ(copyFileReplacing(scratch / "source.bin", scratch / "fresh.bin"), 0u);
    EXPECT_EQ(readFile(scratch / "fresh.bin"), "new contents");
    EXPECT_EQ(entryCount(), 3u) << "no temporary files stay behind";
}

TEST_F(CopyFile, ReadsBackslashesAsSeparators) {
    fs::create_directory(fs::path(scratch.path()) / "bin");
    EXPECT_EQ(copyFileReplacing(scratch / "source.bin", scratch / "bin\\x.dll"), 0u);
    EXPECT_EQ(readFile(scratch.path() + "/bin/x.dll"), "new contents");
}

TEST_F(CopyFile, FailsWithThePlatformNumberAndKeepsTheTarget) {
    fs::create_directory(fs::path(scratch.path()) / "directory");
    writeFile(scratch / "readonly.bin", "kept");
    fs::permissions(fs::path(normalizeSeparators(scratch / "readonly.bin")),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);

    struct Case {
        std::string from;
        std::string to;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {scratch / "missing.bin", scratch / "target.bin", kErrorFileNotFound},
        {scratch / "source.bin", scratch / "no\\such\\dir\\target.bin", kErrorPathNotFound},
        {scratch / "source.bin", scratch / "readonly.bin", kErrorAccessDenied},
        {scratch / "source.bin", scratch / "directory", kErrorAccessDenied},
    };
    for (const auto& c : cases) {
        if (c.to == scratch / "readonly.bin" && !testing::readOnlyFilesAreEnforced()) {
            continue;  // Wine as root writes read-only files
        }
        EXPECT_EQ(copyFileReplacing(c.from, c.to), c.expected) << c.from << " -> " << c.to;
    }
    EXPECT_EQ(readFile(scratch / "target.bin"), "old");
    EXPECT_EQ(readFile(scratch / "readonly.bin"), "kept");
    EXPECT_EQ(entryCount(), 4u) << "no temporary files stay behind";
}

TEST_F(CopyFile, RefusesARunningExecutable) {
    const std::string running = scratch / "running.exe";
    ASSERT_EQ(copyFileReplacing(testing::siblingProgram("core_test_sleeper"), running), 0u);
    ASSERT_EQ(platform::startProcess(running, {running}, scratch.path()), 0u);
    // Give the loader a moment to map the image.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    EXPECT_EQ(copyFileReplacing(scratch / "source.bin", running), kErrorSharingViolation);

    platform::ProcessEntry entry;
    for (const auto& process : platform::listProcesses()) {
        if (process.executableName == "running.exe") {
            entry = process;
        }
    }
    ASSERT_NE(entry.id, 0u);
    platform::terminateProcess(entry, 5000);
}

}  // namespace
}  // namespace example
