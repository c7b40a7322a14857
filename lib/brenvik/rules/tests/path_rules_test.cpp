// The shared path rules, one table per rule. The same tables run on every
// platform, so the POSIX layer and Win32 are held to the same answers.
#include "brenvik/rules/path_rules.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace brenvik::rules {
namespace {

namespace fs = std::filesystem;

struct FlagCase {
    std::string input;
    bool expected;
};

TEST(PathRules, ReadEitherSeparator) {
    EXPECT_TRUE(isSeparator('/'));
    EXPECT_TRUE(isSeparator('\\'));
    EXPECT_FALSE(isSeparator(':'));

    const FlagCase trailing[] = {{"", false}, {"a\\", true}, {"a/", true}, {"a", false}};
    for (const auto& c : trailing) {
        EXPECT_EQ(endsWithSeparator(c.input), c.expected) << c.input;
    }

    EXPECT_EQ(normalizeSeparators("a\\b/c\\\\d"), "a/b/c//d");

    const struct {
        const char* path;
        const char* parent;
    } parents[] = {
        {"C:\\Halvora\\Halvora.exe", "C:\\Halvora"},
        {"C:\\", "C:"},
        {"\\x", ""},
        {"/a", ""},
        {"Halvora.exe", ""},
        {"a/b\\c", "a/b"},
        {"D:\\upd/sub\\a.bin", "D:\\upd/sub"},
        {"", ""},
    };
    for (const auto& c : parents) {
        EXPECT_EQ(parentPathOf(c.path), c.parent) << c.path;
    }
}

// The names an update server lists and the entries of an archive are held
// to this one rule by the client, the updater and the server.
TEST(PathRules, RejectNamesThatLeaveTheirDestination) {
    const FlagCase cases[] = {
        {"", true},      {"\\a", true},    {"/a", true},       {"C:a", true},         {"x:y", true},    {"..", true},
        {"../a", true},  {"a/../b", true}, {"a\\..\\b", true}, {"a/..", true},        {"..\\a", true},  {"a\\..", true},
        {"a", false},    {"a/b/", false},  {"./a", false},     {"a/.../b", false},    {"..a/b", false}, {"a..", false},
        {"a//b", false}, {".. ", false},   {".", false},       {"bin\\x.dll", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isUnsafeRelativePath(c.input), c.expected) << c.input;
    }
}

class DirectoryTree : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("brenvik-rules-" + std::to_string(random()));
        fs::create_directories(root_);
        std::ofstream(root_ / "file") << "x";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    // A path below the scratch directory, written with the platform's own
    // separator up to there and `relative` as given.
    std::string path(const std::string& relative) const { return root_.string() + "/" + relative; }

    fs::path root_;
};

TEST_F(DirectoryTree, CreatesMissingLevelsWhateverTheSeparator) {
    const FlagCase cases[] = {
        {path("one\\two/three"), true},
        {path("mixed\\two//three/"), true},
        {path("trailing\\sep\\"), true},
        {path("one"), true},  // exists already
        {"", true},
        {path("file\\below"), false},
        {path("file"), false},
        // Below a share that is not there nothing can be made, and nothing
        // above it may be: no server directory on the current drive.
        {"\\\\brenvik-nohost\\share\\dl\\sub", false},
        {"//brenvik-nohost/share/dl", false},
        {"\\\\brenvik-nohost\\share", false},
        {"\\\\brenvik-nohost", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(createDirectoryTree(c.input), c.expected) << c.input;
        EXPECT_EQ(directoryExists(c.input), c.expected && !c.input.empty()) << c.input;
    }
    EXPECT_TRUE(fs::is_directory(root_ / "one" / "two" / "three"));
    EXPECT_TRUE(fs::is_directory(root_ / "mixed" / "two" / "three"));
    EXPECT_FALSE(directoryExists("/brenvik-nohost"));
    EXPECT_FALSE(directoryExists("\\brenvik-nohost"));
}

TEST_F(DirectoryTree, TellsDirectoriesFromFiles) {
    const FlagCase cases[] = {
        {root_.string(), true}, {path(""), true}, {path("file"), false}, {path("missing"), false}, {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(directoryExists(c.input), c.expected) << c.input;
    }
}

}  // namespace
}  // namespace brenvik::rules
