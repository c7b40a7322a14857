// Starting processes: command lines reach the program as the exact tokens,
// and the target is started again where it expects to be.
#include "core/app_options.h"
#include "core/argument_split.h"
#include "core/paths.h"
#include "core/platform.h"
#include "core/process_control.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace example {
namespace {

using testing::ScratchDirectory;
using testing::siblingProgram;
using testing::waitForRecordedArguments;

// Values that the helper's command line has to carry unchanged, trailing
// backslashes and embedded quotes included.
const std::vector<std::string> kAwkwardValues = {
    "1.0.0", "C:\\Halvora\\",      "D:\\", "a b\tc", "say \"hi\"", "tail\\\"", "x\\\\\\", "\\\\server\\share\\",
    "",      "plain\\path\\x.exe",
};

TEST(CommandLineSplit, FollowsTheRuntimeRules) {
    struct Case {
        std::string line;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"prog", {"prog"}},
        {"\"C:\\Program Files\\x.exe\" a", {"C:\\Program Files\\x.exe", "a"}},
        {"p a\\\\b \"c d\"  e", {"p", "a\\\\b", "c d", "e"}},
        {"p a\\\"b", {"p", "a\"b"}},
        {"p \"a\\\\\" b", {"p", "a\\", "b"}},
        {"p \"\" x", {"p", "", "x"}},
        {"p \"a\"\"b\"", {"p", "a\"b"}},
        {"p a\"b c\"d", {"p", "ab cd"}},
        {"C:\\dir\\\" x", {"C:\\dir\\ x"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(splitCommandLine(c.line), c.expected) << c.line;
    }
    for (const auto& value : kAwkwardValues) {
        EXPECT_EQ(splitCommandLine("p " + quoteArgument(value)), (std::vector<std::string>{"p", value})) << value;
    }
}

TEST(CommandLineSplit, QuotedCommandLineJoinsQuotedArguments) {
    EXPECT_EQ(quotedCommandLine({"C:\\w\\helper.exe", "C:\\Halvora\\", "say \"hi\"", ""}),
              "\"C:\\w\\helper.exe\" \"C:\\Halvora\\\\\" \"say \\\"hi\\\"\" \"\"");
    EXPECT_EQ(quotedCommandLine({}), "");
}

// Through process creation and the started program's own runtime, which on
// Windows is the real command-line split of the quoted command line.
TEST(StartProcess, DeliversTheArgumentsUnchanged) {
    ScratchDirectory scratch;
    const std::string recorder = siblingProgram("core_test_argv_recorder");
    std::vector<std::string> arguments = {recorder};
    arguments.insert(arguments.end(), kAwkwardValues.begin(), kAwkwardValues.end());
    ASSERT_EQ(platform::startProcess(recorder, arguments, scratch.path()), 0u);
    EXPECT_EQ(waitForRecordedArguments(scratch.path()), arguments);
}

class LaunchTarget : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(createDirectoryTree(scratch / "program"));
        ASSERT_TRUE(createDirectoryTree(scratch / "bin"));
        target = scratch / "bin\\Target.exe";
        ASSERT_EQ(copyFileReplacing(siblingProgram("core_test_argv_recorder"), target), 0u);
        g_appOptions = AppOptions();
        g_appOptions.programDir = scratch / "program";
        g_appOptions.targetExePath = target;
    }
    void TearDown() override { g_appOptions = AppOptions(); }

    ScratchDirectory scratch;
    std::string target;
};

TEST_F(LaunchTarget, StartsWithoutArgumentsInTheProgramDirectory) {
    std::string error;
    ASSERT_TRUE(launchTarget(error)) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(waitForRecordedArguments(scratch / "program"), std::vector<std::string>{target});
}

TEST_F(LaunchTarget, FallsBackToTheTargetsDirectory) {
    g_appOptions.programDir = scratch / "gone";
    std::string error;
    ASSERT_TRUE(launchTarget(error)) << error;
    EXPECT_EQ(waitForRecordedArguments(scratch / "bin"), std::vector<std::string>{target});
}

TEST_F(LaunchTarget, ReportsTheFailedStart) {
    struct Case {
        std::string programDir;
        std::string exe;
        std::string expected;
    };
    const std::string failed = std::string(kStartProcessCall) + " failed: ";
    const Case cases[] = {
        {scratch / "program", scratch / "bin\\Missing.exe",
         failed + errorText(kErrorFileNotFound) + ", exe=" + (scratch / "bin\\Missing.exe") +
             ", cwd=" + (scratch / "program")},
        {scratch / "gone", scratch / "nowhere\\Missing.exe",
         failed + errorText(kErrorPathNotFound) + ", exe=" + (scratch / "nowhere\\Missing.exe") + ", cwd=(default)"},
    };
    for (const auto& c : cases) {
        g_appOptions.programDir = c.programDir;
        g_appOptions.targetExePath = c.exe;
        std::string error;
        EXPECT_FALSE(launchTarget(error));
        EXPECT_EQ(error, c.expected);
    }
}

}  // namespace
}  // namespace example
