#include <gtest/gtest.h>

#include "core/paths.h"
#include "core/platform.h"
#include "install/apply_updates.h"
#include "install_test_support.h"

namespace example {
namespace {

using ::testing::ElementsAre;
using testing::fileExists;
using testing::InstallTest;
using testing::readFile;
using testing::writeFile;
using testing::writeZip;

class ApplyUpdates : public InstallTest {
protected:
    std::string download() const { return path("dl"); }
    std::string program() const { return path("prog"); }
    bool apply(const std::vector<std::string>& names) {
        return applyUpdates(names, download(), program(), sink, error);
    }
    std::string error;
};

TEST_F(ApplyUpdates, EmptyListCreatesTheProgramDirectory) {
    EXPECT_TRUE(apply({}));
    EXPECT_TRUE(fileExists(program()));
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_EQ(error, "");
}

TEST_F(ApplyUpdates, DirectoryArchiveAndFileInListOrder) {
    writeZip(download() + "/pack.zip", {{"readme.txt", "r"}, {"lib/core.dll", "c"}});
    writeFile(download() + "/bin/Halvora.exe", "new exe");
    writeFile(program() + "/bin/Halvora.exe", "old exe");
    ASSERT_TRUE(apply({"plugins/", "pack.zip", "bin\\Halvora.exe"})) << error;
    EXPECT_THAT(sink.lines, ElementsAre("dir: plugins/", "zip: pack.zip", "Extracted: readme.txt",
                                        "Extracted: lib/core.dll", "file: bin/Halvora.exe"));
    EXPECT_TRUE(fileExists(program() + "/plugins"));
    EXPECT_EQ(readFile(program() + "/lib/core.dll"), "c");
    EXPECT_EQ(readFile(program() + "/bin/Halvora.exe"), "new exe");
    EXPECT_FALSE(fileExists(program() + "/pack.zip"));
    EXPECT_TRUE(fileExists(download() + "/pack.zip"));  // downloads stay
}

TEST_F(ApplyUpdates, ArchiveInASubfolderUnpacksIntoTheProgramDirectory) {
    writeZip(download() + "/sub/pack.ZIP", {{"inner.txt", "i"}});
    ASSERT_TRUE(apply({"sub/pack.ZIP", "x.zip/"})) << error;
    EXPECT_EQ(readFile(program() + "/inner.txt"), "i");
    EXPECT_FALSE(fileExists(program() + "/sub"));
    EXPECT_TRUE(fileExists(program() + "/x.zip"));  // a directory item, not an archive
    EXPECT_THAT(sink.lines, ElementsAre("zip: sub/pack.ZIP", "Extracted: inner.txt", "dir: x.zip/"));
}

TEST_F(ApplyUpdates, UnsafeNameStopsWithoutALogLine) {
    const struct {
        const char* name;
        const char* shown;
    } cases[] = {{"..\\evil.dll", "../evil.dll"},
                 {"C:\\x.dll", "C:/x.dll"},
                 {"/x.dll", "/x.dll"},
                 {"\\x.dll", "/x.dll"},
                 {"a/../../x.dll", "a/../../x.dll"}};
    writeFile(download() + "/ok.txt", "ok");
    for (const auto& c : cases) {
        sink.lines.clear();
        EXPECT_FALSE(apply({"ok.txt", "", c.name, "ok.txt"}));
        EXPECT_EQ(error, std::string("Unsafe update file path: ") + c.shown);
        EXPECT_THAT(sink.lines, ElementsAre("file: ok.txt"));
        EXPECT_EQ(readFile(program() + "/ok.txt"), "ok");
    }
}

TEST_F(ApplyUpdates, FailuresNameThePathsAndTheErrorCode) {
    writeFile(download() + "/ro.dll", "new");
    writeFile(program() + "/ro.dll", "old");
    testing::makeReadOnly(program() + "/ro.dll");
    writeFile(program() + "/blocker", "file");
    writeFile(download() + "/blocker/x.dll", "x");
    const std::string dl = download() + kPathSeparator;
    const std::string prog = program() + kPathSeparator;
    const struct {
        const char* name;
        std::string error;
    } cases[] = {
        {"missing.dll",
         "Failed to copy " + dl + "missing.dll to " + prog + "missing.dll: " + errorText(kErrorFileNotFound)},
        {"ro.dll", "Failed to copy " + dl + "ro.dll to " + prog + "ro.dll: " + errorText(kErrorAccessDenied)},
        {"missing.zip", "Failed to open zip file: " + dl + "missing.zip"},
        {"blocker/", "Failed to create update directory: " + prog + "blocker/"},
        {"blocker/x.dll", "Failed to create directory: " + prog + "blocker"},
    };
    for (const auto& c : cases) {
        if (std::string(c.name) == "ro.dll" && !testing::readOnlyFilesAreEnforced()) continue;
        sink.lines.clear();
        EXPECT_FALSE(apply({c.name})) << c.name;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(sink.lines.size(), 1u);  // the announcement precedes the failure
    }
    if (testing::readOnlyFilesAreEnforced()) {
        EXPECT_EQ(readFile(program() + "/ro.dll"), "old");
    }
}

TEST_F(ApplyUpdates, ProgramDirectoryBlockedByAFile) {
    writeFile(path("file"), "x");
    EXPECT_FALSE(applyUpdates({"a.txt"}, download(), path("file/prog"), sink, error));
    EXPECT_EQ(error, "Failed to create apply directory: " + path("file/prog"));
    EXPECT_TRUE(sink.lines.empty());
}

}  // namespace
}  // namespace example
