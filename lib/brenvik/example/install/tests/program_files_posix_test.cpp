// Replacing program files on Linux: a running executable counts as in use,
// as it does on Windows, and a replaced executable stays executable.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "install/apply_updates.h"
#include "install_test_support.h"

namespace example {
namespace {

using ApplyToRunningProgram = testing::InstallTest;

TEST_F(ApplyToRunningProgram, ReportsTheFileInUse) {
    const std::string running = path("prog/tool");
    std::filesystem::create_directories(path("prog"));
    std::filesystem::copy_file("/bin/sleep", running);
    testing::writeFile(path("dl/tool"), "replacement");

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(running.c_str(), "tool", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    usleep(200 * 1000);  // let exec map the file

    std::string error;
    const bool applied = applyUpdates({"tool"}, path("dl"), path("prog"), error);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    EXPECT_FALSE(applied);
    EXPECT_EQ(error, "Failed to copy " + path("dl") + "\\tool to " + path("prog") +
                         "\\tool: Windows error 32");
    EXPECT_NE(testing::readFile(running), "replacement");
}

}  // namespace
}  // namespace example

namespace example {
namespace {

using ReplaceProgram = testing::InstallTest;

TEST_F(ReplaceProgram, ReplacedExecutableStaysExecutable) {
    testing::writeFile(path("prog/tool"), "old");
    std::filesystem::permissions(path("prog/tool"), std::filesystem::perms(0755));
    testing::writeFile(path("dl/tool"), "new");
    std::filesystem::permissions(path("dl/tool"), std::filesystem::perms(0644));
    std::string error;
    ASSERT_TRUE(applyUpdates({"tool"}, path("dl"), path("prog"), error)) << error;
    EXPECT_EQ(testing::readFile(path("prog/tool")), "new");
    EXPECT_EQ(std::filesystem::status(path("prog/tool")).permissions(), std::filesystem::perms(0755));
}

}  // namespace
}  // namespace example
