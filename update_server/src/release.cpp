#include "release.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <json/json.h>

#include "brenvik/rules/path_rules.h"

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

std::string withoutEmptyParts(const std::string& name, bool& changed) {
    std::string out;
    std::size_t start = 0;
    changed = false;
    while (start <= name.size()) {
        const auto next = name.find_first_of("/\\", start);
        const auto end = next == std::string::npos ? name.size() : next;
        const std::string part = name.substr(start, end - start);
        const bool last = next == std::string::npos;
        if (part == "." || (part.empty() && !last)) {
            changed = true;
        } else {
            out += part;
            if (!last) out += name[next];
        }
        if (last) break;
        start = next + 1;
    }
    return out;
}

bool isInsideDirectory(const std::string& path, const std::string& directory) {
    return path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
           (directory.back() == '/' || path[directory.size()] == '/');
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
    std::error_code ec;
    release.directory = fs::canonical(directory, ec).string();
    if (ec) {
        error = "cannot resolve " + directory + ": " + ec.message();
        return std::nullopt;
    }
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
        if (!item.isString() || rules::isUnsafeRelativePath(item.asString())) {
            error = "manifest: unusable file name " + item.toStyledString();
            return std::nullopt;
        }
        ReleaseFile file;
        file.name = item.asString();
        bool changed = false;
        const std::string plain = withoutEmptyParts(file.name, changed);
        if (changed) {
            error =
                "manifest: file name \"" + file.name + "\" has an empty or \".\" part; list it as \"" + plain + "\"";
            return std::nullopt;
        }
        file.isDirectory = rules::endsWithSeparator(file.name);
        file.diskPath = (fs::path(directory) / rules::normalizeSeparators(file.name)).string();
        if (!file.isDirectory) {
            if (!fs::is_regular_file(file.diskPath, ec)) {
                error = "manifest lists " + file.name + " but " + file.diskPath + " is not a file";
                return std::nullopt;
            }
            // A symlink may point anywhere; only files that stay inside the
            // release directory are served.
            const std::string resolved = fs::canonical(file.diskPath, ec).string();
            if (ec || !isInsideDirectory(resolved, release.directory)) {
                error =
                    "manifest lists " + file.name + " but " + file.diskPath + " leads outside the release directory";
                return std::nullopt;
            }
        }
        release.files.push_back(std::move(file));
    }
    return release;
}

std::string md5OfFile(const std::string& path, const std::atomic<bool>* cancel) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::string();
    }
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    bool ok = context && EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) == 1;
    std::vector<unsigned char> buffer(1 << 20);
    while (ok) {
        if (cancel != nullptr && *cancel) {
            ok = false;
            break;
        }
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(got)) == 1;
    }
    ::close(fd);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok || EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        return std::string();
    }
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

void DigestCache::prepare(const Release& release, std::ostream& progress) {
    using Clock = std::chrono::steady_clock;
    std::uint64_t total = 0;
    std::size_t count = 0;
    for (const auto& file : release.files) {
        std::error_code ec;
        if (!file.isDirectory) {
            const auto size = fs::file_size(file.diskPath, ec);
            total += ec ? 0 : size;
            ++count;
        }
    }
    const auto mib = [](std::uint64_t bytes) {
        char text[32];
        std::snprintf(text, sizeof(text), "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
        return std::string(text);
    };
    progress << "computing the MD5 of " << count << " files (" << mib(total) << ")" << std::endl;
    const auto start = Clock::now();
    auto lastReport = start;
    std::uint64_t done = 0;
    for (const auto& file : release.files) {
        if (file.isDirectory || cancelled_) {
            continue;
        }
        digestOf(file.diskPath);
        std::error_code ec;
        const auto size = fs::file_size(file.diskPath, ec);
        done += ec ? 0 : size;
        if (Clock::now() - lastReport > std::chrono::seconds(2)) {
            lastReport = Clock::now();
            progress << "computing the MD5s: " << mib(done) << " of " << mib(total) << std::endl;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    char took[32];
    std::snprintf(took, sizeof(took), "%.1f s", seconds);
    progress << "MD5s of " << count << " files ready in " << took << std::endl;
}

std::string DigestCache::digestOf(const std::string& path) {
    // One code each: the second call would clear the first one's failure.
    std::error_code sizeError;
    std::error_code timeError;
    const auto size = fs::file_size(path, sizeError);
    const auto modified = fs::last_write_time(path, timeError).time_since_epoch().count();
    if (sizeError || timeError) {
        return std::string();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = entries_.find(path);
        if (found != entries_.end() && found->second.size == size && found->second.modified == modified) {
            return found->second.md5;
        }
    }
    Entry entry{size, static_cast<std::int64_t>(modified), md5OfFile(path, &cancelled_)};
    if (entry.md5.empty()) {
        return entry.md5;  // unreadable or cancelled: try again next time
    }
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
