// The Windows words of the updater, exactly: the portable tests build their
// expected messages from these.
#include "core/app_options.h"
#include "core/command_line.h"
#include "core/paths.h"

#include <gtest/gtest.h>

namespace example {
namespace {

TEST(PlatformTexts, SpeakWindows) {
    EXPECT_EQ(errorText(2), "Windows error 2");
    EXPECT_EQ(errorText(kErrorSharingViolation), "Windows error 32");
    EXPECT_EQ(joinPath("C:\\work", "x"), "C:\\work\\x");
    EXPECT_EQ(std::string(kLineEnd), "\r\n");
    EXPECT_EQ(std::string(kHelperExeName), "brenvik_apply_helper.exe");
    EXPECT_EQ(std::string(kStartProcessCall), "CreateProcessA");
    EXPECT_FALSE(isApplyHelperPath("C:\\w\\brenvik_apply_helper"));
    EXPECT_EQ(kPathBufferSize, 260u);
    EXPECT_EQ(usageText(),
              "Usage:\r\n"
              "  example.exe <program_dir> <download_dir> <target_exe_path> <current_version> [update_url]\r\n"
              "\r\n"
              "Example:\r\n"
              "  example.exe C:\\Halvora .\\downloads C:\\Halvora\\Halvora.exe 1.0.0\r\n"
              "  example.exe C:\\Halvora .\\downloads C:\\Halvora\\Halvora.exe 1.0.0 " +
                  defaultUpdateUrl());
}

}  // namespace
}  // namespace example
