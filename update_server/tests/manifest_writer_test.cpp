#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <httplib.h>
#include <json/json.h>

#include "manifest_writer.h"
#include "release.h"
#include "running_server.h"
#include "support/temp_dir.h"

namespace brenvik::server {
namespace {

namespace fs = std::filesystem;

// An empty directory for one case, and another one beside it for links that
// lead out.
class ScratchDirectory {
public:
    ScratchDirectory() {
        fs::create_directories(release());
        brenvik::testing::writeFile(elsewhere() / "secret.txt", "not for clients");
    }
    fs::path release() const { return root_.path() / "release"; }
    fs::path elsewhere() const { return root_.path() / "elsewhere"; }
    void file(const std::string& name, const std::string& content = "x") const {
        brenvik::testing::writeFile(release() / name, content);
    }
    void folder(const std::string& name) const { fs::create_directories(release() / name); }
    void link(const fs::path& target, const std::string& name) const {
        fs::create_directories((release() / name).parent_path());
        fs::create_symlink(target, release() / name);
    }
    // Leftover temporary manifests of a failed or finished write.
    std::vector<std::string> temporaries() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(release())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(".manifest.json.", 0) == 0 && name != ".manifest.json.stale") found.push_back(name);
        }
        return found;
    }

private:
    brenvik::testing::TempDir root_;
};

using brenvik::testing::readFile;

// "d name", "f name" or "z name" per item: folder, copied file, archive.
std::vector<std::string> describe(const std::vector<ManifestItem>& items) {
    std::vector<std::string> out;
    for (const auto& item : items) {
        const char kind = item.kind == ManifestItem::Kind::directory ? 'd'
                          : item.kind == ManifestItem::Kind::archive ? 'z'
                                                                     : 'f';
        out.push_back(std::string(1, kind) + " " + item.name);
    }
    return out;
}

TEST(WriteManifest, ListsReleaseDirectoriesOrNamesWhatItRefuses) {
    using Setup = std::function<void(const ScratchDirectory&)>;
    const std::string refusedName = ": the updater refuses this name (rooted, drive-prefixed or with a \"..\" part)";
    const struct {
        const char* what;
        Setup setup;
        std::vector<std::string> excludes;
        bool replace;
        std::string version;
        std::vector<std::string> items;  // expected on success
        std::string error;               // expected on failure; {dir} is the release directory
    } cases[] = {
        {"a release tree, in byte order; empty folders become directory items",
         [](const ScratchDirectory& d) {
             d.file("version.txt");
             d.file("Halvora");
             d.file("bin/x.dll");
             d.file("pack.zip");
             d.file("data/Extra.ZIP");
             d.file("data file.txt");
             d.folder("plugins");
             d.folder("a/b");
         },
         {},
         false,
         "1.1.0",
         {"f Halvora", "d a/b/", "f bin/x.dll", "f data file.txt", "z data/Extra.ZIP", "z pack.zip", "d plugins/",
          "f version.txt"},
         ""},
        {"patterns leave out names anywhere, or whole paths; a folder left empty is still created",
         [](const ScratchDirectory& d) {
             d.file("keep.txt");
             d.file("x.log");
             d.file("sub/y.log");
             d.file("staging/a.txt");
             d.file("sub/keep/z.txt");
         },
         {"*.log", "staging", "sub/keep/*"},
         false,
         "1.1.0",
         {"f keep.txt", "d sub/keep/"},
         ""},
        {"--force replaces a manifest; leftovers of an interrupted write are not part of the release",
         [](const ScratchDirectory& d) {
             d.file("manifest.json", "{}");
             d.file(".manifest.json.stale", "{}");
             d.file("sub/manifest.json", "{}");
         },
         {},
         true,
         "2",
         {"f sub/manifest.json"},
         ""},
        {"a link to a file inside is listed",
         [](const ScratchDirectory& d) {
             d.file("bin/Halvora-1.1");
             d.link("bin/Halvora-1.1", "Halvora");
         },
         {},
         false,
         "1.1.0",
         {"f Halvora", "f bin/Halvora-1.1"},
         ""},
        {"an existing manifest stays without --force",
         [](const ScratchDirectory& d) {
             d.file("a.txt");
             d.file("manifest.json", "{}");
         },
         {},
         false,
         "1.1.0",
         {},
         "{dir}/manifest.json exists already; add --force to replace it"},
        {"drive-prefixed name",
         [](const ScratchDirectory& d) { d.file("c:notes.txt"); },
         {},
         false,
         "1.1.0",
         {},
         "c:notes.txt" + refusedName},
        {"backslash",
         [](const ScratchDirectory& d) { d.file("bin\\x.dll"); },
         {},
         false,
         "1.1.0",
         {},
         "bin\\x.dll: has a backslash, which the updater reads as a folder separator"},
        {"a character Windows does not allow",
         [](const ScratchDirectory& d) { d.file("notes?.txt"); },
         {},
         false,
         "1.1.0",
         {},
         "notes?.txt: has a character Windows does not allow in a name (<>:\"|?* or a control character)"},
        {"a folder name ending in a dot",
         [](const ScratchDirectory& d) { d.file("docs./readme.txt"); },
         {},
         false,
         "1.1.0",
         {},
         "docs.: ends a name in a dot or a space, which Windows drops"},
        {"a device name with an extension",
         [](const ScratchDirectory& d) { d.file("include/Aux.h"); },
         {},
         false,
         "1.1.0",
         {},
         "include/Aux.h: uses a device name that Windows reserves"},
        {"files that differ only in case",
         [](const ScratchDirectory& d) {
             d.file("bin/Setup.dll");
             d.file("bin/setup.dll");
         },
         {},
         false,
         "1.1.0",
         {},
         "bin/setup.dll: differs from \"bin/Setup.dll\" only in case, which Windows cannot hold apart"},
        {"a file and a folder that differ only in case",
         [](const ScratchDirectory& d) {
             d.file("Data/a.txt");
             d.file("data");
         },
         {},
         false,
         "1.1.0",
         {},
         "data: differs from \"Data\" only in case, which Windows cannot hold apart"},
        {"not UTF-8",
         [](const ScratchDirectory& d) { d.file("sub/caf\xe9.txt"); },
         {},
         false,
         "1.1.0",
         {},
         "sub/caf\xe9.txt: is not UTF-8, which the manifest cannot carry"},
        {"link to a file outside",
         [](const ScratchDirectory& d) { d.link(d.elsewhere() / "secret.txt", "bin/secret.txt"); },
         {},
         false,
         "1.1.0",
         {},
         "bin/secret.txt: is a link that leads outside the release directory"},
        {"relative link to a folder outside",
         [](const ScratchDirectory& d) { d.link("../../elsewhere", "bin/up"); },
         {},
         false,
         "1.1.0",
         {},
         "bin/up: is a link that leads outside the release directory"},
        {"broken link",
         [](const ScratchDirectory& d) { d.link("gone.txt", "old.txt"); },
         {},
         false,
         "1.1.0",
         {},
         "old.txt: is a broken link"},
        {"link to a folder inside",
         [](const ScratchDirectory& d) {
             d.file("plugins/a.txt");
             d.link("plugins", "more");
         },
         {},
         false,
         "1.1.0",
         {},
         "more: is a link to a folder; only links to files are followed"},
        {"named pipe",
         [](const ScratchDirectory& d) { ::mkfifo((d.release() / "pipe").c_str(), 0600); },
         {},
         false,
         "1.1.0",
         {},
         "pipe: is neither a file nor a folder"},
        {"nothing to list",
         [](const ScratchDirectory& d) { d.file("x.log"); },
         {"*.log"},
         false,
         "1.1.0",
         {},
         "{dir} holds nothing to release"},
        {"bad version",
         [](const ScratchDirectory& d) { d.file("a.txt"); },
         {},
         false,
         "1.x",
         {},
         "version \"1.x\" is not a dotted version such as 1.2.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDirectory scratch;
        c.setup(scratch);
        const std::string dir = scratch.release().string();
        const std::string before = readFile(scratch.release() / "manifest.json");
        ManifestRequest request{dir, c.version, "Notes \"quoted\"\nand a second line", c.excludes, c.replace};
        std::vector<ManifestItem> items;
        std::string error;
        const bool wrote = writeManifest(request, items, error);
        EXPECT_TRUE(scratch.temporaries().empty());
        if (!c.error.empty()) {
            std::string expected = c.error;
            const auto at = expected.find("{dir}");
            if (at != std::string::npos) expected.replace(at, 5, dir);
            EXPECT_FALSE(wrote);
            EXPECT_EQ(error, expected);
            EXPECT_EQ(readFile(scratch.release() / "manifest.json"), before);
            continue;
        }
        ASSERT_TRUE(wrote) << error;
        EXPECT_EQ(describe(items), c.items);
        struct stat info {};
        ASSERT_EQ(::stat((scratch.release() / "manifest.json").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0644u);
        // What the server reads back is what was listed.
        const auto release = loadRelease(dir, error);
        ASSERT_TRUE(release) << error;
        EXPECT_EQ(release->latestVersion, c.version);
        EXPECT_EQ(release->releaseNotes, "Notes \"quoted\"\nand a second line");
        ASSERT_EQ(release->files.size(), items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(release->files[i].name, items[i].name);
            EXPECT_EQ(release->files[i].isDirectory, items[i].kind == ManifestItem::Kind::directory);
        }
    }
}

// A written manifest is served: the check lists every item under its own
// name, and each file comes back byte for byte by the URL the check gave.
TEST(WriteManifest, WrittenReleaseIsServed) {
    ScratchDirectory scratch;
    scratch.file("Halvora", "new program");
    scratch.file("bin/x 1.dll", std::string(100000, 'd'));
    scratch.file("donn\xc3\xa9"
                 "es.txt",
                 "UTF-8 name");
    scratch.folder("plugins");
    std::vector<ManifestItem> items;
    std::string error;
    ASSERT_TRUE(writeManifest({scratch.release().string(), "1.1.0", "Faster", {}, false}, items, error)) << error;

    testing::RunningServer server(scratch.release().string());
    ASSERT_GT(server.port, 0);
    const auto reply = server.check("1.0.0");
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->status, 200);
    Json::Value root;
    std::string parseErrors;
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    ASSERT_TRUE(reader->parse(reply->body.data(), reply->body.data() + reply->body.size(), &root, &parseErrors));
    EXPECT_TRUE(root["has_update"].asBool());
    EXPECT_EQ(root["latest_version"].asString(), "1.1.0");
    const Json::Value& files = root["update_files"];
    ASSERT_EQ(files.size(), items.size());
    httplib::Client client("127.0.0.1", server.port);
    for (Json::ArrayIndex i = 0; i < files.size(); ++i) {
        const std::string name = files[i]["file_name"].asString();
        SCOPED_TRACE(name);
        EXPECT_EQ(name, items[i].name);
        if (items[i].kind == ManifestItem::Kind::directory) continue;
        const std::string url = files[i]["download_url"].asString();
        const std::string prefix = "http://127.0.0.1:" + std::to_string(server.port);
        ASSERT_EQ(url.rfind(prefix, 0), 0u) << url;
        const auto download = client.Get(url.substr(prefix.size()));
        ASSERT_TRUE(download);
        EXPECT_EQ(download->status, 200);
        EXPECT_EQ(download->body, readFile(scratch.release() / name));
    }
}

}  // namespace
}  // namespace brenvik::server
