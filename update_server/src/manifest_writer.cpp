#include "manifest_writer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <json/json.h>

#include "brenvik/rules/path_rules.h"
#include "release.h"
#include "version.h"

namespace brenvik::server {
namespace fs = std::filesystem;

namespace {

constexpr const char* kManifest = "manifest.json";
// Temporary manifests start with this; one left by an interrupted run is
// not part of the release either.
constexpr const char* kTemporaryPrefix = ".manifest.json.";

bool isUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        const std::uint32_t smallest = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0x80;
        if (codePoint < smallest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

bool isArchiveName(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ending = name.substr(name.size() - 4);
    std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return std::tolower(c); });
    return ending == ".zip";
}

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, whatever the case and
// with any extension ("nul.txt" names the device too).
bool isDeviceName(const std::string& part) {
    std::string stem = part.substr(0, part.find('.'));
    std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

class Scanner {
public:
    Scanner(const ManifestRequest& request, std::string root) : request_(request), root_(std::move(root)) {}

    // Lists what lies below `relative` ("" or "a/b/"); returns false on a
    // refusal, with `error_` set.
    bool scan(const std::string& relative, std::size_t& listed) {
        std::error_code ec;
        std::vector<std::string> names;
        for (fs::directory_iterator it(root_ + "/" + relative, ec), end; !ec && it != end; it.increment(ec)) {
            names.push_back(it->path().filename().string());
        }
        if (ec) return refuse(relative.empty() ? "." : relative, "cannot be read: " + ec.message());
        std::sort(names.begin(), names.end());
        listed = 0;
        for (const auto& name : names) {
            if (relative.empty() && (name == kManifest || name.rfind(kTemporaryPrefix, 0) == 0)) continue;
            const std::string path = relative + name;
            if (excluded(name, path)) continue;
            if (!usableName(path) || !distinctOnWindows(path)) return false;
            const std::string disk = root_ + "/" + path;
            const fs::file_status own = fs::symlink_status(disk, ec);
            if (ec) return refuse(path, "cannot be read: " + ec.message());
            if (fs::is_symlink(own)) {
                if (!linkedFile(path, disk)) return false;
                add(path);
                ++listed;
            } else if (fs::is_directory(own)) {
                std::size_t below = 0;
                if (!scan(path + "/", below)) return false;
                if (below == 0) {
                    if (!usableName(path + "/")) return false;
                    items.push_back({path + "/", ManifestItem::Kind::directory});
                }
                ++listed;
            } else if (fs::is_regular_file(own)) {
                add(path);
                ++listed;
            } else {
                return refuse(path, "is neither a file nor a folder");
            }
        }
        return true;
    }

    std::vector<ManifestItem> items;
    std::string error_;

private:
    bool refuse(const std::string& path, const std::string& why) {
        error_ = path + ": " + why;
        return false;
    }

    bool excluded(const std::string& name, const std::string& path) const {
        for (const auto& pattern : request_.excludes) {
            const bool wholePath = pattern.find('/') != std::string::npos;
            if (fnmatch(pattern.c_str(), (wholePath ? path : name).c_str(), wholePath ? FNM_PATHNAME : 0) == 0) {
                return true;
            }
        }
        return false;
    }

    bool usableName(const std::string& path) {
        if (path.find('\\') != std::string::npos) {
            return refuse(path, "has a backslash, which the updater reads as a folder separator");
        }
        if (!isUtf8(path)) return refuse(path, "is not UTF-8, which the manifest cannot carry");
        // The same rules as the updater's and the server's own.
        if (rules::isUnsafeRelativePath(path)) {
            return refuse(path, "the updater refuses this name (rooted, drive-prefixed or with a \"..\" part)");
        }
        bool changed = false;
        const std::string plain = withoutEmptyParts(path, changed);
        if (changed) return refuse(path, "has an empty or \".\" part; it would have to be \"" + plain + "\"");
        return windowsCanHold(path);
    }

    // The program this updates lives on Windows: a name it cannot create, or
    // would create under another name, breaks the installation there.
    bool windowsCanHold(const std::string& path) {
        std::size_t start = 0;
        while (start < path.size()) {
            std::size_t end = path.find('/', start);
            if (end == std::string::npos) end = path.size();
            const std::string part = path.substr(start, end - start);
            start = end + 1;
            if (part.empty()) continue;
            for (const char c : part) {
                if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) {
                    return refuse(path, "has a character Windows does not allow in a name (<>:\"|?* or a control "
                                        "character)");
                }
            }
            if (part.back() == '.' || part.back() == ' ') {
                return refuse(path, "ends a name in a dot or a space, which Windows drops");
            }
            if (isDeviceName(part)) return refuse(path, "uses a device name that Windows reserves");
        }
        return true;
    }

    // Windows compares names without regard to case, so two paths that
    // differ only in it would overwrite each other there.
    bool distinctOnWindows(const std::string& path) {
        std::string folded = path;
        std::transform(folded.begin(), folded.end(), folded.begin(), [](unsigned char c) { return std::tolower(c); });
        const auto [seen, added] = folded_.emplace(folded, path);
        if (!added)
            return refuse(path, "differs from \"" + seen->second + "\" only in case, which Windows cannot hold apart");
        return true;
    }

    // A link is listed only when it leads to a file inside the release, as
    // the server serves nothing else.
    bool linkedFile(const std::string& path, const std::string& disk) {
        std::error_code ec;
        const fs::file_status target = fs::status(disk, ec);
        if (ec || !fs::exists(target)) return refuse(path, "is a broken link");
        const std::string resolved = fs::canonical(disk, ec).string();
        if (ec || (resolved != root_ && !isInsideDirectory(resolved, root_))) {
            return refuse(path, "is a link that leads outside the release directory");
        }
        if (fs::is_directory(target)) {
            return refuse(path, "is a link to a folder; only links to files are followed");
        }
        if (!fs::is_regular_file(target)) return refuse(path, "is a link to something that is not a file");
        return true;
    }

    void add(const std::string& path) {
        items.push_back({path, isArchiveName(path) ? ManifestItem::Kind::archive : ManifestItem::Kind::file});
    }

    const ManifestRequest& request_;
    const std::string root_;
    std::map<std::string, std::string> folded_;  // each path in lower case -> as listed
};

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Moves `temporary` to `target`; unless `replace`, only when `target` does
// not exist yet, decided at the moment of the move.
bool moveIntoPlace(const std::string& temporary, const std::string& target, bool replace, bool& existed) {
    existed = false;
    if (replace) return std::rename(temporary.c_str(), target.c_str()) == 0;
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system without the no-replace move: a hard link fails as well
        // when the target exists.
        if (::link(temporary.c_str(), target.c_str()) == 0) {
            // The manifest is in place; a temporary name left behind is
            // skipped by every later scan.
            (void)::unlink(temporary.c_str());
            return true;
        }
    }
    existed = errno == EEXIST;
    return false;
}

}  // namespace

std::vector<ManifestItem> scanRelease(const ManifestRequest& request, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(request.directory, ec)) {
        error = request.directory + " is not a directory";
        return {};
    }
    const std::string root = fs::canonical(request.directory, ec).string();
    if (ec) {
        error = "cannot resolve " + request.directory + ": " + ec.message();
        return {};
    }
    Scanner scanner(request, root);
    std::size_t listed = 0;
    if (!scanner.scan("", listed)) {
        error = scanner.error_;
        return {};
    }
    if (scanner.items.empty()) {
        error = request.directory + " holds nothing to release";
        return {};
    }
    std::sort(scanner.items.begin(), scanner.items.end(),
              [](const ManifestItem& a, const ManifestItem& b) { return a.name < b.name; });
    return scanner.items;
}

std::string manifestText(const std::string& version, const std::string& notes, const std::vector<ManifestItem>& items) {
    Json::Value root(Json::objectValue);
    root["latest_version"] = version;
    root["release_notes"] = notes;
    Json::Value files(Json::arrayValue);
    for (const auto& item : items) files.append(item.name);
    root["files"] = files;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, root) + "\n";
}

bool writeManifest(const ManifestRequest& request, std::vector<ManifestItem>& items, std::string& error) {
    items.clear();
    if (!parseVersion(request.version)) {
        error = "version \"" + request.version + "\" is not a dotted version such as 1.2.0";
        return false;
    }
    const std::string target = (fs::path(request.directory) / kManifest).string();
    const std::string exists = target + " exists already; add --force to replace it";
    std::error_code ec;
    if (!request.replace && fs::exists(fs::symlink_status(target, ec))) {
        error = exists;
        return false;
    }
    std::vector<ManifestItem> scanned = scanRelease(request, error);
    if (scanned.empty()) return false;

    std::string temporary = (fs::path(request.directory) / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = systemError("cannot write in " + request.directory);
        return false;
    }
    const std::string text = manifestText(request.version, request.notes, scanned);
    // Readable by a server that runs as another user.
    bool ok = writeAll(fd, text) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    if (!ok) error = systemError("cannot write " + temporary);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = systemError("cannot write " + temporary);
    }
    bool existed = false;
    if (ok && !moveIntoPlace(temporary, target, request.replace, existed)) {
        ok = false;
        error = existed ? exists : systemError("cannot move " + temporary + " to " + target);
    }
    if (!ok) {
        (void)::unlink(temporary.c_str());  // the error above is what counts
        return false;
    }
    // The move itself lasts only once the directory is on disk. Best effort:
    // the manifest is already in place and whole, and some file systems
    // refuse to sync a directory at all.
    const int directory = ::open(request.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        (void)::fsync(directory);
        (void)::close(directory);
    }
    items = std::move(scanned);
    return true;
}

}  // namespace brenvik::server
