#include <gtest/gtest.h>

#include <brenvik/updater.h>

namespace brenvik {
namespace {

TEST(ErrorToString, GivesEachCodeItsTextAndUnknownOutsideTheRange) {
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {0, "Success"},
        {1, "Network Error"},
        {2, "Parse Error"},
        {3, "File Error"},
        {4, "Version Check Failed"},
        {5, "Download Failed"},
        {6, "Invalid URL"},
        {7, "CURL Initialization Failed"},
        {8, "Unknown Error"},
        {1000000, "Unknown Error"},
        {-1, "Unknown Error"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Updater::errorToString(static_cast<UpdateResult>(c.code)), c.text) << c.code;
    }
}

TEST(Records, CopiesOfVersionInfoAreIndependent) {
    VersionInfo source;
    source.latestVersion = "2.0.0";
    source.updateFiles.push_back({"a.bin", "http://h/a", "2.0.0", 10, "x"});

    VersionInfo copy = source;
    copy.latestVersion = "3.0.0";
    copy.updateFiles[0].fileName = "b.bin";
    copy.updateFiles.push_back({});

    EXPECT_EQ(source.latestVersion, "2.0.0");
    ASSERT_EQ(source.updateFiles.size(), 1u);
    EXPECT_EQ(source.updateFiles[0].fileName, "a.bin");
}

}  // namespace
}  // namespace brenvik
