// The update reply parser on arbitrary bytes: it never throws or crashes,
// answers only Success or ParseError, and keeps its documented promises about
// what it fills in either way. Parsing the same reply twice gives the same
// answer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "reply_parser.h"

#include "fuzz_check.h"

namespace {

using brenvik::UpdateResult;
using brenvik::VersionInfo;

bool sameInfo(const VersionInfo& a, const VersionInfo& b) {
    if (a.currentVersion != b.currentVersion || a.latestVersion != b.latestVersion || a.hasUpdate != b.hasUpdate ||
        a.releaseNotes != b.releaseNotes || a.updateFiles.size() != b.updateFiles.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.updateFiles.size(); ++i) {
        const auto& x = a.updateFiles[i];
        const auto& y = b.updateFiles[i];
        if (x.fileName != y.fileName || x.downloadUrl != y.downloadUrl || x.version != y.version ||
            x.fileSize != y.fileSize || x.fileMd5 != y.fileMd5) {
            return false;
        }
    }
    return true;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const std::string currentVersion = "1.2.3";
    const std::string untouched = "untouched";

    VersionInfo info;
    std::string lastError = untouched;
    const UpdateResult result = brenvik::detail::parseVersionResponse(reply, currentVersion, info, lastError);
    CHECK(result == UpdateResult::Success || result == UpdateResult::ParseError);
    CHECK(info.hasUpdate == 0 || info.hasUpdate == 1);
    // Entries without a name or a URL are dropped, whatever the outcome.
    for (const auto& file : info.updateFiles) {
        CHECK(!file.fileName.empty() && !file.downloadUrl.empty());
    }
    if (result == UpdateResult::Success) {
        CHECK(lastError == untouched);
        CHECK(info.currentVersion == currentVersion);
    } else {
        CHECK(startsWith(lastError, "JSON parse error: ") || startsWith(lastError, "Parse error: "));
    }

    VersionInfo again;
    std::string againError = untouched;
    CHECK(brenvik::detail::parseVersionResponse(reply, currentVersion, again, againError) == result);
    CHECK(againError == lastError);
    CHECK(sameInfo(info, again));
    return 0;
}
