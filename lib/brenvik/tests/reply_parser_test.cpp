#include <gtest/gtest.h>

#include "reply_parser.h"

namespace brenvik::detail {
namespace {

struct ParseCase {
    const char* name;
    const char* reply;
    UpdateResult result;
    int hasUpdate;
    const char* latestVersion;
    std::size_t entries;
    const char* errorPrefix;  // expected start of lastError; empty: untouched
};

const ParseCase kCases[] = {
    {"empty object", "{}", UpdateResult::Success, 0, "", 0, ""},
    {"null literal", "null", UpdateResult::Success, 0, "", 0, ""},
    {"top-level array", "[1, 2]", UpdateResult::ParseError, 0, "", 0, "Parse error: "},
    {"bare string", "\"text\"", UpdateResult::ParseError, 0, "", 0, "Parse error: "},
    {"bare number", "42", UpdateResult::ParseError, 0, "", 0, "Parse error: "},
    {"empty body", "", UpdateResult::ParseError, 0, "", 0, "JSON parse error: "},
    {"broken json", "{\"has_update\": ", UpdateResult::ParseError, 0, "", 0, "JSON parse error: "},
    {"update, files missing", R"({"has_update": true})", UpdateResult::Success, 1, "", 0, ""},
    {"update, files empty", R"({"has_update": true, "update_files": []})", UpdateResult::Success, 1, "", 0, ""},
    {"update, files an object", R"({"has_update": true, "update_files": {"a": 1}})", UpdateResult::Success, 1, "", 0,
     ""},
    {"flag does not filter the list",
     R"({"has_update": false, "update_files": [{"file_name": "a", "download_url": "u"},
                                              {"file_name": "b", "download_url": "v"}]})",
     UpdateResult::Success, 0, "", 2, ""},
    {"incomplete and null entries dropped",
     R"({"update_files": [{"file_name": "a"}, {"file_name": "b", "download_url": "v"},
                          {"file_name": "", "download_url": "w"}, null]})",
     UpdateResult::Success, 0, "", 1, ""},
    {"entry that is a number", R"({"update_files": [5]})", UpdateResult::ParseError, 0, "", 0, "Parse error: "},
    {"has_update as number", R"({"has_update": 1})", UpdateResult::Success, 1, "", 0, ""},
    {"has_update as text", R"({"has_update": "true"})", UpdateResult::ParseError, 0, "", 0, "Parse error: "},
    {"latest_version as number", R"({"latest_version": 2})", UpdateResult::Success, 0, "2", 0, ""},
    {"latest_version as object", R"({"latest_version": {}})", UpdateResult::ParseError, 0, "", 0, "Parse error: "},
    {"file_size as text", R"({"update_files": [{"file_name": "a", "download_url": "u", "file_size": "1024"}]})",
     UpdateResult::ParseError, 0, "", 0, "Parse error: "},
    {"file_size negative", R"({"update_files": [{"file_name": "a", "download_url": "u", "file_size": -1}]})",
     UpdateResult::ParseError, 0, "", 0, "Parse error: "},
    {"comment and trailing text", "// greeting\n{\"latest_version\": \"1.1\"} trailing", UpdateResult::Success, 0,
     "1.1", 0, ""},
};

TEST(ParseVersionResponse, ConvertsRepliesAsTheJsonLibraryDoes) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        VersionInfo info;
        std::string lastError = "earlier";
        const UpdateResult result = parseVersionResponse(c.reply, "1.0.0", info, lastError);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(info.hasUpdate, c.hasUpdate);
        EXPECT_EQ(info.latestVersion, c.latestVersion);
        EXPECT_EQ(info.updateFiles.size(), c.entries);
        if (*c.errorPrefix == '\0') {
            EXPECT_EQ(lastError, "earlier");
            EXPECT_EQ(info.currentVersion, "1.0.0");
        } else {
            EXPECT_EQ(lastError.rfind(c.errorPrefix, 0), 0u) << lastError;
        }
    }
}

TEST(ParseVersionResponse, ConvertsEntryFields) {
    const char* reply = R"({"latest_version": "2.0", "release_notes": "fixes", "update_files": [
        {"file_name": "a", "download_url": "u", "version": 3, "file_size": 1500.0, "file_md5": null},
        {"file_name": true, "download_url": "v", "file_size": 4294967297},
        {"file_name": "c", "download_url": "w", "file_size": false}]})";
    VersionInfo info;
    std::string lastError;
    ASSERT_EQ(parseVersionResponse(reply, "1.0", info, lastError), UpdateResult::Success);
    EXPECT_EQ(info.releaseNotes, "fixes");
    ASSERT_EQ(info.updateFiles.size(), 3u);
    EXPECT_EQ(info.updateFiles[0].version, "3");
    EXPECT_EQ(info.updateFiles[0].fileSize, 1500u);
    EXPECT_EQ(info.updateFiles[0].fileMd5, "");
    EXPECT_EQ(info.updateFiles[1].fileName, "true");
    EXPECT_EQ(info.updateFiles[1].fileSize, 1u);  // low 32 bits of 2^32 + 1
    EXPECT_EQ(info.updateFiles[2].fileSize, 0u);
}

TEST(ParseVersionResponse, FailureKeepsWhatWasFilledBefore) {
    const char* reply = R"({"latest_version": "2.0", "has_update": true, "update_files": [
        {"file_name": "a", "download_url": "u"}, {"file_name": "b", "download_url": "v"},
        {"file_name": "c", "download_url": "w", "file_size": "big"}]})";
    VersionInfo info;
    std::string lastError;
    EXPECT_EQ(parseVersionResponse(reply, "1.0", info, lastError), UpdateResult::ParseError);
    EXPECT_EQ(info.currentVersion, "1.0");
    EXPECT_EQ(info.latestVersion, "2.0");
    EXPECT_EQ(info.hasUpdate, 1);
    ASSERT_EQ(info.updateFiles.size(), 2u);
    EXPECT_EQ(info.updateFiles[1].fileName, "b");
}

}  // namespace
}  // namespace brenvik::detail
