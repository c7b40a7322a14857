// Replacing program files on Linux: a running executable counts as in use,
// as it does on Windows, and a replaced executable stays executable.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
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
    const bool applied = applyUpdates({"tool"}, path("dl"), path("prog"), sink, error);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    EXPECT_FALSE(applied);
    EXPECT_EQ(error, "Failed to copy " + path("dl") + "/tool to " + path("prog") + "/tool: Text file busy");
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
    ASSERT_TRUE(applyUpdates({"tool"}, path("dl"), path("prog"), sink, error)) << error;
    EXPECT_EQ(testing::readFile(path("prog/tool")), "new");
    EXPECT_EQ(std::filesystem::status(path("prog/tool")).permissions(), std::filesystem::perms(0755));
}

}  // namespace
}  // namespace example

namespace example {
namespace {

using LinksInTheWay = testing::InstallTest;

// A link planted where a file will go is replaced by the file; what it points
// to outside the program directory is never written.
TEST_F(LinksInTheWay, AreReplacedNotWrittenThrough) {
    for (const bool fromZip : {true, false}) {
        SCOPED_TRACE(fromZip ? "an entry of an archive" : "a copied file");
        std::filesystem::remove_all(path("prog"));
        testing::writeFile(path("outside.txt"), "outside");
        std::filesystem::create_directories(path("prog"));
        std::filesystem::create_symlink(path("outside.txt"), path("prog/tool"));
        testing::writeZip(path("dl/update.zip"), {{"tool", "new"}});
        testing::writeFile(path("dl/tool"), "new");
        std::string error;
        ASSERT_TRUE(applyUpdates({fromZip ? "update.zip" : "tool"}, path("dl"), path("prog"), sink, error)) << error;
        EXPECT_EQ(testing::readFile(path("outside.txt")), "outside");
        EXPECT_FALSE(std::filesystem::is_symlink(path("prog/tool")));
        EXPECT_EQ(testing::readFile(path("prog/tool")), "new");
    }
}

using ZipPermissions = testing::InstallTest;

// Entries of a zip made on a POSIX system keep the permission bits it
// recorded, never set-user-id, set-group-id or sticky; an entry without any
// keeps those of the file it replaces, or gets the default for new files.
TEST_F(ZipPermissions, RecordedBitsApplyWithoutTheSpecialOnes) {
    const mode_t mask = umask(022);
    testing::writeFile(path("prog/kept"), "old");
    std::filesystem::permissions(path("prog/kept"), std::filesystem::perms(0750));
    testing::ZipEntry tool{"tool", "#!/bin/sh\n"};
    tool.unixMode = 0100755;
    testing::ZipEntry setuid{"setuid", "x"};
    setuid.unixMode = 0106755;
    testing::ZipEntry secret{"secret", "x"};
    secret.unixMode = 0100600;
    testing::writeZip(path("dl/update.zip"), {tool, setuid, secret, {"kept", "new"}, {"plain", "p"}});
    std::string error;
    ASSERT_TRUE(applyUpdates({"update.zip"}, path("dl"), path("prog"), sink, error)) << error;
    umask(mask);
    const struct {
        const char* name;
        unsigned mode;
    } cases[] = {{"tool", 0755}, {"setuid", 0755}, {"secret", 0600}, {"kept", 0750}, {"plain", 0644}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(static_cast<unsigned>(std::filesystem::status(path(std::string("prog/") + c.name)).permissions()),
                  c.mode);
    }
}

}  // namespace
}  // namespace example
