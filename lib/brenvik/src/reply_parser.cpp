#include "reply_parser.h"

#include <exception>
#include <sstream>

#include <json/json.h>

namespace brenvik::detail {

UpdateResult parseVersionResponse(const std::string& response, const std::string& currentVersion,
                                  VersionInfo& versionInfo, std::string& lastError) {
    // The JSON library reports type and conversion errors by throwing.
    try {
        Json::CharReaderBuilder builder;
        Json::Value root;
        std::string errors;
        std::istringstream stream(response);
        if (!Json::parseFromStream(builder, stream, &root, &errors)) {
            lastError = "JSON parse error: " + errors;
            return UpdateResult::ParseError;
        }

        versionInfo.currentVersion = currentVersion;
        versionInfo.latestVersion = root.get("latest_version", "").asString();
        versionInfo.hasUpdate = root.get("has_update", false).asBool() ? 1 : 0;
        versionInfo.releaseNotes = root.get("release_notes", "").asString();

        const Json::Value files = root.get("update_files", Json::Value());
        if (files.isArray()) {
            for (Json::ArrayIndex i = 0; i < files.size(); ++i) {
                const Json::Value& file = files[i];
                UpdateFileInfo info;
                info.fileName = file.get("file_name", "").asString();
                info.downloadUrl = file.get("download_url", "").asString();
                info.version = file.get("version", "").asString();
                info.fileSize = static_cast<std::uint32_t>(file.get("file_size", 0).asUInt64());
                info.fileMd5 = file.get("file_md5", "").asString();
                if (!info.fileName.empty() && !info.downloadUrl.empty()) {
                    versionInfo.updateFiles.push_back(std::move(info));
                }
            }
        }
        return UpdateResult::Success;
    } catch (const std::exception& e) {
        lastError = std::string("Parse error: ") + e.what();
        return UpdateResult::ParseError;
    }
}

}  // namespace brenvik::detail
