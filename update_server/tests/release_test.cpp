#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>

#include "release.h"
#include "release_fixture.h"
#include "version.h"

namespace brenvik::server {
namespace {

TEST(Version, ParsesOnlyDottedNumbers) {
    for (const char* text : {"1", "1.0.0", "1.10.0", "0.0.1", "2023.12.31.7"}) {
        EXPECT_TRUE(parseVersion(text).has_value()) << text;
    }
    for (const char* text : {"", ".", "1.", ".1", "1..2", "1.a", "v1.0", "1.0-beta", " 1", "1234567890123456789"}) {
        EXPECT_FALSE(parseVersion(text).has_value()) << text;
    }
}

TEST(Version, ComparesComponentsAsNumbers) {
    const struct {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"1.10.0", "1.9.3", 1}, {"1.9.3", "1.10.0", -1}, {"1.0", "1.0.0", 0},
        {"2", "1.99.99", 1},    {"1.0.0.1", "1.0", 1},   {"01.2", "1.2", 0},
    };
    for (const auto& c : cases) {
        const int result = compareVersions(*parseVersion(c.a), *parseVersion(c.b));
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
    }
}

TEST(Md5, MatchesKnownDigestsOfFiles) {
    const struct {
        std::string content;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"The quick brown fox jumps over the lazy dog", "9e107d9d372bb6826bd81d3542a419d6"},
        {std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
        {std::string(3 << 20, 'a'), "6a11a8872b36343799a15617bea78cef"},  // several reads
    };
    testing::ReleaseFixture release;
    for (const auto& c : cases) {
        release.write("f", c.content);
        EXPECT_EQ(md5OfFile(release.dir() + "/f"), c.digest) << c.content.size();
    }
    EXPECT_EQ(md5OfFile(release.dir() + "/absent"), "");
    const std::atomic<bool> cancelled{true};
    EXPECT_EQ(md5OfFile(release.dir() + "/f", &cancelled), "");
}

// The digests are made once, up front, and made again only for a file whose
// size or modification time has changed since.
TEST(DigestCache, ComputesUpFrontAndAgainOnlyForChangedFiles) {
    namespace fs = std::filesystem;
    const struct {
        const char* change;
        std::string content;
        bool touch;
        bool recomputed;
    } cases[] = {
        {"same size and time", "NEW program", false, false},
        {"other size", "a longer new program", false, true},
        {"other time", "NEW program", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        testing::ReleaseFixture fixture;
        std::string error;
        const auto release = loadRelease(fixture.dir(), error);
        ASSERT_TRUE(release) << error;
        DigestCache digests;
        std::ostringstream progress;
        digests.prepare(*release, progress);
        EXPECT_NE(progress.str().find("MD5 of 3 files"), std::string::npos) << progress.str();
        EXPECT_NE(progress.str().find("ready in"), std::string::npos) << progress.str();

        const fs::path program = fixture.path() / "Halvora.exe";
        const std::string before = md5OfFile(program.string());
        const auto modified = fs::last_write_time(program);
        fixture.write("Halvora.exe", c.content);
        fs::last_write_time(program, c.touch ? modified + std::chrono::seconds(5) : modified);
        EXPECT_EQ(digests.digestOf(program.string()), c.recomputed ? md5OfFile(program.string()) : before);
    }
}

TEST(LoadRelease, RefusesBrokenManifests) {
    const struct {
        const char* manifest;
        const char* errorPart;
    } cases[] = {
        {"not json", "not a JSON object"},
        {R"({"latest_version": "one", "files": []})", "latest_version"},
        {R"({"latest_version": "1.0", "release_notes": 3, "files": []})", "release_notes"},
        {R"({"latest_version": "1.0"})", "\"files\""},
        {R"({"latest_version": "1.0", "files": ["../secret"]})", "unusable file name"},
        {R"({"latest_version": "1.0", "files": ["C:\\x"]})", "unusable file name"},
        {R"({"latest_version": "1.0", "files": [7]})", "unusable file name"},
        {R"({"latest_version": "1.0", "files": ["absent.bin"]})", "absent.bin"},
        {R"({"latest_version": "1.0", "files": ["bin"]})", "is not a file"},
        // A client's transfer library drops "./" and "//" from the URL, so
        // these could never be fetched by the name they are listed under.
        {R"({"latest_version": "1.0", "files": ["./Halvora.exe"]})", "list it as \"Halvora.exe\""},
        {R"({"latest_version": "1.0", "files": ["bin//x.dll"]})", "list it as \"bin/x.dll\""},
        {R"({"latest_version": "1.0", "files": ["bin\\.\\x.dll"]})", "list it as \"bin\\x.dll\""},
        {R"({"latest_version": "1.0", "files": ["plugins/./"]})", "list it as \"plugins/\""},
        {R"({"latest_version": "1.0", "files": ["outside.txt"]})", "leads outside the release directory"},
        {R"({"latest_version": "1.0", "files": ["bin/up/secret.txt"]})", "leads outside the release directory"},
    };
    testing::ReleaseFixture release;
    testing::ReleaseFixture other;  // somewhere outside the release
    other.write("secret.txt", "not for clients");
    std::filesystem::create_symlink(other.path() / "secret.txt", release.path() / "outside.txt");
    std::filesystem::create_symlink(other.path(), release.path() / "bin" / "up");
    for (const auto& c : cases) {
        release.manifest(c.manifest);
        std::string error;
        EXPECT_FALSE(loadRelease(release.dir(), error).has_value()) << c.manifest;
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(loadRelease(release.dir() + "/nowhere", error).has_value());
}

TEST(UpgradeReply, OffersFilesOnlyToOlderClients) {
    testing::ReleaseFixture fixture;
    std::string error;
    const auto release = loadRelease(fixture.dir(), error);
    ASSERT_TRUE(release) << error;
    DigestCache digests;

    for (const char* client : {"1.10.0", "1.10", "2.0"}) {
        const Json::Value reply = buildUpgradeReply(*release, *parseVersion(client), "http://h:1", digests);
        EXPECT_FALSE(reply["has_update"].asBool()) << client;
        EXPECT_EQ(reply["update_files"].size(), 0u) << client;
        EXPECT_EQ(reply["latest_version"].asString(), "1.10.0");
    }

    const Json::Value reply = buildUpgradeReply(*release, *parseVersion("1.9.3"), "http://h:1", digests);
    EXPECT_TRUE(reply["has_update"].asBool());
    EXPECT_EQ(reply["release_notes"].asString(), "Faster");
    const Json::Value& files = reply["update_files"];
    ASSERT_EQ(files.size(), 4u);
    const struct {
        const char* name;
        const char* url;
        Json::UInt64 size;
        std::string md5;
    } expected[] = {
        {"Halvora.exe", "http://h:1/files/Halvora.exe", 11, md5OfFile(fixture.dir() + "/Halvora.exe")},
        {"plugins/", "http://h:1/files/plugins/", 0, ""},
        {"bin\\x.dll", "http://h:1/files/bin%5Cx.dll", 300000, md5OfFile(fixture.dir() + "/bin/x.dll")},
        {"data file.txt", "http://h:1/files/data%20file.txt", 0, "d41d8cd98f00b204e9800998ecf8427e"},
    };
    for (Json::ArrayIndex i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(files[i]["file_name"].asString(), expected[i].name);
        EXPECT_EQ(files[i]["download_url"].asString(), expected[i].url);
        EXPECT_EQ(files[i]["file_size"].asUInt64(), expected[i].size);
        EXPECT_EQ(files[i]["file_md5"].asString(), expected[i].md5);
        EXPECT_EQ(files[i]["version"].asString(), "1.10.0");
    }
    EXPECT_EQ(expected[0].md5.size(), 32u);
}

}  // namespace
}  // namespace brenvik::server
