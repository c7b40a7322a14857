// The path utilities, one table per function. The same tables run on every
// platform, so the POSIX layer and Win32 are held to the same answers.
#include "core/paths.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace example {
namespace {

struct TextCase {
    std::string input;
    std::string expected;
};

struct PairCase {
    std::string first;
    std::string second;
    std::string expected;
};

struct FlagCase {
    std::string input;
    bool expected;
};

TEST(PathUtilities, SplitsOffTheFileName) {
    const TextCase names[] = {
        {"C:\\Halvora\\Halvora.exe", "Halvora.exe"},
        {"Halvora.exe", "Halvora.exe"},
        {"C:\\Halvora\\", ""},
        {"a\\b/c.dll", "c.dll"},
    };
    for (const auto& c : names) {
        EXPECT_EQ(fileNameOf(c.input), c.expected) << c.input;
    }
}

TEST(PathUtilities, RecognisesAbsolutePaths) {
    const FlagCase cases[] = {
        {"", false},        {"C:\\x", true},   {"C:relative", true},        {"x:y", true},
        {"\\rooted", true}, {"/rooted", true}, {"\\\\server\\share", true}, {"relative\\x", false},
        {"a", false},       {".\\a", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isAbsolutePath(c.input), c.expected) << c.input;
    }
}

// The separator joinPath writes is the platform's: '\' on Windows.
TEST(PathUtilities, JoinsWithOneSeparator) {
    const std::string sep(1, kPathSeparator);
    const PairCase cases[] = {
        {"C:\\work", "update_files", "C:\\work" + sep + "update_files"},
        {"C:\\work\\", "x", "C:\\work\\x"},
        {"C:\\work/", "x", "C:\\work/x"},
        {"", "x", "x"},
        {"C:\\work", "sub/a.dll", "C:\\work" + sep + "sub/a.dll"},
        {"C:\\work", "\\lead", "C:\\work" + sep + "\\lead"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(joinPath(c.first, c.second), c.expected) << c.first << " + " << c.second;
    }
}

TEST(PathUtilities, RewritesOnlyWhatItShould) {
    EXPECT_EQ(toLowerCopy("Halvora.EXE"), "halvora.exe");
    EXPECT_EQ(toLowerCopy("\xC4\xD6Z@["), "\xC4\xD6z@[");

    const FlagCase zips[] = {
        {"update.zip", true}, {"UPDATE.ZIP", true}, {"x.Zip", true}, {".zip", true},
        {"zip", false},       {"a.zip2", false},    {"a.gz", false}, {"", false},
    };
    for (const auto& c : zips) {
        EXPECT_EQ(hasZipSuffix(c.input), c.expected) << c.input;
    }

    EXPECT_EQ(windowsErrorText(0), "Windows error 0");
    EXPECT_EQ(windowsErrorText(183), "Windows error 183");
    EXPECT_EQ(windowsErrorText(0xFFFFFFFFu), "Windows error 4294967295");
}

TEST(PathUtilities, QuotesSoThatTheRuntimeSplitsBackTheValue) {
    const TextCase cases[] = {
        {"1.0.0", "\"1.0.0\""},
        {"", "\"\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\Halvora\\Halvora.exe", "\"C:\\Halvora\\Halvora.exe\""},
        // Backslashes before a quote are doubled, the closing quote included.
        {"C:\\Halvora\\", "\"C:\\Halvora\\\\\""},
        {"D:\\", "\"D:\\\\\""},
        {"a\\\"b", "\"a\\\\\\\"b\""},
        {"\\\\server\\share", "\"\\\\server\\share\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quoteArgument(c.input), c.expected) << c.input;
    }
}

TEST(PathUtilities, ResolvesFullPathsWithoutTouchingTheDisk) {
    // Separators in the answer are the platform's own; compare their places.
    const PairCase absolute[] = {
        {".\\downloads", "C:\\cwd", "C:\\cwd\\downloads"},
        {"D:\\x\\..\\y", "C:\\cwd", "D:\\y"},
        {"", "C:\\cwd", "C:\\cwd\\"},
        {"a/./b/../c", "C:\\cwd", "C:\\cwd\\a\\c"},
        {"C:\\a\\..\\..\\..\\b", "", "C:\\b"},
        {"C:\\a\\\\b\\", "", "C:\\a\\b\\"},
    };
    for (const auto& c : absolute) {
        EXPECT_EQ(normalizeSeparators(makeAbsolute(c.first, c.second)), normalizeSeparators(c.expected))
            << c.first << " against " << c.second;
    }

    const std::string cwd = currentDirectory();
    ASSERT_FALSE(cwd.empty());
    EXPECT_EQ(normalizeSeparators(makeAbsolute("sub", "")), normalizeSeparators(joinPath(cwd, "sub")));

    // Inputs without a full form within the platform's path limit come back
    // unchanged.
    EXPECT_EQ(fullPath(""), "");
    const std::string tooLong = "C:\\" + std::string(kPathBufferSize + 40, 'x');
    EXPECT_EQ(fullPath(tooLong), tooLong);
    const std::string longName(kPathBufferSize + 40, 'y');
    EXPECT_EQ(makeAbsolute(longName, "C:\\cwd"), "C:\\cwd" + std::string(1, kPathSeparator) + longName);
}

TEST(PathUtilities, ReportsTheRunningProgramAndDirectory) {
    const std::string exe = executablePath();
    EXPECT_EQ(fileNameOf(exe).rfind("core_paths_test", 0), 0u) << exe;
    EXPECT_EQ(executableDirectory(), parentPathOf(exe));
    EXPECT_TRUE(directoryExists(executableDirectory()));
    EXPECT_TRUE(directoryExists(currentDirectory()));
}

}  // namespace
}  // namespace example
