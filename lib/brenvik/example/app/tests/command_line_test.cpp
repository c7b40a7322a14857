// The command line: run modes, parsing into the options, and the messages
// and exit codes of the real executable.
#include "core/app_options.h"
#include "core/command_line.h"
#include "core/paths.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace example {
namespace {

using testing::runProgram;
using testing::ScratchDirectory;

// The usage text itself, in each platform's words, is held by the core's
// platform tests.
const std::string kUsage = usageText();

const std::string kEmptyMessage = std::string("Arguments cannot be empty.") + kLineEnd + kLineEnd + kUsage;

TEST(CommandLine, DefaultUrl) {
    const std::string url = defaultUpdateUrl();
    EXPECT_EQ(url.rfind("http://", 0), 0u) << url;
    EXPECT_EQ(url.substr(url.size() - 17), ":8002/api/upgrade") << url;
}

std::string toUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// The helper's name is the platform's: brenvik_apply_helper.exe on Windows.
TEST(CommandLine, HelperModeByFileNameInAnyCase) {
    struct Case {
        std::string path;
        bool helper;
    };
    const Case cases[] = {
        {std::string("C:\\w\\") + kHelperExeName, true},
        {"C:\\w\\" + toUpper(kHelperExeName), true},
        {std::string("/w/B") + (kHelperExeName + 1), true},
        {kHelperExeName, true},
        {"C:\\w\\brenvik_apply_helper (2).exe", false},
        {"C:\\w\\brenvik_apply_helper (2)", false},
        {"C:\\w\\brenvik_apply_helper.ex", false},
        {std::string("C:\\") + kHelperExeName + "\\example.exe", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isApplyHelperPath(c.path), c.helper) << c.path;
    }
    EXPECT_FALSE(isApplyHelperProcess());
}

class ParseArguments : public ::testing::Test {
protected:
    void TearDown() override { g_appOptions = AppOptions(); }

    bool parse(std::vector<std::string> arguments, std::string& error) {
        arguments.insert(arguments.begin(), "example.exe");
        std::vector<const char*> argv;
        for (const auto& argument : arguments) {
            argv.push_back(argument.c_str());
        }
        return parseArguments(static_cast<int>(argv.size()), argv.data(), error);
    }
};

TEST_F(ParseArguments, FillsTheOptions) {
    const std::string cwd = currentDirectory();
    struct Case {
        std::vector<std::string> arguments;
        AppOptions expected;  // paths compared by separator places
    };
    const Case cases[] = {
        {{"C:\\Halvora", ".\\downloads", "Halvora.exe", "1.0.0"},
         {defaultUpdateUrl(), "C:\\Halvora", ".\\downloads", "C:\\Halvora\\Halvora.exe", "1.0.0", "Halvora.exe"}},
        {{"app", "d", "D:\\other\\..\\x.exe", "2", "http://u"},
         {"http://u", joinPath(cwd, "app"), "d", "D:\\x.exe", "2", "x.exe"}},
        {{"", "d", "bin\\t.exe", "2"},
         {defaultUpdateUrl(), cwd + "\\", "d", joinPath(cwd, "bin\\t.exe"), "2", "t.exe"}},
    };
    for (const auto& c : cases) {
        std::string error;
        ASSERT_TRUE(parse(c.arguments, error)) << c.arguments[0];
        EXPECT_EQ(error, "");
        const AppOptions& o = g_appOptions;
        EXPECT_EQ(o.updateUrl, c.expected.updateUrl);
        EXPECT_EQ(normalizeSeparators(o.programDir), normalizeSeparators(c.expected.programDir));
        EXPECT_EQ(o.downloadDir, c.expected.downloadDir);
        EXPECT_EQ(normalizeSeparators(o.targetExePath), normalizeSeparators(c.expected.targetExePath));
        EXPECT_EQ(o.currentVersion, c.expected.currentVersion);
        EXPECT_EQ(o.targetExeName, c.expected.targetExeName);
    }
}

// What a user sees: the real executable, its exit code and its standard error.
TEST(ExampleExecutable, RejectsBadCommandLines) {
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        {{"C:\\Halvora", ".\\downloads", "C:\\Halvora\\Halvora.exe"}, kUsage},
        {{"C:\\Halvora", ".\\downloads", "C:\\Halvora\\Halvora.exe", "1.0.0", "http://u", "extra"}, kUsage},
        {{}, kUsage},
        {{"C:\\Halvora", "", "Halvora.exe", "1.0.0"}, kEmptyMessage},
        {{"C:\\Halvora", ".\\downloads", "Halvora.exe", ""}, kEmptyMessage},
        {{"C:\\Halvora", ".\\downloads", "Halvora.exe", "1.0.0", ""}, kEmptyMessage},
        {{"C:\\Halvora", ".\\downloads", "C:\\Halvora\\bin\\", "1.0.0"}, kEmptyMessage},
        {{"C:\\Halvora", ".\\downloads", "C:\\Halvora\\bin/", "1.0.0"}, kEmptyMessage},
    };
    ScratchDirectory scratch;
    const std::string program = testing::siblingProgram("example");
    for (const auto& c : cases) {
        const auto result = runProgram(program, c.arguments, scratch.path());
        EXPECT_EQ(result.exitCode, 1) << c.arguments.size();
        EXPECT_EQ(result.standardError, c.message + kLineEnd) << c.arguments.size();
    }
}

}  // namespace
}  // namespace example
