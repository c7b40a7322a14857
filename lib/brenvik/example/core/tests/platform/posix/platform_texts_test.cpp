// The Linux words of the updater, exactly: the portable tests build their
// expected messages from these.
#include "core/app_options.h"
#include "core/command_line.h"
#include "core/paths.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>

namespace example {
namespace {

TEST(PlatformTexts, SpeakLinux) {
    EXPECT_EQ(errorText(ENOENT), "No such file or directory");
    EXPECT_EQ(errorText(kErrorSharingViolation), "Text file busy");
    EXPECT_EQ(joinPath("/work", "x"), "/work/x");
    EXPECT_EQ(std::string(kLineEnd), "\n");
    EXPECT_EQ(std::string(kHelperExeName), "brenvik_apply_helper");
    EXPECT_EQ(std::string(kStartProcessCall), "posix_spawn");
    EXPECT_FALSE(isApplyHelperPath("/w/brenvik_apply_helper.exe"));
    EXPECT_EQ(kPathBufferSize, static_cast<std::size_t>(PATH_MAX));
    EXPECT_EQ(usageText(), "Usage:\n"
                           "  example <program_dir> <download_dir> <target_exe_path> <current_version> [update_url]\n"
                           "\n"
                           "Example:\n"
                           "  example /opt/Halvora ./downloads /opt/Halvora/Halvora 1.0.0\n"
                           "  example /opt/Halvora ./downloads /opt/Halvora/Halvora 1.0.0 " +
                               defaultUpdateUrl());
}

// Working directories longer than Windows' 260 bytes are ordinary here: the
// updater must read them and resolve against them.
TEST(PlatformTexts, ReadsALongWorkingDirectory) {
    testing::ScratchDirectory scratch;
    std::string deep = scratch.path();
    while (deep.size() < 296) {
        deep += "/" + std::string(60, 'd');
    }
    std::filesystem::create_directories(deep);
    const std::string before = currentDirectory();
    ASSERT_EQ(chdir(deep.c_str()), 0);
    const std::string during = currentDirectory();
    const std::string resolved = makeAbsolute("app", during);
    ASSERT_EQ(chdir(before.c_str()), 0);
    EXPECT_EQ(during, deep);
    EXPECT_EQ(resolved, deep + "/app");
}

}  // namespace
}  // namespace example
