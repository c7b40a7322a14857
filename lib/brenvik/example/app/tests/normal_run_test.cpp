// A normal run end to end, through a test build of the updater whose apply
// helper only records its argument vector: running copies of the target are
// ended, the work directory is laid out, and the helper starts with the six
// values.
#include "core/app_options.h"
#include "core/paths.h"
#include "core/platform.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace example {
namespace {

using testing::fileExists;
using testing::readFile;
using testing::ScratchDirectory;
using testing::writeFile;

std::string upperCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::size_t runningCopies(const std::string& name) {
    std::size_t count = 0;
    for (const auto& process : platform::listProcesses()) {
        count += toLowerCopy(process.executableName) == toLowerCopy(name) ? 1 : 0;
    }
    return count;
}

class NormalRun : public ::testing::Test {
protected:
    void SetUp() override {
        // Every run ends all processes of the target's name, so the name is
        // unique per fixture: tests running in parallel must not end each
        // other's updaters.
        target = "CoreTarget-" + fileNameOf(scratch.path()) + ".exe";
        ASSERT_TRUE(createDirectoryTree(scratch / "updater"));
        updater = joinPath(scratch / "updater", toLowerCopy(target));
        ASSERT_EQ(copyFileReplacing(testing::siblingProgram("app_test_probe"), updater), 0u);
        writeFile(scratch / "updater\\first.dll", "first");
        writeFile(scratch / "updater\\second.dll", "second");
        workDirectory = makeAbsolute("downloads", scratch.path());
        helperDirectory = joinPath(workDirectory, "brenvik_helper");
    }

    void useDlls(const std::string& list) { writeFile(scratch / "updater\\helper_dlls.txt", list); }

    testing::RunResult runUpdater(const std::vector<std::string>& arguments) {
        return testing::runProgram(updater, arguments, scratch.path());
    }

    ScratchDirectory scratch;
    std::string target;
    std::string updater;
    std::string workDirectory;
    std::string helperDirectory;
};

TEST_F(NormalRun, EndsTheTargetAndStartsTheHelper) {
    // Two copies of the target under different letter case; the updater
    // itself carries the target's name too and must survive.
    const std::string sleeper = testing::siblingProgram("core_test_sleeper");
    std::string upperTarget = target;
    for (char& c : upperTarget) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    for (const std::string& copy : {"a\\" + target, "b\\" + upperTarget}) {
        ASSERT_TRUE(createDirectoryTree(parentPathOf(scratch / copy)));
        ASSERT_EQ(copyFileReplacing(sleeper, scratch / copy), 0u);
        ASSERT_EQ(platform::startProcess(scratch / copy, {scratch / copy}, scratch.path()), 0u);
    }
    for (int i = 0; i < 200 && runningCopies(target) < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_EQ(runningCopies(target), 2u);
    useDlls("first.dll\nsecond.dll\n");

    const std::string programDir = scratch / "Program Dir\\";
    const auto result = runUpdater({programDir, "downloads", target, "1.0\"beta", "http://h:1/u"});

    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(runningCopies(target), 0u);

    const std::string helperPath = joinPath(helperDirectory, kHelperExeName);
    EXPECT_EQ(readFile(helperPath), readFile(updater));
    EXPECT_EQ(readFile(joinPath(helperDirectory, "first.dll")), "first");
    EXPECT_EQ(readFile(joinPath(helperDirectory, "second.dll")), "second");
    EXPECT_TRUE(directoryExists(joinPath(workDirectory, "update_files")));

    // The helper records in its current directory, the helper directory.
    const std::string absoluteProgramDir = makeAbsolute(programDir, "");
    const std::vector<std::string> expected = {
        helperPath,
        absoluteProgramDir,
        joinPath(workDirectory, "update_files"),
        makeAbsolute(target, absoluteProgramDir),
        "1.0\"beta",
        "http://h:1/u",
    };
    EXPECT_EQ(testing::waitForRecordedArguments(helperDirectory), expected);
}

TEST_F(NormalRun, UsesTheDefaultUrlWithoutAFifthArgument) {
    useDlls("");
    const auto result = runUpdater({scratch / "program", "downloads", target, "1.0.0"});
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    const auto recorded = testing::waitForRecordedArguments(helperDirectory);
    ASSERT_EQ(recorded.size(), 6u);
    EXPECT_EQ(recorded[5], defaultUpdateUrl());
}

TEST_F(NormalRun, StopsAtAMissingDllAfterTheEarlierCopies) {
    useDlls("first.dll\nmissing.dll\nsecond.dll\n");
    const auto result = runUpdater({scratch / "program", "downloads", target, "1.0.0"});

    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.standardError,
              "Failed to copy helper DLL missing.dll: " + errorText(kErrorFileNotFound) + kLineEnd);
    EXPECT_TRUE(fileExists(joinPath(helperDirectory, kHelperExeName)));
    EXPECT_TRUE(fileExists(joinPath(helperDirectory, "first.dll")));
    EXPECT_FALSE(fileExists(joinPath(helperDirectory, "second.dll")));
    EXPECT_FALSE(fileExists(joinPath(helperDirectory, "argv.txt")));
}

TEST_F(NormalRun, ReportsAWorkDirectoryThatCannotBeMade) {
    useDlls("");
    writeFile(scratch / "blocked", "a file where the work directory should go");
    const auto result = runUpdater({scratch / "program", "blocked", target, "1.0.0"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.standardError,
              "Failed to create update work directory: " + makeAbsolute("blocked", scratch.path()) + kLineEnd);
}

// A link in place of the helper's directory or the download directory is
// refused before anything is copied through it.
TEST_F(NormalRun, RefusesLinkedWorkDirectories) {
    useDlls("");
    const struct {
        const char* directory;
        const char* error;
    } cases[] = {
        {"brenvik_helper", "Refusing a helper directory that is a link: "},
        {"update_files", "Refusing an update download directory that is a link: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory);
        const std::string elsewhere = scratch / (std::string("elsewhere-") + c.directory);
        ASSERT_TRUE(createDirectoryTree(elsewhere));
        ASSERT_TRUE(createDirectoryTree(workDirectory));
        const std::string link = joinPath(workDirectory, c.directory);
        if (!testing::makeDirectoryLink(elsewhere, link)) GTEST_SKIP() << "no directory links here";
        const auto result = runUpdater({scratch / "program", "downloads", target, "1.0.0"});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.standardError, std::string(c.error) + link + kLineEnd);
        EXPECT_FALSE(fileExists(joinPath(elsewhere, kHelperExeName)));
        testing::removeDirectoryLink(link);
    }
}

// The helper could not read a path of kPathBufferSize bytes or more as its
// own (260 on Windows, PATH_MAX elsewhere).
TEST_F(NormalRun, RefusesAHelperPathTooLongToRead) {
    useDlls("");
    const std::string sep(1, kPathSeparator);
    const std::string tail = sep + "brenvik_helper" + sep + kHelperExeName;
    // The work directory's absolute path without its own name.
    const std::size_t prefix = makeAbsolute("w", scratch.path()).size() - 1;
    // Work directories whose helper path is one byte short of the limit and
    // at the limit, in levels short enough for any file system.
    for (const std::size_t length : {kPathBufferSize - 1, kPathBufferSize}) {
        SCOPED_TRACE(length);
        std::string name;
        for (std::size_t left = length - prefix - tail.size(); left > 0;) {
            const std::size_t level = left > 201 ? 200 : left;
            name += std::string(level, 'd');
            left -= level;
            if (left > 0) {
                name += sep;
                --left;
            }
        }
        const std::string helperPath = makeAbsolute(name, scratch.path()) + tail;
        ASSERT_EQ(helperPath.size(), length);
        const auto result = runUpdater({scratch / "program", name, target, "1.0.0"});
        if (length < kPathBufferSize) {
            // Accepted; where the copy itself may still meet the system's
            // limit (its temporary name is longer), not with this message.
            EXPECT_EQ(result.standardError.rfind("Apply helper path too long", 0), std::string::npos)
                << result.standardError;
            continue;
        }
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.standardError, "Apply helper path too long (" + std::to_string(kPathBufferSize) +
                                            " bytes, at most " + std::to_string(kPathBufferSize - 1) +
                                            "): " + helperPath + kLineEnd);
        EXPECT_FALSE(directoryExists(makeAbsolute(name, scratch.path())));
    }
}

// The run mode follows the executable's own file name; an argument error
// ends either mode before anything else happens.
TEST(RunMode, FollowsTheExecutableName) {
    struct Case {
        std::string name;
        std::size_t argumentCount;
        int exitCode;
        bool helperRan;
    };
    const Case cases[] = {
        {upperCase(kHelperExeName), 4, 0, true},
        {upperCase(kHelperExeName), 3, 1, false},
        {"brenvik_apply_helper (2).exe", 4, 0, false},
    };
    for (const auto& c : cases) {
        ScratchDirectory scratch;
        const std::string program = scratch / c.name;
        ASSERT_EQ(copyFileReplacing(testing::siblingProgram("app_test_probe"), program), 0u);
        writeFile(scratch / "helper_dlls.txt", "");
        const std::string target = "RunModeTarget-" + fileNameOf(scratch.path()) + ".exe";
        std::vector<std::string> arguments = {scratch / "program", "downloads", target, "1.0.0"};
        arguments.resize(c.argumentCount);
        const auto result = testing::runProgram(program, arguments, scratch.path());
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
        // Only the helper mode records in the directory it was started in.
        EXPECT_EQ(fileExists(scratch / "argv.txt"), c.helperRan) << c.name;
        if (c.exitCode == 0 && !c.helperRan) {
            const std::string helperDirectory = joinPath(makeAbsolute("downloads", scratch.path()), "brenvik_helper");
            EXPECT_EQ(testing::waitForRecordedArguments(helperDirectory).size(), 6u) << c.name;
        }
    }
}

}  // namespace
}  // namespace example
