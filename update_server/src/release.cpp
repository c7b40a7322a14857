#include "release.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <json/json.h>

#include "brenvik/file_names.h"
#include "md5.h"

namespace brenvik::server {
namespace fs = std::filesystem;

const ReleaseFile* Release::find(const std::string& name) const {
    for (const auto& file : files) {
        if (file.name == name) {
            return &file;
        }
    }
    return nullptr;
}

std::optional<Release> loadRelease(const std::string& directory, std::string& error) {
    const fs::path manifestPath = fs::path(directory) / "manifest.json";
    std::ifstream in(manifestPath, std::ios::binary);
    if (!in) {
        error = "cannot read " + manifestPath.string();
        return std::nullopt;
    }
    Json::CharReaderBuilder builder;
    Json::Value root;
    std::string parseErrors;
    if (!Json::parseFromStream(builder, in, &root, &parseErrors) || !root.isObject()) {
        error = manifestPath.string() + " is not a JSON object " + parseErrors;
        return std::nullopt;
    }
    Release release;
    const Json::Value& latest = root["latest_version"];
    const auto parsed = latest.isString() ? parseVersion(latest.asString()) : std::nullopt;
    if (!parsed) {
        error = "manifest: \"latest_version\" must be a dotted version such as 1.2.0";
        return std::nullopt;
    }
    release.latestVersion = latest.asString();
    release.latest = *parsed;
    const Json::Value& notes = root["release_notes"];
    if (!notes.isNull() && !notes.isString()) {
        error = "manifest: \"release_notes\" must be a string";
        return std::nullopt;
    }
    release.releaseNotes = notes.asString();

    const Json::Value& files = root["files"];
    if (!files.isArray()) {
        error = "manifest: \"files\" must be an array of names";
        return std::nullopt;
    }
    for (const auto& item : files) {
        if (!item.isString() || isUnsafeFileName(item.asString())) {
            error = "manifest: unusable file name " + item.toStyledString();
            return std::nullopt;
        }
        ReleaseFile file;
        file.name = item.asString();
        file.isDirectory = file.name.back() == '/' || file.name.back() == '\\';
        std::string relative = file.name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        file.diskPath = (fs::path(directory) / relative).string();
        std::error_code ec;
        if (!file.isDirectory && !fs::is_regular_file(file.diskPath, ec)) {
            error = "manifest lists " + file.name + " but " + file.diskPath + " is not a file";
            return std::nullopt;
        }
        release.files.push_back(std::move(file));
    }
    return release;
}

std::string DigestCache::digestOf(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    const auto modified = fs::last_write_time(path, ec).time_since_epoch().count();
    if (ec) {
        return std::string();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = entries_.find(path);
        if (found != entries_.end() && found->second.size == size && found->second.modified == modified) {
            return found->second.md5;
        }
    }
    Entry entry{size, static_cast<std::int64_t>(modified), md5OfFile(path)};
    std::lock_guard<std::mutex> lock(mutex_);
    entries_[path] = entry;
    return entry.md5;
}

std::string encodeUrlPath(const std::string& name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

Json::Value buildUpgradeReply(const Release& release, const Version& clientVersion, const std::string& baseUrl,
                              DigestCache& digests) {
    Json::Value reply(Json::objectValue);
    const bool hasUpdate = compareVersions(release.latest, clientVersion) > 0;
    reply["has_update"] = hasUpdate;
    reply["latest_version"] = release.latestVersion;
    reply["release_notes"] = release.releaseNotes;
    Json::Value files(Json::arrayValue);
    if (hasUpdate) {
        for (const auto& file : release.files) {
            Json::Value entry(Json::objectValue);
            entry["file_name"] = file.name;
            entry["download_url"] = baseUrl + "/files/" + encodeUrlPath(file.name);
            entry["version"] = release.latestVersion;
            std::error_code ec;
            const auto size = file.isDirectory ? 0 : fs::file_size(file.diskPath, ec);
            entry["file_size"] = Json::UInt64(ec ? 0 : size);
            entry["file_md5"] = file.isDirectory ? std::string() : digests.digestOf(file.diskPath);
            files.append(entry);
        }
    }
    reply["update_files"] = files;
    return reply;
}

}  // namespace brenvik::server
